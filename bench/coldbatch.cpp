#include "bench/coldbatch.h"

#include "bench/batchdata.h"
#include "bench/curlsend.h"
#include "tests/support/loopbackserver.h"
#include "tests/support/serverprocess.h"
#include "tests/support/tempdir.h"
#include "vtkit/vtbatch.h"
#include "vtkit/vttoolkit.h"
#include "vtkit/vtuserid.h"

#include <curl/curl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The demo account of the sample data.
constexpr const char* kDemoUser = "116306380970205";

struct ColdCode {
    VTCodeType type;
    std::string text;
};

// One routing key of the sample data and the codes made for it by
// numbering item IDs from `firstItem`.
struct SampleKey {
    VTCodeType type;
    const char* typeName;
    const char* lead; // the digits before the item ID
    const char* rid;
    int itemDigits;
    int firstItem;
    int count;
    // An item of the sample data among the numbers, kept as it is.
    const char* sampleItem = "";
};

constexpr SampleKey kSampleKeys[] = {
    {kCodeUpcA, "UPCA", "036000", "036000", 5, 70000, 40},
    {kCodeUpcA, "UPCA", "042100", "042100", 5, 70000, 30},
    {kCodeEan13, "EAN13", "4006381", "4006381", 5, 70000, 40},
    // The sample's own item is among the numbers.
    {kCodeEan8, "EAN8", "9638", "9638", 3, 500, 30, "507"},
    {kCodeIsbn, "ISBN", "08044", "08044", 4, 7000, 20},
    {kCodeBookLand, "BOOKLAND", "978030640", "030640", 3, 700, 20},
    {kCodeNumi, "NUMI", "", "NUMI", 4, 1000, 20},
};

char CheckCharacter(VTCodeType type, const std::string& body)
{
    int sum = 0;
    if (type == kCodeIsbn) {
        for (std::size_t i = 0; i < body.size(); ++i)
            sum += (body[i] - '0') * static_cast<int>(10 - i);
        const int check = (11 - sum % 11) % 11;
        return check == 10 ? 'X' : static_cast<char>('0' + check);
    }
    int weight = 3;
    for (auto it = body.rbegin(); it != body.rend(); ++it, weight = 4 - weight)
        sum += (*it - '0') * weight;
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// The codes, and the items that describe them appended to a copy of the
// sample data.
std::vector<ColdCode> MakeSampleData(const std::filesystem::path& from, const std::filesystem::path& to)
{
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
    std::vector<ColdCode> codes;
    std::string items;
    for (const SampleKey& key : kSampleKeys) {
        for (int i = 0; i < key.count; ++i) {
            std::string itemId = std::to_string(key.firstItem + i);
            itemId.insert(
                0, static_cast<std::size_t>(std::max(0, key.itemDigits - static_cast<int>(itemId.size()))),
                '0');
            std::string text = key.lead + itemId;
            if (key.type != kCodeNumi)
                text += CheckCharacter(key.type, text);
            codes.push_back({key.type, text});
            if (itemId == key.sampleItem)
                continue;
            items += std::string("    <ITEM TYPE='") + key.typeName + "' RID='" + key.rid + "' IID='" +
                     itemId + "' CODE='" + text + "'>\n        <DESCRIPTION>Bench item " + text +
                     "</DESCRIPTION>\n    </ITEM>\n";
        }
    }
    const auto itemsFile = to / "items.xml";
    std::string xml = TempDir::ReadFile(itemsFile);
    xml.insert(xml.rfind("</ITEM_LIST>"), items);
    std::ofstream(itemsFile, std::ios::binary | std::ios::trunc) << xml;
    return codes;
}

struct Outcome {
    bool ok = false;
    std::size_t done = 0;
    std::size_t described = 0;
    std::size_t addressed = 0;
    std::size_t servers = 0;
};

// The codes of mode 3 through the toolkit's batch processor: the timed part.
VTBatchCodeList ColdRun(VTToolkit& toolkit, const std::vector<ColdCode>& codes, bool& started)
{
    VTBatchCodeList list;
    for (const auto& code : codes)
        list.Add(VTBatchCode(code.type, code.text, VTBatchCode::kDescribe));
    started = RunBatch(toolkit, list);
    return list;
}

// What a batch gave, checked after the clock has stopped.
Outcome Check(const VTBatchCodeList& list, bool started, std::size_t expected)
{
    Outcome outcome;
    std::vector<VTServerData> servers;
    for (const VTBatchCode& code : list.GetAll()) {
        outcome.done += code.GetStatus() == VTBatchCode::kDone;
        outcome.described += !code.GetDescription().empty();
        outcome.addressed += !code.GetUrl().empty();
        const VTServerData& record = code.GetServerData();
        if ((record.HasCommand(kCommandDesc) || record.HasCommand(kCommandDesc2)) &&
            std::find(servers.begin(), servers.end(), record) == servers.end())
            servers.push_back(record);
    }
    outcome.servers = servers.size();
    outcome.ok = started && outcome.done == expected;
    return outcome;
}

// A loopback relay that keeps every request it passes on, to be sent
// again with libcurl exactly as the toolkit wrote it.
class RecordingRelay {
public:
    explicit RecordingRelay(std::uint16_t target) : m_target(target), m_listener(LoopbackListener(16, m_port))
    {
        m_thread = std::thread([this] { Loop(); });
    }
    ~RecordingRelay()
    {
        m_stop = true;
        m_thread.join();
        close(m_listener);
    }
    RecordingRelay(const RecordingRelay&) = delete;
    RecordingRelay& operator=(const RecordingRelay&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::vector<std::string> Requests()
    {
        std::lock_guard guard(m_lock);
        return m_requests;
    }

private:
    static sockaddr_in Loopback(std::uint16_t port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        return address;
    }

    void Loop()
    {
        while (!m_stop) {
            pollfd ready{m_listener, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0)
                continue;
            const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                Relay(client);
                close(client);
            }
        }
    }

    // One request: its head and Content-Length body, passed on in origin
    // form, and the whole reply passed back.
    void Relay(int client)
    {
        std::string request;
        char buffer[8192];
        std::size_t headEnd = std::string::npos;
        std::size_t wanted = 0;
        for (ssize_t count; (headEnd == std::string::npos || request.size() < wanted) &&
                            (count = recv(client, buffer, sizeof buffer, 0)) > 0;) {
            request.append(buffer, static_cast<std::size_t>(count));
            if (headEnd == std::string::npos && (headEnd = request.find("\r\n\r\n")) != std::string::npos)
                wanted = headEnd + 4 + ContentLength(request.substr(0, headEnd));
        }
        {
            std::lock_guard guard(m_lock);
            m_requests.push_back(request);
        }
        // "POST http://host:port/path HTTP/1.0" becomes "POST /path HTTP/1.0".
        const std::size_t scheme = request.find("http://");
        const std::size_t path = request.find('/', scheme + 7);
        if (scheme != std::string::npos && scheme < request.find("\r\n"))
            request.erase(scheme, path - scheme);
        const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = Loopback(m_target);
        if (connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            send(server, request.data(), request.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(request.size())) {
            for (ssize_t count; (count = recv(server, buffer, sizeof buffer, 0)) > 0;)
                send(client, buffer, static_cast<std::size_t>(count), MSG_NOSIGNAL);
        }
        close(server);
    }

    static std::size_t ContentLength(const std::string& head)
    {
        std::string lower = head;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        const std::size_t at = lower.find("\r\ncontent-length:");
        return at == std::string::npos ? 0 : std::stoul(lower.substr(at + 17));
    }

    std::uint16_t m_target;
    std::uint16_t m_port = 0;
    int m_listener = -1;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// A recorded request sent with a new easy handle: same method, address,
// content type and body; false unless the reply is complete.
bool ReplayWithCurl(const std::string& request, std::uint16_t port)
{
    const std::size_t lineEnd = request.find("\r\n");
    const std::size_t headEnd = request.find("\r\n\r\n");
    std::istringstream line(request.substr(0, lineEnd));
    std::string method, url;
    line >> method >> url;
    if (url.starts_with("/"))
        url = "http://127.0.0.1:" + std::to_string(port) + url;
    std::vector<std::string> headers;
    std::istringstream head(request.substr(lineEnd + 2, headEnd - lineEnd - 2));
    for (std::string field; std::getline(head, field);) {
        if (!field.empty() && field.back() == '\r')
            field.pop_back();
        std::string lower = field;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        if (!lower.starts_with("host:") && !lower.starts_with("content-length:") &&
            !lower.starts_with("proxy-") && !lower.starts_with("connection:"))
            headers.push_back(field);
    }
    const CurlReply reply = CurlSend(url, headers, request.substr(headEnd + 4), method == "POST");
    return reply.completed && reply.status == 200 && !reply.body.empty();
}

// Requests the server logged since `from`: routing and description ones.
struct Counts {
    int routing = 0;
    int descriptions = 0;
    int other = 0;
};

Counts CountLogged(const std::string& log, std::size_t from)
{
    Counts counts;
    std::istringstream lines(log.substr(from));
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" /route") != std::string::npos)
            ++counts.routing;
        else if (line.find(" /desc") != std::string::npos)
            ++counts.descriptions;
        else if (line.find("\" ") != std::string::npos)
            ++counts.other;
    }
    return counts;
}

std::unique_ptr<VTToolkit> FreshToolkit(const std::filesystem::path& coreCache, std::uint16_t proxyPort)
{
    auto toolkit = std::make_unique<VTToolkit>();
    toolkit->SetClientVariables({.capp = "PC"});
    if (toolkit->LoadCoreCache(coreCache) != 0)
        throw std::runtime_error("the server's Server.dat does not load");
    VTUserId user;
    user.SetBlindedId(kDemoUser);
    toolkit->SetUserId(user);
    if (proxyPort != 0)
        toolkit->SetProxy("127.0.0.1:" + std::to_string(proxyPort));
    return toolkit;
}

// Processor time of this process so far: user and system.
struct CpuMillis {
    double user = 0;
    double system = 0;
};

CpuMillis ProcessCpuMillis()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto millis = [](const timeval& time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; };
    return {millis(usage.ru_utime), millis(usage.ru_stime)};
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int ColdBatch(const std::string& refserver, const std::string& sampleData, int rounds, bool batchOnly)
{
    TempDir dir;
    const std::vector<ColdCode> codes = MakeSampleData(sampleData, dir / "data");
    ServerProcess server(refserver,
                         {"--listen", "127.0.0.1:0", "--port-file", (dir / "port").string(), "--data",
                          (dir / "data").string(), "--core-cache", (dir / "Server.dat").string()});
    const std::uint16_t port = server.WaitForPortFile(dir / "port");
    if (port == 0) {
        std::fprintf(stderr, "lumora-refserver did not start:\n%s\n", server.ErrorOutput().c_str());
        return 1;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);

    // One batch through the relay, untimed, gives the requests to replay.
    std::vector<std::string> requests;
    {
        RecordingRelay relay(port);
        auto toolkit = FreshToolkit(dir / "Server.dat", relay.Port());
        bool started = false;
        const VTBatchCodeList list = ColdRun(*toolkit, codes, started);
        if (!Check(list, started, codes.size()).ok) {
            std::fprintf(stderr, "the recorded batch failed\n%s\n", server.ErrorOutput().c_str());
            return 1;
        }
        requests = relay.Requests();
    }

    // Wall and processor time (this process: the server's is apart) per
    // round; libcurl alone and with a thread per request, as our exchanges
    // each run on an HTTP worker of their own.
    struct Figures {
        std::vector<double> wall;
        std::vector<double> cpu;
        std::vector<double> system;
        Counts counts;
    };
    // A fresh toolkit each round starts as a client does at program start
    // (its HTTP workers too); the kept one only has its caches emptied, as a
    // running client would between batches.
    Figures batch, batchKept, curl, curlThread;
    const auto kept = FreshToolkit(dir / "Server.dat", 0);
    Outcome last;
    bool exact = true;
    const auto timed = [&](Figures& figures, const std::function<void()>& run) {
        const std::size_t logStart = server.ErrorOutput().size();
        const CpuMillis cpuStart = ProcessCpuMillis();
        const auto start = Clock::now();
        run();
        figures.wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        const CpuMillis cpuEnd = ProcessCpuMillis();
        figures.cpu.push_back(cpuEnd.user + cpuEnd.system - cpuStart.user - cpuStart.system);
        figures.system.push_back(cpuEnd.system - cpuStart.system);
        figures.counts = CountLogged(server.ErrorOutput(), logStart);
    };
    for (int round = 0; round < rounds; ++round) {
        auto toolkit = FreshToolkit(dir / "Server.dat", 0);
        VTBatchCodeList list;
        bool started = false;
        timed(batch, [&] { list = ColdRun(*toolkit, codes, started); });
        last = Check(list, started, codes.size());
        exact = exact && last.ok;
        if (batchOnly)
            continue;
        kept->GetCache().ClearFormats();
        kept->GetCache().ClearTemplates();
        timed(batchKept, [&] { list = ColdRun(*kept, codes, started); });
        exact = exact && Check(list, started, codes.size()).ok;
        timed(curl, [&] {
            for (const auto& request : requests)
                exact = ReplayWithCurl(request, port) && exact;
        });
        timed(curlThread, [&] {
            for (const auto& request : requests) {
                bool sent = false;
                std::thread worker([&] { sent = ReplayWithCurl(request, port); });
                worker.join();
                exact = sent && exact;
            }
        });
    }
    std::printf("%zu codes with descriptions, %d rounds, fresh caches each round\n", codes.size(), rounds);
    std::printf("last round: %zu done, %zu addresses, %zu descriptions from %zu description servers\n",
                last.done, last.addressed, last.described, last.servers);
    const auto countsLine = [](const char* name, const Counts& counts) {
        std::printf("%-28s %d routing (format + template), %d description, %d other\n", name, counts.routing,
                    counts.descriptions, counts.other);
    };
    countsLine("batch requests per round:", batch.counts);
    if (!batchOnly) {
        countsLine("kept toolkit, per round:", batchKept.counts);
        countsLine("libcurl requests per round:", curl.counts);
    }
    std::printf("(%zu requests recorded and replayed)\n\n", requests.size());
    std::printf("%-36s %12s %12s %12s\n", "median per round", "wall ms", "cpu ms", "of it system");
    const auto row = [](const char* name, const Figures& figures) {
        std::printf("%-36s %12.2f %12.2f %12.2f\n", name, Median(figures.wall), Median(figures.cpu),
                    Median(figures.system));
    };
    row("batch processor", batch);
    if (batchOnly) {
        curl_global_cleanup();
        return exact ? 0 : 1;
    }
    row("batch, kept toolkit", batchKept);
    row("libcurl, one after another", curl);
    row("libcurl, a thread per request", curlThread);
    std::printf("\nbatch / libcurl, wall:               %.2f (goal <= 2.00)%s\n",
                Median(batch.wall) / Median(curl.wall), exact ? "" : "  (some requests failed)");
    std::printf("kept toolkit / libcurl, wall:        %.2f\n", Median(batchKept.wall) / Median(curl.wall));
    std::printf("batch / libcurl with threads, wall:  %.2f\n", Median(batch.wall) / Median(curlThread.wall));
    std::printf("batch / libcurl, cpu:                %.2f\n", Median(batch.cpu) / Median(curl.cpu));
    curl_global_cleanup();
    return exact ? 0 : 1;
}

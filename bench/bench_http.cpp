// Sequential HTTP/1.0 transactions on loopback: connect, POST of about
// 1 KB, a text/xml reply of about 2 KB with Content-Length, close. Our
// transaction client against libcurl's easy interface (a new handle per
// transaction, with and without a thread per transaction, the latter being
// the same work our client does) and a raw socket loop, interleaved in
// rounds so that a busy machine weighs on all of them alike.
//
//   bench_http [COUNT]             COUNT transactions each (default 2000)
//   bench_http only NAME [COUNT]   one variant alone (lumora, curl,
//                                  curl-thread, raw), to time whole runs
//   bench_http serve PORT          only the reply server, for http_client
#include "bench/benchclient.h"
#include "bench/benchserver.h"
#include "bench/curlsend.h"

#include <curl/curl.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReplyBody = 2048;
constexpr int kRounds = 20;

class LumoraVariant {
public:
    explicit LumoraVariant(uint16_t port) : m_request(BenchRequest("127.0.0.1", std::to_string(port)))
    {
        m_client.SetListener(&m_listener);
    }

    std::size_t operator()()
    {
        if (RunTransaction(m_client, m_listener, m_request).m_state != kHttpDone)
            return 0;
        return m_client.GetResponse().GetBodyLength();
    }

private:
    TSHttpRequest m_request;
    TSHttpTransactionClient m_client;
    EndListener m_listener;
};

std::size_t CurlTransaction(const std::string& url, const std::string& body)
{
    const CurlReply reply = CurlSend(url, {"Content-Type: text/xml"}, body, true);
    return reply.completed ? reply.body.size() : 0;
}

std::size_t RawTransaction(uint16_t port, const std::string& request)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        for (ssize_t count; (count = recv(fd, buffer, sizeof buffer, 0)) > 0;)
            reply.append(buffer, static_cast<std::size_t>(count));
    }
    close(fd);
    const auto end = reply.find("\r\n\r\n");
    return end == std::string::npos ? 0 : reply.size() - end - 4;
}

struct Variant {
    const char* key;
    const char* name;
    std::function<std::size_t()> run;
    std::vector<double> micros;
    std::size_t failures = 0;
};

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

void RunRound(Variant& variant, int count, std::size_t expected)
{
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        const std::size_t received = variant.run();
        const auto elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        variant.micros.push_back(elapsed);
        if (received != expected)
            ++variant.failures;
    }
}

int Serve(uint16_t port)
{
    BenchServer server(port, kReplyBody);
    std::printf("serving on 127.0.0.1:%u\n", server.Port());
    std::fflush(stdout);
    server.ServeForever();
    return 0;
}

void PrintRow(const Variant& variant)
{
    double total = 0;
    for (double micros : variant.micros)
        total += micros;
    std::printf("%-30s %10.1f %10.1f %10.1f %10.0f %8zu\n", variant.name, Percentile(variant.micros, 0.5),
                Percentile(variant.micros, 0.99), Percentile(variant.micros, 1.0),
                1e6 * static_cast<double>(variant.micros.size()) / total, variant.failures);
}

void PrintComparison(const std::vector<Variant>& variants)
{
    const auto median = [&](std::size_t i) { return Percentile(variants[i].micros, 0.5); };
    const auto p99 = [&](std::size_t i) { return Percentile(variants[i].micros, 0.99); };
    std::printf("\nlumora median / libcurl+thread median: %.2f (goal <= 1.00)\n", median(0) / median(2));
    std::printf("lumora median / libcurl median:        %.2f (goal <= 1.50)\n", median(0) / median(1));
    std::printf("lumora p99 / libcurl p99:              %.2f (goal <= 2.00)\n", p99(0) / p99(1));
    std::printf("lumora p99 / libcurl+thread p99:       %.2f\n", p99(0) / p99(2));
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "serve")
        return Serve(static_cast<uint16_t>(std::atoi(args[1].c_str())));
    const bool alone = !args.empty() && args[0] == "only";
    const std::size_t countAt = alone ? 2 : 0;
    const int count = args.size() > countAt ? std::max(kRounds, std::atoi(args[countAt].c_str())) : 2000;

    curl_global_init(CURL_GLOBAL_DEFAULT);
    BenchServer server(0, kReplyBody);
    const uint16_t port = server.Port();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/route";
    const std::string body = BenchRequestBody();
    const std::string rawRequest =
        "POST /route HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
        "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    LumoraVariant lumora(port);
    std::vector<Variant> variants;
    variants.push_back({"lumora", "lumora transaction client", std::ref(lumora), {}, 0});
    variants.push_back(
        {"curl", "libcurl, new easy handle", [&] { return CurlTransaction(url, body); }, {}, 0});
    variants.push_back({"curl-thread",
                        "libcurl, new handle + thread",
                        [&] {
                            std::size_t received = 0;
                            std::thread worker([&] { received = CurlTransaction(url, body); });
                            worker.join();
                            return received;
                        },
                        {},
                        0});
    variants.push_back({"raw", "raw socket loop", [&] { return RawTransaction(port, rawRequest); }, {}, 0});
    if (alone)
        std::erase_if(variants,
                      [&](const Variant& variant) { return args.size() < 2 || args[1] != variant.key; });
    if (variants.empty()) {
        std::fprintf(stderr,
                     "usage: bench_http [COUNT] | only lumora|curl|curl-thread|raw [COUNT] | serve PORT\n");
        return 2;
    }

    // The exact reply body size, taken from the server's first answer.
    const std::size_t expected = RawTransaction(port, rawRequest);
    for (auto& variant : variants) {
        RunRound(variant, 50, expected);
        variant.micros.clear();
        variant.failures = 0;
    }
    for (int round = 0; round < kRounds; ++round)
        for (std::size_t i = 0; i < variants.size(); ++i)
            RunRound(variants[(i + static_cast<std::size_t>(round)) % variants.size()], count / kRounds,
                     expected);

    std::printf("%d sequential transactions each, POST %zu bytes, reply body %zu bytes\n\n",
                count / kRounds * kRounds, body.size(), expected);
    std::printf("%-30s %10s %10s %10s %10s %8s\n", "variant", "median us", "p99 us", "max us", "tx/s",
                "failed");
    for (const auto& variant : variants)
        PrintRow(variant);
    if (variants.size() == 4)
        PrintComparison(variants);
    curl_global_cleanup();
    return 0;
}

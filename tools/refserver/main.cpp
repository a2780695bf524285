// lumora-refserver: the reference routing, description and registration
// server, answering the client's exchanges from a folder of sample data.
#include "platform/atomicfile.h"
#include "tools/cli/cliargs.h"
#include "tools/refserver/refdata.h"
#include "tools/refserver/refdocs.h"
#include "tools/refserver/refhandler.h"
#include "tools/refserver/reflistener.h"
#include "vtkit/vtparsers.h"
#include "vtkit/vtuserid.h"

#include <csignal>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: lumora-refserver [--listen HOST:PORT] [--data DIR] [--port-file FILE]\n"
    "                        [--base-url URL] [--core-cache FILE] [--read-timeout SECONDS]\n"
    "                        [--workers N]\n"
    "       lumora-refserver --print-core-cache [--listen HOST:PORT] [--base-url URL] [--data DIR]\n"
    "       lumora-refserver --blind CLEARID [--salt N]\n"
    "Serves the routing, description and attach exchanges and the item and help pages.\n"
    "  --listen       IPv4 address and port to listen on (127.0.0.1:8470; port 0: any free port)\n"
    "  --data         the sample data folder (default: data/refserver beside the program or in\n"
    "                 the source tree); a folder holding refserver/ is taken as its parent\n"
    "  --port-file    write the bound port to FILE once listening\n"
    "  --base-url     the address templates point at (default http://HOST:PORT/)\n"
    "  --core-cache   write a Server.dat for this server to FILE once listening\n"
    "  --print-core-cache  print that Server.dat and exit\n"
    "  --blind        print a blinded user id for a nine-digit clear id and exit\n"
    "SIGINT or SIGTERM stops the server.\n";

RefListener* g_listener = nullptr;

void OnStopSignal(int)
{
    if (g_listener)
        g_listener->Stop();
}

void LogLine(const std::string& line)
{
    static std::mutex lock;
    std::lock_guard guard(lock);
    std::cerr << "lumora-refserver: " << line << std::endl;
}

bool ParseListen(const std::string& text, RefListenerOptions& options)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    const auto port = ParseLong(text.substr(colon + 1));
    if (!port || *port < 0 || *port > 65535)
        return false;
    options.m_host = text.substr(0, colon);
    if (options.m_host == "localhost")
        options.m_host = "127.0.0.1";
    options.m_port = static_cast<std::uint16_t>(*port);
    return true;
}

bool HasData(const fs::path& folder)
{
    std::error_code error;
    return fs::is_regular_file(folder / "templates.xml", error);
}

std::optional<fs::path> FindDataFolder(const std::optional<std::string>& given)
{
    if (given) {
        const fs::path folder(*given);
        if (HasData(folder / "refserver"))
            return folder / "refserver";
        if (HasData(folder))
            return folder;
        return std::nullopt;
    }
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    std::vector<fs::path> candidates;
    if (!error) {
        candidates.push_back(program.parent_path() / "data" / "refserver");
        candidates.push_back(program.parent_path() / ".." / "share" / "lumora" / "refserver");
    }
    candidates.push_back(fs::path(LUMORA_SOURCE_DIR) / "data" / "refserver");
    for (const fs::path& candidate : candidates)
        if (HasData(candidate))
            return candidate;
    return std::nullopt;
}

std::string BaseUrl(const std::optional<std::string>& given, const RefListenerOptions& options,
                    std::uint16_t port)
{
    if (given)
        return given->ends_with('/') ? *given : *given + "/";
    // An address that listens everywhere is not one a client can reach.
    const std::string host = options.m_host == "0.0.0.0" ? "127.0.0.1" : options.m_host;
    return "http://" + host + ":" + std::to_string(port) + "/";
}

int Blind(const CliArgs& args)
{
    const auto salt = ParseLong(args.Value("--salt").value_or("0"));
    const std::string blinded =
        salt && *salt >= 0 ? VTUserId::Blind(*args.Value("--blind"), static_cast<int>(*salt % 10000)) : "";
    if (blinded.empty()) {
        std::cerr << "lumora-refserver: --blind takes nine digits, --salt a number from 0\n";
        return kExitUsage;
    }
    std::cout << blinded << '\n';
    return kExitOk;
}

std::optional<RefDataStore> LoadData(const fs::path& folder, const std::string& baseUrl)
{
    try {
        return RefDataStore::Load(folder, baseUrl);
    } catch (const RefDataError& e) {
        std::cerr << "lumora-refserver: " << folder.string() << "/" << e.what() << '\n';
        return std::nullopt;
    }
}

bool WriteSmallFile(const std::optional<std::string>& path, const std::string& bytes)
{
    std::string error;
    if (!path || platform::WriteFileAtomically(*path, bytes, 0644, &error))
        return true;
    std::cerr << "lumora-refserver: cannot write " << *path << ": " << error << '\n';
    return false;
}

void InstallSignals(RefListener& listener)
{
    g_listener = &listener;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int Serve(const CliArgs& args, RefListenerOptions options, const fs::path& folder)
{
    RefListener listener(options, LogLine);
    std::string error;
    if (!listener.Listen(error)) {
        std::cerr << "lumora-refserver: " << error << '\n';
        return kExitFailed;
    }
    const std::string baseUrl = BaseUrl(args.Value("--base-url"), options, listener.GetPort());
    const auto store = LoadData(folder, baseUrl);
    if (!store)
        return kExitFailed;
    const RefHandler handler(*store);
    if (!WriteSmallFile(args.Value("--core-cache"), FormatDocument(MakeCoreServerList(*store))) ||
        !WriteSmallFile(args.Value("--port-file"), std::to_string(listener.GetPort()) + "\n"))
        return kExitFailed;
    InstallSignals(listener);
    LogLine("listening on " + options.m_host + ":" + std::to_string(listener.GetPort()) + ", serving " +
            std::to_string(store->Items().size()) + " items from " + folder.string() + " as " + baseUrl);
    listener.Run(handler);
    g_listener = nullptr;
    LogLine("stopped");
    return kExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> words(argv + 1, argv + argc);
    std::string error;
    const auto args = CliArgs::Parse(words,
                                     {"--listen", "--data", "--port-file", "--base-url", "--core-cache",
                                      "--read-timeout", "--workers", "--blind", "--salt"},
                                     {"--print-core-cache", "--help", "--version"}, error);
    if (!args || !args->Positional().empty()) {
        std::cerr << "lumora-refserver: "
                  << (args ? "unexpected argument " + args->Positional().front() : error) << '\n'
                  << kUsage;
        return kExitUsage;
    }
    if (args->Has("--help")) {
        std::cout << kUsage;
        return kExitOk;
    }
    if (args->Has("--version")) {
        std::cout << "lumora-refserver " << LUMORA_VERSION << '\n';
        return kExitOk;
    }
    if (args->Value("--blind"))
        return Blind(*args);

    RefListenerOptions options;
    const auto readTimeout = ParseLong(args->Value("--read-timeout").value_or("10"));
    const auto workers = ParseLong(args->Value("--workers").value_or("8"));
    if (!ParseListen(args->Value("--listen").value_or("127.0.0.1:8470"), options) || !readTimeout ||
        *readTimeout < 1 || *readTimeout > 3600 || !workers || *workers < 1 || *workers > 256) {
        std::cerr << "lumora-refserver: bad --listen, --read-timeout or --workers\n" << kUsage;
        return kExitUsage;
    }
    if (const auto baseUrl = args->Value("--base-url"); baseUrl && !baseUrl->starts_with("http://")) {
        std::cerr << "lumora-refserver: --base-url must begin with http://\n";
        return kExitUsage;
    }
    options.m_readTimeoutMs = static_cast<int>(*readTimeout * 1000);
    options.m_workers = static_cast<int>(*workers);

    const auto folder = FindDataFolder(args->Value("--data"));
    if (!folder) {
        std::cerr << "lumora-refserver: no sample data found (a folder with templates.xml); use --data DIR\n";
        return kExitFailed;
    }
    if (args->Has("--print-core-cache")) {
        if (!args->Value("--base-url") && options.m_port == 0) {
            std::cerr << "lumora-refserver: --print-core-cache needs a port or --base-url\n";
            return kExitUsage;
        }
        const auto store = LoadData(*folder, BaseUrl(args->Value("--base-url"), options, options.m_port));
        if (!store)
            return kExitFailed;
        std::cout << FormatDocument(MakeCoreServerList(*store));
        return kExitOk;
    }
    return Serve(*args, options, *folder);
}

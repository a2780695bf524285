#include "platform/browser.h"

#include "platform/folders.h"
#include "platform/shellopen.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kHelperTimeout{5000};
constexpr std::size_t kMaxOutput = 64 * 1024;

std::string Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

std::string FirstLine(std::string_view text)
{
    return Trim(text.substr(0, text.find('\n')));
}

std::string Lower(std::string_view text)
{
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lowered;
}

// Reads until the end of the output or the deadline; false at the deadline.
bool ReadUntilEnd(int fd, Clock::time_point deadline, std::string& output)
{
    std::array<char, 4096> buffer{};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd poll{fd, POLLIN, 0};
        const int ready = ::poll(&poll, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return false;
        if (ready < 0)
            return true;
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        if (output.size() < kMaxOutput)
            output.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

int Reap(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return status;
}

std::vector<fs::path> ApplicationFolders()
{
    std::vector<fs::path> folders{XdgDataHome() / "applications"};
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string_view rest = (dirs && *dirs) ? dirs : "/usr/local/share:/usr/share";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (!folder.empty() && folder.front() == '/')
            folders.push_back(fs::path(folder) / "applications");
    }
    return folders;
}

// The words of an Exec line, with the desktop entry's quoting undone.
std::vector<std::string> ExecWords(std::string_view line)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '\\' && i + 1 < line.size()) {
            word += line[++i];
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

fs::path ResolveProgram(const std::string& program)
{
    if (program.find('/') != std::string::npos) {
        std::error_code error;
        return fs::is_regular_file(program, error) ? fs::path(program) : fs::path();
    }
    return FindOnPath(program);
}

} // namespace

std::optional<std::string> ProgramOutput(const fs::path& program, const std::vector<std::string>& args,
                                         std::chrono::milliseconds timeout)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return std::nullopt;
    }
    std::string output;
    const bool ended = ReadUntilEnd(out[0], Clock::now() + timeout, output);
    ::close(out[0]);
    if (!ended)
        ::kill(child, SIGKILL);
    const int status = Reap(child);
    if (!ended || status < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return output;
}

std::string DefaultBrowserDesktopId()
{
    const std::pair<const char*, std::vector<std::string>> queries[] = {
        {"xdg-settings", {"get", "default-web-browser"}},
        {"xdg-mime", {"query", "default", "text/html"}},
    };
    for (const auto& [name, args] : queries) {
        const fs::path program = FindOnPath(name);
        if (program.empty())
            continue;
        if (const auto output = ProgramOutput(program, args, kHelperTimeout)) {
            const std::string id = FirstLine(*output);
            if (!id.empty())
                return id;
        }
    }
    return {};
}

fs::path FindDesktopFile(std::string_view desktopId)
{
    if (desktopId.empty() || desktopId.find('/') != std::string_view::npos)
        return {};
    std::string nested(desktopId);
    std::replace(nested.begin(), nested.end(), '-', '/');
    for (const fs::path& folder : ApplicationFolders())
        for (const std::string& name : {std::string(desktopId), nested}) {
            std::error_code error;
            if (fs::is_regular_file(folder / name, error))
                return folder / name;
        }
    return {};
}

std::string DesktopExecProgram(const fs::path& desktopFile)
{
    std::ifstream in(desktopFile);
    bool inEntry = false;
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry || line.rfind("Exec", 0) != 0)
            continue;
        const auto equals = line.find('=');
        if (equals == std::string::npos || Trim(line.substr(4, equals - 4)) != "")
            continue;
        std::vector<std::string> words = ExecWords(line.substr(equals + 1));
        auto word = words.begin();
        if (word != words.end() && fs::path(*word).filename() == "env")
            for (++word; word != words.end() && word->find('=') != std::string::npos;)
                ++word;
        return word == words.end() ? std::string() : *word;
    }
    return {};
}

std::string VersionFromLine(std::string_view line)
{
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(line[i])))
            continue;
        std::size_t end = i;
        while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end])))
            ++end;
        if (end + 1 < line.size() && line[end] == '.' &&
            std::isdigit(static_cast<unsigned char>(line[end + 1]))) {
            std::size_t minorEnd = end + 1;
            while (minorEnd < line.size() && std::isdigit(static_cast<unsigned char>(line[minorEnd])))
                ++minorEnd;
            return std::string(line.substr(i, minorEnd - i));
        }
        i = end;
    }
    return {};
}

bool IsSupportedBrowser(std::string_view programName)
{
    static constexpr std::string_view kFamilies[] = {
        "firefox", "chromium", "google-chrome", "chrome",   "microsoft-edge",
        "brave",   "vivaldi",  "opera",         "epiphany", "konqueror",
    };
    const std::string name = Lower(programName);
    return std::any_of(std::begin(kFamilies), std::end(kFamilies),
                       [&](std::string_view family) { return name.rfind(family, 0) == 0; });
}

BrowserInfo DetectDefaultBrowser()
{
    BrowserInfo info;
    info.desktopId = DefaultBrowserDesktopId();
    info.desktopFile = FindDesktopFile(info.desktopId);
    if (info.desktopFile.empty())
        return info;
    const std::string program = DesktopExecProgram(info.desktopFile);
    if (program.empty())
        return info;
    info.programName = fs::path(program).filename().string();
    info.programPath = ResolveProgram(program);
    if (info.programPath.empty())
        return info;
    if (const auto output = ProgramOutput(info.programPath, {"--version"}, kHelperTimeout))
        if (const std::string version = VersionFromLine(FirstLine(*output)); !version.empty())
            info.versionText = version;
    info.compatibility = IsSupportedBrowser(info.programName) ? kBrowserSupported : kBrowserUntested;
    return info;
}

} // namespace platform

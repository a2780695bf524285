#include "tests/support/xvfbserver.h"

#include "tests/support/runprogram.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// A big-endian length and the bytes, as X authority files hold them.
std::string Counted(const std::string& bytes)
{
    return std::string{static_cast<char>(bytes.size() >> 8), static_cast<char>(bytes.size() & 0xFF)} + bytes;
}

// Reads the display number Xvfb writes when it is ready; "" when it ends
// or takes longer than `timeout`.
std::string ReadDisplayNumber(int fd, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::string text;
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd entry{fd, POLLIN, 0};
        if (left <= 0 || poll(&entry, 1, static_cast<int>(left)) <= 0)
            return "";
        char bytes[32];
        const ssize_t got = read(fd, bytes, sizeof bytes);
        if (got <= 0)
            return "";
        text.append(bytes, static_cast<std::size_t>(got));
    }
    return text.substr(0, text.find('\n'));
}

} // namespace

std::string FindOnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "";
}

bool XvfbServer::Available()
{
    return !FindOnPath("Xvfb").empty();
}

const char* XvfbServer::SkipReason()
{
    return "Xvfb is not installed (scripts/install-deps.sh installs it)";
}

// A cookie for every display number and address, in the file the server
// and its clients read.
void XvfbServer::WriteCookie() const
{
    std::random_device random;
    std::string cookie;
    for (int i = 0; i < 16; ++i)
        cookie += static_cast<char>(random() & 0xFF);
    m_dir.WriteFile("auth", std::string("\xFF\xFF", 2) + Counted("") + Counted("") +
                                Counted("MIT-MAGIC-COOKIE-1") + Counted(cookie));
}

XvfbServer::XvfbServer()
{
    WriteCookie();
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    const std::string program = FindOnPath("Xvfb");
    const std::string auth = (m_dir / "auth").string();
    const std::string log = (m_dir / "xvfb.log").string();
    std::vector<std::string> args = {program, "-displayfd", "3",       "-auth", auth,        "-nolisten",
                                     "tcp",   "-noreset",   "-screen", "0",     "640x480x24"};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
    const int spawned = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    const std::string number = spawned == 0 ? ReadDisplayNumber(ready[0], std::chrono::seconds(20)) : "";
    close(ready[0]);
    if (number.empty()) {
        Kill();
        throw std::runtime_error("Xvfb did not start: " + TempDir::ReadFile(log));
    }
    m_display = ":" + number;
    m_environment.push_back(std::make_unique<ScopedEnv>("DISPLAY", m_display.c_str()));
    m_environment.push_back(std::make_unique<ScopedEnv>("XAUTHORITY", auth.c_str()));
    m_environment.push_back(std::make_unique<ScopedEnv>("WAYLAND_DISPLAY", nullptr));
}

XvfbServer::~XvfbServer()
{
    Kill();
}

void XvfbServer::Kill()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_pid = -1;
}

bool XdoTool(const std::vector<std::string>& args)
{
    const std::string program = FindOnPath("xdotool");
    if (program.empty())
        throw std::runtime_error("xdotool is not installed (scripts/install-deps.sh installs it)");
    return RunProgram(program, args).exitStatus == 0;
}

std::string XClientSanitizerOptions()
{
    const char* options = std::getenv("ASAN_OPTIONS");
    return std::string(options ? options : "") + ":strict_string_checks=0";
}

#include "platform/shellopen.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// After fork only async-signal-safe calls: everything is prepared before.
[[noreturn]] void RunDetached(const char* program, char* const argv[], int reportFd)
{
    ::setsid();
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const pid_t grandchild = ::fork();
    if (grandchild != 0)
        ::_exit(grandchild < 0 ? 1 : 0);
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
        if (devNull > STDERR_FILENO)
            ::close(devNull);
    }
    // The browser that xdg-open may start must not hold this client's
    // sockets and files; the report pipe is close-on-exec already.
    if (::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
        for (int fd = STDERR_FILENO + 1; fd < 1024; ++fd)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::execv(program, argv);
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(reportFd, &error, sizeof error);
    ::_exit(127);
}

bool WaitForChild(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Empty when the exec succeeded (the pipe closed without a word).
bool ExecFailed(int readFd)
{
    int error = 0;
    ssize_t got = 0;
    do
        got = ::read(readFd, &error, sizeof error);
    while (got < 0 && errno == EINTR);
    return got > 0;
}

} // namespace

std::filesystem::path FindOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        const std::filesystem::path candidate = std::filesystem::path(folder.empty() ? "." : folder) / name;
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

bool ShellOpen(const std::string& address)
{
    const std::filesystem::path program = FindOnPath(kShellOpenProgram);
    if (program.empty())
        return false;
    std::string programText = program.string();
    std::string argument0 = kShellOpenProgram;
    std::string argument1 = address;
    char* const argv[] = {argument0.data(), argument1.data(), nullptr};
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        RunDetached(programText.c_str(), argv, report[1]);
    }
    ::close(report[1]);
    if (child < 0) {
        ::close(report[0]);
        return false;
    }
    const bool detached = WaitForChild(child);
    const bool failed = ExecFailed(report[0]);
    ::close(report[0]);
    return detached && !failed;
}

} // namespace platform

#include "tests/cli/cliprocess.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// A pseudo-terminal: the master end to read, the slave end for the child.
bool OpenTerminal(int ends[2])
{
    ends[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (ends[0] < 0 || grantpt(ends[0]) != 0 || unlockpt(ends[0]) != 0)
        return false;
    ends[1] = open(ptsname(ends[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return ends[1] >= 0;
}

} // namespace

CliProcess::CliProcess(std::vector<std::string> args, bool errorsOnTerminal)
    : CliProcess(std::move(args), CliStreams{errorsOnTerminal, "", 0})
{
}

CliProcess::CliProcess(std::vector<std::string> args, const CliStreams& streams)
{
    args.insert(args.begin(), LUMORA_CLI_PATH);
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    m_terminal = streams.terminalColumns > 0;
    int out[2], err[2] = {-1, -1};
    const bool opened = m_terminal
                            ? OpenTerminal(out)
                            : pipe2(out, O_CLOEXEC) == 0 &&
                                  (streams.errorsOnTerminal ? OpenTerminal(err) : pipe2(err, O_CLOEXEC) == 0);
    if (!opened)
        throw std::runtime_error("pipe");
    if (m_terminal) {
        const winsize size{24, streams.terminalColumns, 0, 0};
        ioctl(out[0], TIOCSWINSZ, &size);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (m_terminal)
        posix_spawn_file_actions_adddup2(&actions, out[1], 0);
    else if (!streams.inputFile.empty())
        posix_spawn_file_actions_addopen(&actions, 0, streams.inputFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, m_terminal ? out[1] : err[1], 2);
    const int spawned = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (err[1] >= 0)
        close(err[1]);
    m_out = out[0];
    m_err = err[0];
    if (spawned != 0)
        throw std::runtime_error("cannot start lumora-cli");
}

void CliProcess::Type(const std::string& keys)
{
    if (m_terminal && write(m_out, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size()))
        throw std::runtime_error("cannot type on the terminal");
}

CliProcess::~CliProcess()
{
    Kill();
    close(m_out);
    if (m_err >= 0)
        close(m_err);
}

bool CliProcess::WaitForLines(std::size_t lines, Ms timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (std::count(m_stdout.begin(), m_stdout.end(), '\n') < static_cast<long>(lines)) {
        if (Clock::now() >= deadline || !ReadSome(m_out, m_stdout, deadline))
            return false;
    }
    return true;
}

bool CliProcess::WaitForOutput(const std::string& text, Ms timeout)
{
    return WaitForText(m_out, m_stdout, text, timeout);
}

bool CliProcess::WaitForError(const std::string& text, Ms timeout)
{
    return WaitForText(m_err, m_stderr, text, timeout);
}

bool CliProcess::WaitForText(int fd, std::string& into, const std::string& text, Ms timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (into.find(text) == std::string::npos) {
        if (Clock::now() >= deadline || !ReadSome(fd, into, deadline))
            return false;
    }
    return true;
}

void CliProcess::Interrupt()
{
    kill(m_pid, SIGINT);
}

void CliProcess::Kill()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

int CliProcess::Wait(Ms timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (ReadSome(m_out, m_stdout, deadline)) {
    }
    while (ReadSome(m_err, m_stderr, deadline)) {
    }
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            Kill();
            return -1;
        }
        std::this_thread::sleep_for(Ms(5));
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool CliProcess::ReadSome(int fd, std::string& into, Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<Ms>(deadline - Clock::now()).count();
    if (fd < 0)
        return false;
    pollfd entry{fd, POLLIN, 0};
    if (left <= 0 || poll(&entry, 1, static_cast<int>(left)) <= 0)
        return false;
    char buffer[512];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0)
        return false;
    into.append(buffer, static_cast<std::size_t>(got));
    return true;
}

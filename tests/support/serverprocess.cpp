#include "tests/support/serverprocess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

constexpr auto kPollStep = std::chrono::milliseconds(20);

} // namespace

ServerProcess::ServerProcess(const std::string& program, const std::vector<std::string>& args)
{
    const std::string errPath = (m_dir / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const int spawned = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program);
}

ServerProcess::~ServerProcess()
{
    if (!m_exited && m_pid > 0) {
        kill(m_pid, SIGKILL);
        Reap(true);
    }
}

bool ServerProcess::Reap(bool block)
{
    if (m_exited)
        return true;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == m_pid) {
        m_exited = true;
        m_status = status;
    }
    return m_exited;
}

bool ServerProcess::IsRunning()
{
    return !Reap(false);
}

std::uint16_t ServerProcess::WaitForPortFile(const std::filesystem::path& path, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline && IsRunning()) {
        std::error_code error;
        if (std::filesystem::exists(path, error)) {
            const std::string text = TempDir::ReadFile(path);
            if (!text.empty() && text.back() == '\n')
                return static_cast<std::uint16_t>(std::stoul(text));
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return 0;
}

int ServerProcess::Wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!Reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(m_pid, SIGKILL);
            Reap(true);
            return -1;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
}

int ServerProcess::Stop(int signal, std::chrono::milliseconds timeout)
{
    if (!m_exited)
        kill(m_pid, signal);
    return Wait(timeout);
}

std::string ServerProcess::ErrorOutput() const
{
    return TempDir::ReadFile(m_dir / "stderr");
}

#include "tests/support/serverprocess.h"

#include "tests/support/runprogram.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace {

constexpr auto kPollStep = std::chrono::milliseconds(20);

} // namespace

ServerProcess::ServerProcess(const std::string& program, const std::vector<std::string>& args)
    : m_pid(SpawnProgram(program, args, "/dev/null", (m_dir / "stderr").string()))
{
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

std::uint16_t ServerProcess::WaitForPortFile(const std::filesystem::path& path,
                                             std::chrono::milliseconds timeout)
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

#include "platform/screenwake.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace platform {

namespace {

constexpr auto kEndGrace = std::chrono::milliseconds(500);
constexpr auto kEndPoll = std::chrono::milliseconds(10);

} // namespace

ScreenWaker::ScreenWaker(Command command) : m_command(std::move(command)) {}

ScreenWaker::~ScreenWaker()
{
    std::lock_guard guard(m_lock);
    if (m_child <= 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + kEndGrace;
    while (!LastRunEnded()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(m_child, SIGTERM);
            int status = 0;
            while (::waitpid(m_child, &status, 0) < 0 && errno == EINTR) {
            }
            m_child = 0;
            return;
        }
        std::this_thread::sleep_for(kEndPoll);
    }
}

bool ScreenWaker::LastRunEnded()
{
    if (m_child <= 0)
        return true;
    int status = 0;
    const pid_t reaped = ::waitpid(m_child, &status, WNOHANG);
    if (reaped == 0)
        return false;
    m_child = 0;
    return true;
}

void ScreenWaker::Wake()
{
    std::lock_guard guard(m_lock);
    if (m_command.empty() || !LastRunEnded())
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const auto& word : m_command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        m_child = child;
    posix_spawn_file_actions_destroy(&actions);
}

} // namespace platform

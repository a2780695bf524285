#include "platform/soundplay.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

// A looping player that ends at once (a null device plays instantly) must
// not turn into a busy loop of new processes.
constexpr auto kLoopPause = std::chrono::milliseconds(20);

std::string FindProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::filesystem::path candidate =
            std::filesystem::path(folders.substr(start, end - start)) / name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        start = end + 1;
    }
    return {};
}

bool SoundServerAnswers()
{
    if (const char* server = std::getenv("PULSE_SERVER"); server != nullptr && *server != '\0')
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    return runtime != nullptr && *runtime != '\0' &&
           std::filesystem::exists(std::filesystem::path(runtime) / "pulse" / "native", error);
}

// ALSA names playback devices pcmC<card>D<device>p.
bool AlsaHasPlaybackDevice()
{
    std::error_code error;
    for (std::filesystem::directory_iterator it("/dev/snd", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with("pcmC") && name.ends_with('p'))
            return true;
    }
    return false;
}

int WriteSoundFile(std::span<const std::uint8_t> wave)
{
    const int file = ::memfd_create("lumora-sound", MFD_CLOEXEC);
    if (file < 0)
        return -1;
    std::size_t written = 0;
    while (written < wave.size()) {
        const ssize_t n = ::write(file, wave.data() + written, wave.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(file);
            return -1;
        }
        written += static_cast<std::size_t>(n);
    }
    return file;
}

} // namespace

SoundPlayer::Command SoundPlayer::FindOutput()
{
    if (SoundServerAnswers())
        if (const std::string paplay = FindProgram("paplay"); !paplay.empty())
            return {paplay};
    if (AlsaHasPlaybackDevice())
        if (const std::string aplay = FindProgram("aplay"); !aplay.empty())
            return {aplay, "-q"};
    return {};
}

SoundPlayer::SoundPlayer(Command output) : m_output(std::move(output)) {}

SoundPlayer::~SoundPlayer()
{
    Stop();
}

bool SoundPlayer::Play(std::span<const std::uint8_t> wave, bool loop)
{
    Stop();
    if (!HasOutput() || wave.empty())
        return false;
    const int soundFile = WriteSoundFile(wave);
    if (soundFile < 0)
        return false;
    std::lock_guard guard(m_lock);
    m_playing = true;
    m_thread = std::thread(&SoundPlayer::Run, this, soundFile, loop);
    return true;
}

void SoundPlayer::Stop()
{
    {
        std::lock_guard guard(m_lock);
        m_stopping = true;
        if (m_child > 0)
            ::kill(m_child, SIGTERM);
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard guard(m_lock);
    m_stopping = false;
}

bool SoundPlayer::IsPlaying() const
{
    std::lock_guard guard(m_lock);
    return m_playing;
}

void SoundPlayer::Run(int soundFile, bool loop)
{
    for (bool again = true; again;) {
        std::unique_lock guard(m_lock);
        if (m_stopping)
            break;
        ::lseek(soundFile, 0, SEEK_SET);
        m_child = Spawn(soundFile);
        if (m_child <= 0)
            break;
        const pid_t child = m_child;
        guard.unlock();
        // A player that fails would fail again: play no more.
        again = WaitForPlayer(child) && loop;
        guard.lock();
        if (again)
            m_wake.wait_for(guard, kLoopPause, [this] { return m_stopping; });
    }
    ::close(soundFile);
    std::lock_guard guard(m_lock);
    m_child = 0;
    m_playing = false;
}

pid_t SoundPlayer::Spawn(int soundFile) const
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, soundFile, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const auto& word : m_output)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int error = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? child : -1;
}

// Waits for the player to end without reaping it first, so that Stop never
// signals a process number the system may already have given to another.
bool SoundPlayer::WaitForPlayer(pid_t child)
{
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    std::lock_guard guard(m_lock);
    m_child = 0;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace platform

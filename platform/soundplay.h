#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace platform {

// Plays one WAVE sound held in memory at a time, in the background, through
// a player program that reads the sound on its standard input (paplay or
// aplay on a desktop). The sound is handed over in an anonymous memory file,
// so nothing is written to disk and a player that quits early cannot hurt us.
class SoundPlayer {
public:
    using Command = std::vector<std::string>;

    // The player for this machine's wave output: paplay when a sound server
    // answers, aplay when ALSA has a playback device; empty when there is no
    // output or no player, and then nothing ever plays.
    static Command FindOutput();

    explicit SoundPlayer(Command output = FindOutput());
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    bool HasOutput() const { return !m_output.empty(); }

    // Stops any sound still playing, then plays `wave` once, or over and
    // over until Stop when `loop` is set. False when there is no output,
    // nothing to play, or the sound could not be handed to the player.
    bool Play(std::span<const std::uint8_t> wave, bool loop);
    // Ends the sound playing now, if any, and waits for its player to go.
    void Stop();
    bool IsPlaying() const;

private:
    void Run(int soundFile, bool loop);
    pid_t Spawn(int soundFile) const;
    bool WaitForPlayer(pid_t child);

    const Command m_output;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::thread m_thread;
    pid_t m_child = 0;
    bool m_stopping = false;
    bool m_playing = false;
};

} // namespace platform

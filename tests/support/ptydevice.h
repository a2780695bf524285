#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <termios.h>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

// A serial device played on the master side of a pseudo-terminal; the
// driver under test opens the slave (usually through DosDevices). The
// simulator keeps a raw descriptor of the slave open itself, so bytes sent
// before the driver opens wait for it and the line never hangs up while the
// driver reopens. Every wait is bounded; what goes wrong is kept in
// Failures() for the test to check.
class PtyDevice {
public:
    using Ms = std::chrono::milliseconds;

    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // The slave's device path, e.g. /dev/pts/3.
    const std::string& SlavePath() const { return m_slavePath; }

    // What the device sends. Gives up, recording a failure, when the driver
    // does not read for 5 s; quietly when the player is asked to stop.
    void Send(std::string_view bytes);
    // One byte at a time with a pause after each: a slow device, or one
    // still sending while the driver stops. Ends early when stopping.
    void SendSlowly(std::string_view bytes, Ms perByte);
    // What the driver wrote: up to `count` bytes, returning when they came
    // or the time ran out.
    std::string Receive(std::size_t count, Ms timeout);
    // Receives as many bytes as `expected` holds and compares; a mismatch is
    // recorded as a failure.
    bool Expect(std::string_view expected, Ms timeout = Ms(5000));

    // The line settings the driver gave the port.
    termios LineSettings() const;

    // The driver holds the port open (it sets exclusive mode while open).
    bool IsOpenByDriver() const;
    bool WaitForOpen(Ms timeout = Ms(10000));
    bool WaitForClose(Ms timeout = Ms(10000));

    // Closes the master side: the driver sees the device hang up.
    void HangUp();

    // Plays `play` on the device's own thread; one player at a time.
    void Play(std::function<void(PtyDevice&)> play);
    // Asks the player to end (pauses and Serve return early) and joins it.
    void StopPlaying();
    bool StopRequested() const { return m_stop.load(); }
    // A pause that ends early, with false, when the player is asked to stop.
    bool Pause(Ms duration);

    // Read-and-answer devices: the responder gets everything received and
    // not yet consumed, erases what it consumed and returns the bytes to
    // send back (empty: nothing yet). Serve runs until stopping.
    using Responder = std::function<std::string(std::string& pending)>;
    void Serve(const Responder& responder);
    // A responder for a fixed table of exchanges: a pending input that begins
    // with a request is answered by its reply; a byte that begins no request
    // is dropped and recorded.
    Responder Exchanges(std::vector<std::pair<std::string, std::string>> table);

    void AddFailure(std::string failure);
    std::vector<std::string> Failures() const;

private:
    bool WaitForDriver(bool open, Ms timeout) const;

    std::atomic<int> m_master{-1};
    int m_slave = -1;
    std::string m_slavePath;
    std::thread m_player;
    std::atomic<bool> m_stop{false};
    std::mutex m_pauseLock;
    std::condition_variable m_pauseWake;
    mutable std::mutex m_failureLock;
    std::vector<std::string> m_failures;
};

#pragma once

#include "tools/refserver/refhttp.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class RefHandler;

struct RefListenerOptions {
    // An IPv4 address; loopback unless told otherwise.
    std::string m_host = "127.0.0.1";
    // 0 lets the system choose.
    std::uint16_t m_port = 8470;
    int m_workers = 8;
    // Connections whose requests are still arriving: they are read as
    // their bytes come, so slow peers hold no worker. Beyond this a
    // newcomer is told the server is busy.
    std::size_t m_maxReading = 512;
    // Requests read but not yet taken by a worker; beyond this the peer is
    // told the server is busy.
    std::size_t m_maxQueued = 64;
    // For the whole request, so that a peer sending a byte at a time cannot
    // hold a worker; and for sending the whole reply.
    int m_readTimeoutMs = 10000;
    int m_writeTimeoutMs = 10000;
    RefLimits m_limits;
};

// The server's socket side: HTTP/1.0, one request per connection. One
// thread accepts and reads every request as its bytes arrive; a small pool
// of workers answers the complete ones. Each finished request gives one
// log line.
class RefListener {
public:
    using LogFn = std::function<void(const std::string&)>;

    RefListener(RefListenerOptions options, LogFn log);
    ~RefListener();
    RefListener(const RefListener&) = delete;
    RefListener& operator=(const RefListener&) = delete;

    // Binds and listens; false with `error` when it cannot.
    bool Listen(std::string& error);
    // The bound port (the system's choice when 0 was asked for).
    std::uint16_t GetPort() const { return m_port; }

    // Serves until Stop, then lets the connections in hand end and returns.
    void Run(const RefHandler& handler);
    // Safe from a signal handler and from any thread.
    void Stop();

private:
    using Clock = std::chrono::steady_clock;
    // A connection whose request is still arriving.
    struct Reading {
        int m_fd;
        std::string m_peer;
        RefRequestReader m_reader;
        Clock::time_point m_deadline;
    };
    // A connection whose request was read (or refused, or too slow to come).
    struct Pending {
        int m_fd = -1;
        std::string m_peer;
        RefRequestReader m_reader{RefLimits{}};
        bool m_timedOut = false;
    };
    enum class Wait { kReady, kTimedOut, kStopped, kFailed };

    // Waits for the listener, the wake-up pipe and every connection being
    // read, and takes what arrived; false once stopped.
    bool PollOnce(const RefHandler& handler);
    void AcceptAll(const RefHandler& handler);
    // Takes what the peer sent; false when the connection is done with here.
    bool ReadSome(Reading& connection, const RefHandler& handler);
    // Hands a read connection to the workers, or tells the peer the server is busy.
    void Dispatch(Reading&& connection, bool timedOut, const RefHandler& handler);
    void RefuseBusy(int fd, const std::string& peer, const RefHandler& handler);
    void WorkerLoop(const RefHandler& handler);
    void Serve(const Pending& connection, const RefHandler& handler);
    // The reply to a request read; `line` is what the log shows of it.
    RefReply Answer(const Pending& connection, const RefHandler& handler, std::string& line) const;
    bool SendAll(int fd, const std::string& bytes);
    // Half-closes and reads what the peer still sends, so that the reply is
    // not lost to a reset when the peer had more to say.
    void Linger(int fd);
    Wait WaitFor(int fd, short events, int timeoutMs) const;
    void Log(const std::string& line) const;

    RefListenerOptions m_options;
    LogFn m_log;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;

    std::vector<Reading> m_reading; // the accepting thread's own
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<Pending> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};

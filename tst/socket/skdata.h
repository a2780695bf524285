#pragma once

#include "tst/tsobject.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <sys/socket.h>

// Outcome of every timed socket operation.
enum TSSocketResult : int32_t {
    kSocketDone = 0,
    kSocketTimedOut = 1,
    // A socket error or an error reported by the socket library.
    kSocketFailed = 2,
    // The peer closed or reset the connection; the socket is no longer connected.
    kSocketClosed = 3,
    kSocketCancelled = 4,
};

// The system error number the rest of the system knows for a POSIX errno
// (connection reset is 10054, would-block 10035, ...); an errno without
// such a number is returned as it is.
int32_t TSSocketErrorNumber(int posixError);

// One TCP client connection: a target of host, ':' and port, name lookup,
// a non-blocking connect and timed sends and receives. Every wait is cut
// into slices of one second, so a cancel flag set from another thread ends
// it within about a second. One thread at a time uses the socket; only the
// cancel flag may be touched from elsewhere.
class TSDataSocket : public TSObjectImpl {
public:
    using Clock = std::chrono::steady_clock;
    enum LookupState : int32_t { kNotLookedUp = 0, kResolved = 1, kLookupFailed = 2 };
    static constexpr std::size_t kReceiveSize = 4096;
    static constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

    TSDataSocket();
    ~TSDataSocket() override;
    TSDataSocket(const TSDataSocket&) = delete;
    TSDataSocket& operator=(const TSDataSocket&) = delete;

    // A socket is never duplicated: cloning is a programming error.
    TSObjectImpl* Clone() const override;

    // Closes any open socket and stores host and port; text that is not a
    // host, ':' and a decimal port up to 65535 throws "Invalid address".
    void SetAddress(std::string_view text);
    std::string GetAddressText() const;
    const std::string& GetHost() const { return m_host; }
    int32_t GetPort() const { return m_port; }
    int32_t GetLookupState() const { return m_lookupState; }

    // kSocketDone, or kSocketFailed when the host is empty or unknown.
    int32_t Resolve();
    // Resolves when needed (an unknown host throws "Invalid address").
    int32_t Connect(uint32_t timeoutSeconds);

    // Sends once, waiting while the connection has no room, and reports
    // the count sent.
    int32_t Send(const void* bytes, std::size_t length, uint32_t timeoutSeconds, std::size_t& sent);
    // Sends everything within one deadline.
    int32_t SendAll(const void* bytes, std::size_t length, uint32_t timeoutSeconds);
    // Sends everything in as few calls as the connection allows, with the
    // time-out per chunk of `chunkSize` bytes: each chunk must be on its
    // way within `timeoutSeconds` of the one before it.
    int32_t SendChunked(const void* bytes, std::size_t length, std::size_t chunkSize,
                        uint32_t timeoutSeconds);

    // Reads up to kReceiveSize bytes from the connection into `out`.
    int32_t Receive(std::string& out, uint32_t timeoutSeconds);
    // Hands out what the receive buffer holds, or else what Receive brings.
    int32_t ReceiveAny(std::string& out, uint32_t timeoutSeconds);
    // Exactly `count` bytes; the rest stays in the receive buffer.
    int32_t ReceiveExactly(std::string& out, std::size_t count, uint32_t timeoutSeconds);
    // Everything up to and including `delimiter`. When the buffer holds
    // `maxLength` bytes without it the result is kSocketFailed, so a peer
    // that never sends the delimiter cannot fill the memory.
    int32_t ReceiveThrough(std::string& out, char delimiter, uint32_t timeoutSeconds,
                           std::size_t maxLength = kNoLimit);
    // One line through LF, optionally without its trailing LF and CR characters.
    int32_t ReadLine(std::string& out, uint32_t timeoutSeconds, bool stripLf, bool stripCr,
                     std::size_t maxLength = kNoLimit);

    // Closes the connection and drops any bytes not yet handed out.
    void Close();

    // While set, every wait returns kSocketCancelled. Safe from any thread.
    void SetCancel(bool cancel) { m_cancel.store(cancel, std::memory_order_relaxed); }
    bool IsCancelled() const { return m_cancel.load(std::memory_order_relaxed); }
    bool IsConnected() const { return m_connected; }
    std::size_t GetBufferedCount() const { return m_received.size(); }
    // The system error number of the last failure (see TSSocketErrorNumber).
    int32_t GetLastError() const { return m_lastError; }

    // Every wait also ends, as timed out, at this moment: a whole exchange
    // is bounded however the peer spaces its bytes. Clock::time_point::max()
    // for none.
    void SetDeadline(Clock::time_point deadline) { m_deadline = deadline; }
    bool IsPastDeadline() const { return Clock::now() >= m_deadline; }

private:
    enum class Condition { kReadable, kWritable, kConnected };

    // The sooner of `seconds` from now and the deadline.
    Clock::time_point DeadlineAfter(uint32_t seconds) const;
    int32_t WaitFor(Condition condition, Clock::time_point deadline);
    int32_t SendUntil(const char* bytes, std::size_t length, Clock::time_point deadline, std::size_t& sent);
    // Appends what one read brings to the receive buffer.
    int32_t ReceiveMore(uint32_t timeoutSeconds);
    void HandOut(std::string& out, std::size_t count);
    void CheckConnected() const;
    int32_t FailWith(int posixError);
    // A send or receive that failed: kSocketClosed when the peer has gone.
    int32_t TransferFailed(int posixError);
    int32_t StartConnect();

    int32_t m_lookupState = kNotLookedUp;
    std::string m_host;
    int32_t m_port = 0;
    std::string m_target;
    sockaddr_storage m_address{};
    socklen_t m_addressLength = 0;
    bool m_connected = false;
    std::atomic<bool> m_cancel{false};
    uint32_t m_waitSlice = 1;
    Clock::time_point m_deadline = Clock::time_point::max();
    int m_fd = -1;
    std::string m_received;
    int32_t m_lastError = 0;
};

// The handle a user of a socket owns; operations go straight to the body.
class TSClientSocket : public TSObjectRef {
public:
    TSClientSocket();

    TSDataSocket& operator*() const { return Body(); }
    TSDataSocket* operator->() const { return &Body(); }

private:
    TSDataSocket& Body() const;
};

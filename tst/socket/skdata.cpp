#include "tst/socket/skdata.h"

#include "tst/socket/skexcep.h"
#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr int32_t kWouldBlock = 10035;
constexpr int32_t kInProgress = 10036;
constexpr int32_t kConnectionAborted = 10053;
constexpr int32_t kConnectionReset = 10054;

struct ErrorNumber {
    int posix;
    int32_t system;
};

// The socket error numbers are the BSD ones moved up by 10000.
constexpr ErrorNumber kErrorNumbers[] = {
    {EINTR, 10004},
    {EBADF, 10009},
    {EACCES, 10013},
    {EFAULT, 10014},
    {EINVAL, 10022},
    {EMFILE, 10024},
    {EWOULDBLOCK, 10035},
    {EINPROGRESS, 10036},
    {EALREADY, 10037},
    {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043},
    {EOPNOTSUPP, 10045},
    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},
    {ENETUNREACH, 10051},
    {ENETRESET, 10052},
    {ECONNABORTED, 10053},
    {ECONNRESET, 10054},
    // Writing to a connection the peer has torn down.
    {EPIPE, 10054},
    {ENOBUFS, 10055},
    {EISCONN, 10056},
    {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},
    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},
    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
};

bool IsPeerGone(int32_t systemError)
{
    return systemError == kConnectionAborted || systemError == kConnectionReset;
}

} // namespace

int32_t TSSocketErrorNumber(int posixError)
{
    if (posixError == EAGAIN)
        return kWouldBlock;
    for (const auto& entry : kErrorNumbers)
        if (entry.posix == posixError)
            return entry.system;
    return posixError;
}

TSDataSocket::TSDataSocket() = default;

TSDataSocket::~TSDataSocket()
{
    Close();
}

TSObjectImpl* TSDataSocket::Clone() const
{
    TS_ASSERT_MSG(false, "a socket cannot be duplicated");
    return nullptr;
}

void TSDataSocket::SetAddress(std::string_view text)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size() ||
        !IsAllDigits(text.substr(colon + 1)))
        throw TSSocketException(TSSocketException::kInvalidAddress, text);
    // A port beyond TCP's range would wrap to another port.
    const std::string digits = StripLeadingZeros(text.substr(colon + 1));
    const long port =
        digits.size() > 5 ? 65536 : ParseDecimal(digits.c_str(), static_cast<int>(digits.size()));
    if (port > 65535)
        throw TSSocketException(TSSocketException::kInvalidAddress, text);
    Close();
    m_lookupState = kNotLookedUp;
    m_host.assign(text.substr(0, colon));
    m_port = static_cast<int32_t>(port);
    m_target.assign(text);
}

std::string TSDataSocket::GetAddressText() const
{
    return m_host + ':' + FormatUnsigned(static_cast<unsigned long>(m_port));
}

int32_t TSDataSocket::Resolve()
{
    if (m_lookupState == kResolved)
        return kSocketDone;
    m_lookupState = kLookupFailed;
    if (m_host.empty())
        return kSocketFailed;

    m_address = {};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&m_address);
    if (inet_pton(AF_INET, m_host.c_str(), &v4->sin_addr) == 1) {
        // A dotted address needs no lookup.
        v4->sin_family = AF_INET;
        m_addressLength = sizeof(sockaddr_in);
    } else {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(m_host.c_str(), nullptr, &hints, &found) != 0 || !found)
            return kSocketFailed;
        // Prefer an IPv4 address: servers often listen on that alone.
        const addrinfo* chosen = found;
        for (const addrinfo* entry = found; entry; entry = entry->ai_next)
            if (entry->ai_family == AF_INET) {
                chosen = entry;
                break;
            }
        std::memcpy(&m_address, chosen->ai_addr, chosen->ai_addrlen);
        m_addressLength = chosen->ai_addrlen;
        freeaddrinfo(found);
    }
    const auto port = htons(static_cast<uint16_t>(m_port));
    if (m_address.ss_family == AF_INET)
        reinterpret_cast<sockaddr_in*>(&m_address)->sin_port = port;
    else
        reinterpret_cast<sockaddr_in6*>(&m_address)->sin6_port = port;
    m_lookupState = kResolved;
    return kSocketDone;
}

int32_t TSDataSocket::FailWith(int posixError)
{
    m_lastError = TSSocketErrorNumber(posixError);
    return kSocketFailed;
}

int32_t TSDataSocket::Connect(uint32_t timeoutSeconds)
{
    Close();
    if (Resolve() != kSocketDone)
        throw TSSocketException(TSSocketException::kInvalidAddress, m_target);
    const auto deadline = DeadlineAfter(timeoutSeconds);
    int32_t result = StartConnect();
    if (result == kSocketDone && !m_connected) {
        result = WaitFor(Condition::kConnected, deadline);
        int error = 0;
        socklen_t size = sizeof error;
        if (result == kSocketDone && getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error != 0)
            result = FailWith(error);
    }
    m_connected = result == kSocketDone;
    if (!m_connected)
        Close();
    return result;
}

// Creates the socket and starts connecting; kSocketDone with m_connected
// still clear means the connection is on its way.
int32_t TSDataSocket::StartConnect()
{
    m_fd = socket(m_address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return FailWith(errno);
    // Requests go out in chunks as they are ready; holding a short last
    // chunk back for an acknowledgement only adds latency.
    const int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(m_fd, reinterpret_cast<const sockaddr*>(&m_address), m_addressLength) == 0) {
        m_connected = true;
        return kSocketDone;
    }
    const int32_t error = TSSocketErrorNumber(errno);
    if (error != kWouldBlock && error != kInProgress)
        return FailWith(errno);
    return kSocketDone;
}

TSDataSocket::Clock::time_point TSDataSocket::DeadlineAfter(uint32_t seconds) const
{
    return std::min(Clock::now() + std::chrono::seconds(seconds), m_deadline);
}

int32_t TSDataSocket::WaitFor(Condition condition, Clock::time_point deadline)
{
    using std::chrono::milliseconds;
    pollfd entry{m_fd, short(condition == Condition::kReadable ? POLLIN : POLLOUT), 0};
    for (;;) {
        const auto remaining = std::chrono::ceil<milliseconds>(deadline - Clock::now());
        if (remaining.count() <= 0)
            return kSocketTimedOut;
        if (IsCancelled())
            return kSocketCancelled;
        const auto slice = std::min<milliseconds>(remaining, std::chrono::seconds(m_waitSlice));
        entry.revents = 0;
        const int ready = poll(&entry, 1, static_cast<int>(slice.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return FailWith(errno);
        if (ready == 0)
            continue;
        if (entry.revents & POLLNVAL)
            return FailWith(EBADF);
        if (condition == Condition::kConnected && (entry.revents & (POLLERR | POLLHUP))) {
            int error = 0;
            socklen_t size = sizeof error;
            getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size);
            return FailWith(error ? error : ECONNREFUSED);
        }
        // A reset or closed peer also wakes a read or write wait; the read
        // or write that follows tells which it was.
        return kSocketDone;
    }
}

void TSDataSocket::CheckConnected() const
{
    if (!m_connected || m_fd < 0)
        throw TSSocketException(TSSocketException::kNotConnected);
}

int32_t TSDataSocket::SendUntil(const char* bytes, std::size_t length, Clock::time_point deadline,
                                std::size_t& sent)
{
    sent = 0;
    CheckConnected();
    // A connection nearly always has room: sending first saves a poll per
    // send, and the wait comes only when the kernel's buffer is full.
    for (;;) {
        if (IsCancelled())
            return kSocketCancelled;
        const ssize_t count = send(m_fd, bytes, length, MSG_NOSIGNAL);
        if (count >= 0) {
            sent = static_cast<std::size_t>(count);
            return kSocketDone;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            const int32_t waited = WaitFor(Condition::kWritable, deadline);
            if (waited != kSocketDone)
                return waited;
            continue;
        }
        return TransferFailed(errno);
    }
}

int32_t TSDataSocket::TransferFailed(int posixError)
{
    FailWith(posixError);
    if (IsPeerGone(m_lastError)) {
        m_connected = false;
        return kSocketClosed;
    }
    return kSocketFailed;
}

int32_t TSDataSocket::Send(const void* bytes, std::size_t length, uint32_t timeoutSeconds, std::size_t& sent)
{
    return SendUntil(static_cast<const char*>(bytes), length, DeadlineAfter(timeoutSeconds), sent);
}

int32_t TSDataSocket::SendAll(const void* bytes, std::size_t length, uint32_t timeoutSeconds)
{
    const auto deadline = DeadlineAfter(timeoutSeconds);
    const auto* next = static_cast<const char*>(bytes);
    while (length > 0) {
        std::size_t sent = 0;
        const int32_t result = SendUntil(next, length, deadline, sent);
        if (result != kSocketDone)
            return result;
        next += sent;
        length -= sent;
    }
    return kSocketDone;
}

int32_t TSDataSocket::SendChunked(const void* bytes, std::size_t length, std::size_t chunkSize,
                                  uint32_t timeoutSeconds)
{
    TS_ASSERT_MSG(chunkSize > 0, "chunk size must not be zero");
    const auto* first = static_cast<const char*>(bytes);
    auto deadline = DeadlineAfter(timeoutSeconds);
    for (std::size_t done = 0; done < length;) {
        std::size_t sent = 0;
        const int32_t result = SendUntil(first + done, length - done, deadline, sent);
        if (result != kSocketDone)
            return result;
        // A chunk went out whole: the next one has its own time from now.
        if ((done + sent) / chunkSize != done / chunkSize)
            deadline = DeadlineAfter(timeoutSeconds);
        done += sent;
    }
    return kSocketDone;
}

int32_t TSDataSocket::ReceiveMore(uint32_t timeoutSeconds)
{
    CheckConnected();
    const auto deadline = DeadlineAfter(timeoutSeconds);
    for (;;) {
        const int32_t waited = WaitFor(Condition::kReadable, deadline);
        if (waited != kSocketDone)
            return waited;
        const std::size_t before = m_received.size();
        m_received.resize(before + kReceiveSize);
        const ssize_t count = recv(m_fd, m_received.data() + before, kReceiveSize, 0);
        m_received.resize(before + static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
        if (count > 0)
            return kSocketDone;
        if (count == 0) {
            m_connected = false;
            return kSocketClosed;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            continue;
        return TransferFailed(errno);
    }
}

void TSDataSocket::HandOut(std::string& out, std::size_t count)
{
    if (count >= m_received.size()) {
        out.swap(m_received);
        m_received.clear();
        return;
    }
    out.assign(m_received, 0, count);
    m_received.erase(0, count);
}

int32_t TSDataSocket::Receive(std::string& out, uint32_t timeoutSeconds)
{
    const std::size_t before = m_received.size();
    const int32_t result = ReceiveMore(timeoutSeconds);
    if (result == kSocketDone) {
        out.assign(m_received, before, std::string::npos);
        m_received.resize(before);
    }
    return result;
}

int32_t TSDataSocket::ReceiveAny(std::string& out, uint32_t timeoutSeconds)
{
    if (m_received.empty())
        return Receive(out, timeoutSeconds);
    HandOut(out, m_received.size());
    return kSocketDone;
}

int32_t TSDataSocket::ReceiveExactly(std::string& out, std::size_t count, uint32_t timeoutSeconds)
{
    while (m_received.size() < count) {
        const int32_t result = ReceiveMore(timeoutSeconds);
        if (result != kSocketDone)
            return result;
    }
    HandOut(out, count);
    return kSocketDone;
}

int32_t TSDataSocket::ReceiveThrough(std::string& out, char delimiter, uint32_t timeoutSeconds,
                                     std::size_t maxLength)
{
    std::size_t searched = 0;
    for (;;) {
        const auto found = m_received.find(delimiter, searched);
        if (found != std::string::npos) {
            HandOut(out, found + 1);
            return kSocketDone;
        }
        searched = m_received.size();
        if (searched >= maxLength)
            return FailWith(EMSGSIZE);
        const int32_t result = ReceiveMore(timeoutSeconds);
        if (result != kSocketDone)
            return result;
    }
}

int32_t TSDataSocket::ReadLine(std::string& out, uint32_t timeoutSeconds, bool stripLf, bool stripCr,
                               std::size_t maxLength)
{
    const int32_t result = ReceiveThrough(out, '\n', timeoutSeconds, maxLength);
    if (result != kSocketDone)
        return result;
    if (stripLf)
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
    if (stripCr)
        while (!out.empty() && out.back() == '\r')
            out.pop_back();
    return kSocketDone;
}

void TSDataSocket::Close()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
    m_connected = false;
    m_received.clear();
}

TSClientSocket::TSClientSocket() : TSObjectRef(new TSDataSocket) {}

TSDataSocket& TSClientSocket::Body() const
{
    auto* body = BodyAs<TSDataSocket>();
    TS_CHECK_NULL(body);
    return *body;
}

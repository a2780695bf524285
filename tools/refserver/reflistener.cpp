#include "tools/refserver/reflistener.h"

#include "tools/refserver/refdocs.h"
#include "tools/refserver/refhandler.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadChunk = 4096;
// What a peer may still send after its reply before the connection is cut.
constexpr std::size_t kLingerBytes = 4 * 1024 * 1024;
constexpr int kLingerMs = 1000;

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string PeerName(const sockaddr_in& address)
{
    char host[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(address.sin_port));
}

std::string SystemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

RefListener::RefListener(RefListenerOptions options, LogFn log)
    : m_options(std::move(options)), m_log(std::move(log))
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_wakeRead = pipeFds[0];
        m_wakeWrite = pipeFds[1];
    }
}

RefListener::~RefListener()
{
    if (m_listener >= 0)
        close(m_listener);
    if (m_wakeRead >= 0)
        close(m_wakeRead);
    if (m_wakeWrite >= 0)
        close(m_wakeWrite);
}

bool RefListener::Listen(std::string& error)
{
    if (m_wakeRead < 0) {
        error = "cannot create the wake-up pipe";
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_options.m_port);
    if (inet_pton(AF_INET, m_options.m_host.c_str(), &address.sin_addr) != 1) {
        error = "not an IPv4 address: " + m_options.m_host;
        return false;
    }
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listener < 0) {
        error = SystemError("socket");
        return false;
    }
    const int on = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, 128) != 0) {
        error = SystemError(
            ("cannot listen on " + m_options.m_host + ":" + std::to_string(m_options.m_port)).c_str());
        close(m_listener);
        m_listener = -1;
        return false;
    }
    socklen_t length = sizeof address;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    return true;
}

void RefListener::Stop()
{
    // Only write(2) here: this runs in signal handlers.
    const char byte = 's';
    [[maybe_unused]] const auto written = write(m_wakeWrite, &byte, 1);
}

RefListener::Wait RefListener::WaitFor(int fd, short events, int timeoutMs) const
{
    pollfd fds[2] = {{fd, events, 0}, {m_wakeRead, POLLIN, 0}};
    while (true) {
        const int ready = poll(fds, 2, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Wait::kFailed;
        if (ready == 0)
            return Wait::kTimedOut;
        if (fds[1].revents != 0)
            return Wait::kStopped;
        return Wait::kReady;
    }
}

void RefListener::Log(const std::string& line) const
{
    if (m_log)
        m_log(line);
}

void RefListener::Run(const RefHandler& handler)
{
    for (int i = 0; i < m_options.m_workers; ++i)
        m_workers.emplace_back([this, &handler] { WorkerLoop(handler); });
    while (PollOnce(handler)) {
    }
    for (const Reading& connection : m_reading) {
        Log(connection.m_peer + " - dropped: server stopping");
        close(connection.m_fd);
    }
    m_reading.clear();
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_ready.notify_all();
    for (auto& worker : m_workers)
        worker.join();
    m_workers.clear();
    for (const Pending& pending : m_queue)
        close(pending.m_fd);
    m_queue.clear();
}

bool RefListener::PollOnce(const RefHandler& handler)
{
    std::vector<pollfd> fds{{m_wakeRead, POLLIN, 0}, {m_listener, POLLIN, 0}};
    fds.reserve(m_reading.size() + 2);
    auto next = Clock::time_point::max();
    for (const Reading& connection : m_reading) {
        fds.push_back({connection.m_fd, POLLIN, 0});
        next = std::min(next, connection.m_deadline);
    }
    const int ready =
        poll(fds.data(), fds.size(), next == Clock::time_point::max() ? -1 : MillisecondsLeft(next));
    if (ready < 0 && errno != EINTR) {
        Log(SystemError("poll"));
        return false;
    }
    if (ready > 0 && fds[0].revents != 0)
        return false;
    const auto now = Clock::now();
    std::vector<Reading> still;
    still.reserve(m_reading.size());
    for (std::size_t i = 0; i < m_reading.size(); ++i) {
        Reading& connection = m_reading[i];
        if (ready > 0 && fds[i + 2].revents != 0 && !ReadSome(connection, handler))
            continue;
        if (now >= connection.m_deadline)
            Dispatch(std::move(connection), true, handler);
        else
            still.push_back(std::move(connection));
    }
    m_reading = std::move(still);
    if (ready > 0 && fds[1].revents != 0)
        AcceptAll(handler);
    return true;
}

void RefListener::AcceptAll(const RefHandler& handler)
{
    for (;;) {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        const int fd =
            accept4(m_listener, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0 && errno == EINTR)
            continue;
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                Log(SystemError("accept"));
                // Give the workers a moment to free descriptors instead of spinning.
                WaitFor(-1, 0, 100);
            }
            return;
        }
        std::string peer = PeerName(address);
        if (m_reading.size() >= m_options.m_maxReading) {
            RefuseBusy(fd, peer, handler);
            continue;
        }
        m_reading.push_back({fd, std::move(peer), RefRequestReader(m_options.m_limits),
                             Clock::now() + std::chrono::milliseconds(m_options.m_readTimeoutMs)});
    }
}

bool RefListener::ReadSome(Reading& connection, const RefHandler& handler)
{
    char buffer[kReadChunk];
    while (connection.m_reader.GetState() == RefRequestReader::kNeedMore) {
        const ssize_t count = recv(connection.m_fd, buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (count <= 0) {
            // A peer that leaves mid-request gets nothing; say how far it got.
            Log(connection.m_peer + " - closed by the peer after " +
                std::to_string(connection.m_reader.GetReceived()) + " bytes" +
                (count < 0 ? " (" + std::string(std::strerror(errno)) + ")" : std::string()));
            close(connection.m_fd);
            return false;
        }
        connection.m_reader.Feed(std::string_view(buffer, static_cast<std::size_t>(count)));
    }
    Dispatch(std::move(connection), false, handler);
    return false;
}

void RefListener::Dispatch(Reading&& connection, bool timedOut, const RefHandler& handler)
{
    {
        std::lock_guard lock(m_lock);
        if (m_queue.size() < m_options.m_maxQueued) {
            m_queue.push_back(
                {connection.m_fd, std::move(connection.m_peer), std::move(connection.m_reader), timedOut});
            m_ready.notify_one();
            return;
        }
    }
    RefuseBusy(connection.m_fd, connection.m_peer, handler);
}

void RefListener::RefuseBusy(int fd, const std::string& peer, const RefHandler& handler)
{
    const RefReply busy = handler.Refuse({503, "Too many connections; try again shortly."});
    const std::string bytes = busy.Bytes();
    [[maybe_unused]] const auto sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    close(fd);
    Log(peer + " - 503 busy");
}

void RefListener::WorkerLoop(const RefHandler& handler)
{
    while (true) {
        Pending pending;
        {
            std::unique_lock lock(m_lock);
            m_ready.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            pending = std::move(m_queue.front());
            m_queue.pop_front();
        }
        Serve(pending, handler);
        close(pending.m_fd);
    }
}

RefReply RefListener::Answer(const Pending& connection, const RefHandler& handler, std::string& line) const
{
    line = "-";
    if (connection.m_timedOut)
        return handler.Refuse({408, "The request did not arrive in time."});
    if (connection.m_reader.GetState() == RefRequestReader::kFailed)
        return handler.Refuse(connection.m_reader.GetError());
    const RefRequest& request = connection.m_reader.GetRequest();
    // The path only: queries can carry passwords.
    line = Excerpt(request.m_method, 10) + " " + Excerpt(request.m_path, 100);
    return handler.Handle(request);
}

void RefListener::Serve(const Pending& connection, const RefHandler& handler)
{
    std::string requestLine;
    const RefReply reply = Answer(connection, handler, requestLine);
    const bool sent = SendAll(connection.m_fd, reply.Bytes());
    Log(connection.m_peer + " \"" + requestLine + "\" " + std::to_string(reply.m_status) + " " +
        std::to_string(reply.m_body.size()) + " " + reply.m_note + (sent ? "" : " (reply not delivered)"));
    if (sent)
        Linger(connection.m_fd);
}

bool RefListener::SendAll(int fd, const std::string& bytes)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_options.m_writeTimeoutMs);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (count > 0) {
            done += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN)
            return false;
        if (WaitFor(fd, POLLOUT, MillisecondsLeft(deadline)) != Wait::kReady)
            return false;
    }
    return true;
}

void RefListener::Linger(int fd)
{
    shutdown(fd, SHUT_WR);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kLingerMs);
    char buffer[kReadChunk];
    std::size_t drained = 0;
    while (drained < kLingerBytes && WaitFor(fd, POLLIN, MillisecondsLeft(deadline)) == Wait::kReady) {
        const ssize_t count = recv(fd, buffer, sizeof buffer, 0);
        if (count < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (count <= 0)
            return;
        drained += static_cast<std::size_t>(count);
    }
}

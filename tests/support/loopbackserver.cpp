#include "tests/support/loopbackserver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr auto kRequestWait = std::chrono::seconds(10);

std::string LowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The end of the request head and the body length it announces, once the
// whole head is there.
bool FindHeadEnd(const std::string& bytes, std::size_t& headEnd, std::size_t& bodyLength)
{
    std::size_t end = bytes.find("\r\n\r\n");
    std::size_t skip = 4;
    const std::size_t bare = bytes.find("\n\n");
    if (bare != std::string::npos && (end == std::string::npos || bare < end)) {
        end = bare;
        skip = 2;
    }
    if (end == std::string::npos)
        return false;
    headEnd = end + skip;
    bodyLength = 0;
    const std::string head = LowerCase(bytes.substr(0, end));
    const auto at = head.find("\ncontent-length:");
    if (at != std::string::npos)
        bodyLength = std::strtoul(head.c_str() + at + 16, nullptr, 10);
    return true;
}

// False when the client went away; what it got is what the test sees.
bool SendAllBytes(int fd, std::string_view bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

} // namespace

int LoopbackListener(int backlog, uint16_t& port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        const std::string error = std::strerror(errno);
        close(fd);
        throw std::runtime_error("cannot listen on 127.0.0.1: " + error);
    }
    port = ntohs(address.sin_port);
    return fd;
}

HttpReply HttpReply::Ok(std::string body, std::string contentType)
{
    HttpReply reply;
    reply.m_headers.emplace_back("Content-Type", std::move(contentType));
    reply.m_body = std::move(body);
    return reply;
}

std::string HttpReply::Head() const
{
    std::string head = m_statusLine + "\r\n";
    for (const auto& [name, value] : m_headers)
        head.append(name).append(": ").append(value).append("\r\n");
    if (m_contentLength)
        head.append("Content-Length: ").append(std::to_string(m_body.size())).append("\r\n");
    return head + "\r\n";
}

ServerScript& ServerScript::ReadRequest()
{
    m_steps.push_back({Action::kReadRequest, {}, {}});
    return *this;
}

ServerScript& ServerScript::Send(std::string bytes)
{
    m_steps.push_back({Action::kSend, std::move(bytes), {}});
    return *this;
}

ServerScript& ServerScript::Pause(std::chrono::milliseconds duration)
{
    m_steps.push_back({Action::kPause, {}, duration});
    return *this;
}

ServerScript& ServerScript::Trickle(std::string bytes, std::chrono::milliseconds interval)
{
    m_steps.push_back({Action::kTrickle, std::move(bytes), interval});
    return *this;
}

ServerScript& ServerScript::Hold()
{
    m_steps.push_back({Action::kHold, {}, {}});
    return *this;
}

ServerScript& ServerScript::Reset()
{
    m_steps.push_back({Action::kReset, {}, {}});
    return *this;
}

ServerScript ServerScript::Answer(const HttpReply& reply)
{
    ServerScript script;
    script.ReadRequest().Send(reply.Bytes());
    return script;
}

ServerScript ServerScript::Silent()
{
    ServerScript script;
    script.ReadRequest().Hold();
    return script;
}

ServerScript ServerScript::StatusLineOnly()
{
    ServerScript script;
    script.ReadRequest().Send("HTTP/1.0 200 OK\r\n").Hold();
    return script;
}

ServerScript ServerScript::TrickledBody(const HttpReply& reply, std::chrono::milliseconds interval)
{
    ServerScript script;
    script.ReadRequest().Send(reply.Head()).Trickle(reply.m_body, interval);
    return script;
}

namespace HostileReply {

HttpReply DeepNesting(const std::string& root, std::size_t levels)
{
    std::string body = "<" + root + ">";
    for (std::size_t i = 0; i < levels; ++i)
        body += "<a>";
    for (std::size_t i = 0; i < levels; ++i)
        body += "</a>";
    return HttpReply::Ok(body + "</" + root + ">");
}

HttpReply EntityBomb(const std::string& root)
{
    std::string doctype = "<!DOCTYPE " + root + " [<!ENTITY e0 'boom'>";
    for (int level = 1; level <= 9; ++level) {
        doctype += "<!ENTITY e" + std::to_string(level) + " '";
        for (int i = 0; i < 10; ++i)
            doctype += "&e" + std::to_string(level - 1) + ";";
        doctype += "'>";
    }
    return HttpReply::Ok(doctype + "]><" + root + ">&e9;</" + root + ">");
}

HttpReply ExternalEntity(const std::string& root)
{
    return HttpReply::Ok("<!DOCTYPE " + root + " [<!ENTITY secret SYSTEM 'file:///etc/passwd'>]><" + root +
                         ">&secret;</" + root + ">");
}

HttpReply NulBytes(const std::string& root)
{
    return HttpReply::Ok("<" + root + ">" + std::string(4, '\0') + "</" + root + ">");
}

HttpReply NegativeLength(const std::string& body)
{
    HttpReply reply = HttpReply::Ok(body);
    reply.m_contentLength = false;
    reply.m_headers.emplace_back("Content-Length", "-5");
    return reply;
}

} // namespace HostileReply

struct LoopbackHttpServer::Connection {
    int m_fd = -1;
    std::size_t m_index = 0;
    std::thread m_thread;
    bool m_finished = false;
};

LoopbackHttpServer::LoopbackHttpServer(ServerScript defaultScript, uint16_t port)
    : m_port(port), m_default(std::move(defaultScript))
{
    m_listener = LoopbackListener(SOMAXCONN, m_port);
    int wake[2];
    if (pipe2(wake, O_CLOEXEC) != 0) {
        close(m_listener);
        throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
    }
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];
    m_acceptThread = std::thread(&LoopbackHttpServer::AcceptLoop, this);
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    Stop();
    close(m_wakeRead);
    close(m_wakeWrite);
}

void LoopbackHttpServer::Enqueue(ServerScript script)
{
    std::lock_guard guard(m_lock);
    m_queue.push_back(std::move(script));
}

void LoopbackHttpServer::SetDefault(ServerScript script)
{
    std::lock_guard guard(m_lock);
    m_default = std::move(script);
}

std::string LoopbackHttpServer::Address() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

std::string LoopbackHttpServer::Url(std::string_view path) const
{
    return "http://" + Address() + std::string(path);
}

std::size_t LoopbackHttpServer::ConnectionCount() const
{
    std::lock_guard guard(m_lock);
    return m_received.size();
}

std::vector<std::string> LoopbackHttpServer::Requests() const
{
    std::lock_guard guard(m_lock);
    return m_received;
}

std::string LoopbackHttpServer::WaitForRequest(std::size_t index, std::chrono::milliseconds timeout) const
{
    std::unique_lock guard(m_lock);
    const bool read = m_changed.wait_for(
        guard, timeout, [&] { return index < m_requestRead.size() && m_requestRead[index]; });
    return read ? m_received[index] : std::string();
}

void LoopbackHttpServer::Stop()
{
    {
        std::lock_guard guard(m_lock);
        if (m_stopped)
            return;
        m_stopped = true;
    }
    const char byte = 0;
    (void)!write(m_wakeWrite, &byte, 1);
    m_acceptThread.join();
    close(m_listener);
    for (auto& connection : m_connections)
        connection->m_thread.join();
    m_connections.clear();
}

void LoopbackHttpServer::AcceptLoop()
{
    pollfd waits[2] = {{m_listener, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
    for (;;) {
        if (poll(waits, 2, -1) < 0 && errno != EINTR)
            return;
        if (waits[1].revents)
            return;
        if (!(waits[0].revents & POLLIN))
            continue;
        const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ReapFinished();
        std::lock_guard guard(m_lock);
        ServerScript script = m_queue.empty() ? m_default : m_queue.front();
        if (!m_queue.empty())
            m_queue.pop_front();
        auto connection = std::make_unique<Connection>();
        connection->m_fd = fd;
        connection->m_index = m_received.size();
        m_received.emplace_back();
        m_requestRead.push_back(false);
        Connection& started = *connection;
        m_connections.push_back(std::move(connection));
        started.m_thread =
            std::thread([this, &started, script = std::move(script)] { Serve(started, script); });
    }
}

void LoopbackHttpServer::ReapFinished()
{
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard guard(m_lock);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            auto next = std::next(it);
            if ((*it)->m_finished)
                finished.splice(finished.end(), m_connections, it);
            it = next;
        }
    }
    for (auto& connection : finished)
        connection->m_thread.join();
}

void LoopbackHttpServer::Serve(Connection& connection, const ServerScript& script)
{
    bool reset = false;
    for (const auto& step : script.Steps()) {
        if (step.m_action == ServerScript::Action::kReadRequest && !ReadRequest(connection))
            break;
        if (step.m_action == ServerScript::Action::kSend)
            SendAllBytes(connection.m_fd, step.m_bytes);
        if (step.m_action == ServerScript::Action::kPause && WaitReadable(m_wakeRead, step.m_duration))
            break;
        if (step.m_action == ServerScript::Action::kTrickle && !Trickle(connection, step))
            break;
        if (step.m_action == ServerScript::Action::kHold)
            Hold(connection);
        if (step.m_action == ServerScript::Action::kReset)
            reset = true;
    }
    if (reset) {
        const linger abortive{1, 0};
        setsockopt(connection.m_fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
    close(connection.m_fd);
    std::lock_guard guard(m_lock);
    m_requestRead[connection.m_index] = true;
    connection.m_finished = true;
    m_changed.notify_all();
}

bool LoopbackHttpServer::Trickle(Connection& connection, const ServerScript::Step& step)
{
    for (std::size_t i = 0; i < step.m_bytes.size(); ++i) {
        if (!SendAllBytes(connection.m_fd, std::string_view(step.m_bytes).substr(i, 1)))
            return false;
        if (WaitReadable(m_wakeRead, step.m_duration))
            return false;
    }
    return true;
}

bool LoopbackHttpServer::WaitReadable(int fd, std::chrono::milliseconds timeout) const
{
    pollfd waits[2] = {{fd, POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
    const int ready = poll(waits, fd == m_wakeRead ? 1 : 2, static_cast<int>(timeout.count()));
    return ready > 0 && waits[0].revents != 0;
}

void LoopbackHttpServer::Record(Connection& connection, const char* bytes, std::size_t count,
                                bool requestDone)
{
    std::lock_guard guard(m_lock);
    m_received[connection.m_index].append(bytes, count);
    if (requestDone)
        m_requestRead[connection.m_index] = true;
    m_changed.notify_all();
}

bool LoopbackHttpServer::ReadRequest(Connection& connection)
{
    std::string bytes;
    std::size_t headEnd = 0;
    std::size_t bodyLength = 0;
    const auto deadline = std::chrono::steady_clock::now() + kRequestWait;
    char buffer[16384];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitReadable(connection.m_fd, left))
            return false;
        const ssize_t count = recv(connection.m_fd, buffer, sizeof buffer, 0);
        if (count <= 0)
            return false;
        bytes.append(buffer, static_cast<std::size_t>(count));
        const bool complete = FindHeadEnd(bytes, headEnd, bodyLength) && bytes.size() >= headEnd + bodyLength;
        Record(connection, buffer, static_cast<std::size_t>(count), complete);
        if (complete)
            return true;
    }
}

void LoopbackHttpServer::Hold(Connection& connection)
{
    char buffer[16384];
    while (WaitReadable(connection.m_fd, std::chrono::hours(1))) {
        const ssize_t count = recv(connection.m_fd, buffer, sizeof buffer, 0);
        if (count <= 0)
            return;
        Record(connection, buffer, static_cast<std::size_t>(count));
    }
}

uint16_t UnusedLoopbackPort()
{
    uint16_t port = 0;
    close(LoopbackListener(1, port));
    return port;
}

FullBacklogListener::FullBacklogListener()
{
    m_listener = LoopbackListener(0, m_port);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(m_port);
    // Connect until one connection hangs: from then on the queue is full.
    for (int attempt = 0; attempt < 64; ++attempt) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        m_fillers.push_back(fd);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            continue;
        pollfd wait{fd, POLLOUT, 0};
        if (poll(&wait, 1, 200) == 0) {
            // One more, in case that one was only slow and gets in after all.
            const int extra = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            connect(extra, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_fillers.push_back(extra);
            return;
        }
    }
    throw std::runtime_error("the listen queue never filled up");
}

FullBacklogListener::~FullBacklogListener()
{
    for (int fd : m_fillers)
        close(fd);
    close(m_listener);
}

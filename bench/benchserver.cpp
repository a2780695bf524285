#include "bench/benchserver.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// True once `bytes` holds a whole request: head and announced body.
bool RequestComplete(const std::string& bytes)
{
    const auto end = bytes.find("\r\n\r\n");
    if (end == std::string::npos)
        return false;
    std::size_t length = 0;
    for (const char* name : {"\r\nContent-Length:", "\r\ncontent-length:"}) {
        const auto at = bytes.find(name);
        if (at != std::string::npos && at < end)
            length = std::strtoul(bytes.c_str() + at + std::strlen(name), nullptr, 10);
    }
    return bytes.size() >= end + 4 + length;
}

} // namespace

BenchServer::BenchServer(uint16_t port, std::size_t replyBodySize)
{
    const std::string body = "<?xml version=\"1.0\"?>\n<XSPLIT>" +
                             std::string(replyBodySize > 40 ? replyBodySize - 40 : 0, 'x') + "</XSPLIT>\n";
    m_reply = "HTTP/1.0 200 OK\r\nServer: bench\r\nContent-Type: text/xml\r\nContent-Length: " +
              std::to_string(body.size()) + "\r\n\r\n" + body;

    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t size = sizeof address;
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(m_listener, 128) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error(std::string("cannot listen: ") + std::strerror(errno));
    m_port = ntohs(address.sin_port);
    if (port == 0)
        m_thread = std::thread(&BenchServer::Loop, this);
}

BenchServer::~BenchServer()
{
    m_stop = true;
    shutdown(m_listener, SHUT_RDWR);
    if (m_thread.joinable())
        m_thread.join();
    close(m_listener);
}

void BenchServer::ServeForever()
{
    Loop();
}

void BenchServer::Loop()
{
    while (!m_stop) {
        pollfd wait{m_listener, POLLIN, 0};
        if (poll(&wait, 1, 200) <= 0)
            continue;
        const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ServeOne(fd);
        close(fd);
    }
}

void BenchServer::ServeOne(int fd) const
{
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string request;
    char buffer[8192];
    while (!RequestComplete(request)) {
        const ssize_t count = recv(fd, buffer, sizeof buffer, 0);
        if (count <= 0)
            return;
        request.append(buffer, static_cast<std::size_t>(count));
    }
    std::size_t sent = 0;
    while (sent < m_reply.size()) {
        const ssize_t count = send(fd, m_reply.data() + sent, m_reply.size() - sent, MSG_NOSIGNAL);
        if (count <= 0)
            return;
        sent += static_cast<std::size_t>(count);
    }
    // Let the client see the close only after reading everything: wait for
    // its own close instead of resetting unread bytes away.
    shutdown(fd, SHUT_WR);
    pollfd wait{fd, POLLIN, 0};
    while (poll(&wait, 1, 1000) > 0 && recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
}

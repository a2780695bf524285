#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

// An HTTP reply to script: status line, headers and body. Bytes() adds
// "Content-Length" unless told not to.
struct HttpReply {
    std::string m_statusLine = "HTTP/1.0 200 OK";
    std::vector<std::pair<std::string, std::string>> m_headers;
    std::string m_body;
    bool m_contentLength = true;

    static HttpReply Ok(std::string body, std::string contentType = "text/xml");
    // The status line, the headers and the empty line.
    std::string Head() const;
    std::string Bytes() const { return Head() + m_body; }
};

// Replies of a hostile server, each of which a client must refuse with a
// word rather than take as an empty answer. `root` is the element the
// exchange expects ("XSPLIT", ...).
namespace HostileReply {
// `levels` elements nested inside the root.
HttpReply DeepNesting(const std::string& root, std::size_t levels);
// Entities declared in the DOCTYPE, each expanding to ten of the one before.
HttpReply EntityBomb(const std::string& root);
// An entity that names a file of the machine.
HttpReply ExternalEntity(const std::string& root);
// NUL bytes as the root's text.
HttpReply NulBytes(const std::string& root);
// A good reply with "Content-Length: -5" in place of its length.
HttpReply NegativeLength(const std::string& body);
} // namespace HostileReply

// What the server does on one connection, step by step. The connection is
// closed after the last step.
class ServerScript {
public:
    enum class Action { kReadRequest, kSend, kPause, kTrickle, kHold, kReset };
    struct Step {
        Action m_action;
        std::string m_bytes;
        std::chrono::milliseconds m_duration{0};
    };

    // Reads one request: its head and as many body bytes as its
    // "Content-Length" says (waiting at most 10 s).
    ServerScript& ReadRequest();
    ServerScript& Send(std::string bytes);
    // Waits without reading; stopping the server cuts the wait short.
    ServerScript& Pause(std::chrono::milliseconds duration);
    // Sends one byte every `interval`: a peer that is never quite silent.
    // Stops when the client goes or the server stops.
    ServerScript& Trickle(std::string bytes, std::chrono::milliseconds interval);
    // Keeps the connection open, reading and recording, until the peer
    // closes it or the server stops.
    ServerScript& Hold();
    // Ends the connection with a reset instead of an orderly close.
    ServerScript& Reset();

    // Reads the request and sends `reply`.
    static ServerScript Answer(const HttpReply& reply);
    // Reads the request and then says nothing.
    static ServerScript Silent();
    // Reads the request, sends a status line and says nothing more.
    static ServerScript StatusLineOnly();
    // Reads the request, sends the head of `reply` and then its body a
    // byte every `interval`.
    static ServerScript TrickledBody(const HttpReply& reply, std::chrono::milliseconds interval);

    const std::vector<Step>& Steps() const { return m_steps; }

private:
    std::vector<Step> m_steps;
};

// A server on 127.0.0.1, on an ephemeral port unless given one. Each connection takes the
// next queued script (or the default one) and runs on a thread of its own;
// the bytes each connection received are kept in order of arrival.
class LoopbackHttpServer {
public:
    // Throws std::runtime_error when it cannot listen.
    explicit LoopbackHttpServer(ServerScript defaultScript = ServerScript::Answer(HttpReply::Ok("")),
                                uint16_t port = 0);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    void Enqueue(ServerScript script);
    void SetDefault(ServerScript script);

    uint16_t Port() const { return m_port; }
    // "127.0.0.1:port".
    std::string Address() const;
    // "http://127.0.0.1:port" followed by `path`.
    std::string Url(std::string_view path = "/") const;

    std::size_t ConnectionCount() const;
    // The bytes received on every connection so far.
    std::vector<std::string> Requests() const;
    // The bytes of connection `index` once its request was read (or the
    // connection ended); empty when that takes longer than `timeout`.
    std::string WaitForRequest(std::size_t index,
                               std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // Closes the listener and ends every connection; also done on destruction.
    void Stop();

private:
    struct Connection;

    void AcceptLoop();
    void Serve(Connection& connection, const ServerScript& script);
    bool ReadRequest(Connection& connection);
    void Hold(Connection& connection);
    // False when the client went away or the server stopped.
    bool Trickle(Connection& connection, const ServerScript::Step& step);
    // Waits for the socket to be readable or the server to stop.
    bool WaitReadable(int fd, std::chrono::milliseconds timeout) const;
    void Record(Connection& connection, const char* bytes, std::size_t count, bool requestDone = false);
    void ReapFinished();

    int m_listener = -1;
    uint16_t m_port = 0;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::thread m_acceptThread;

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::deque<ServerScript> m_queue;
    ServerScript m_default;
    std::list<std::unique_ptr<Connection>> m_connections;
    std::vector<std::string> m_received;
    std::vector<bool> m_requestRead;
    bool m_stopped = false;
};

// A listening socket on 127.0.0.1 at `port`, or at a free port when it is
// 0; `port` is set to the one taken. Throws std::runtime_error on failure.
int LoopbackListener(int backlog, uint16_t& port);

// A port on 127.0.0.1 where nothing listens (it was free a moment ago).
uint16_t UnusedLoopbackPort();

// A listener whose queue is full, so that a further connect to it neither
// succeeds nor is refused and can only time out.
class FullBacklogListener {
public:
    FullBacklogListener();
    ~FullBacklogListener();
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;

    uint16_t Port() const { return m_port; }

private:
    int m_listener = -1;
    uint16_t m_port = 0;
    std::vector<int> m_fillers;
};

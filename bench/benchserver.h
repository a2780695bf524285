#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// The far end of the HTTP benchmark: one thread on 127.0.0.1 that reads
// each request (head and Content-Length body), answers with a text/xml
// reply of a fixed size and closes, HTTP/1.0 style.
class BenchServer {
public:
    BenchServer(uint16_t port, std::size_t replyBodySize);
    ~BenchServer();
    BenchServer(const BenchServer&) = delete;
    BenchServer& operator=(const BenchServer&) = delete;

    uint16_t Port() const { return m_port; }
    // Serves on the calling thread until the process ends.
    void ServeForever();

private:
    void Loop();
    void ServeOne(int fd) const;

    int m_listener = -1;
    uint16_t m_port = 0;
    std::string m_reply;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

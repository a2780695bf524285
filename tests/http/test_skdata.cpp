#include "tst/socket/skdata.h"

#include "tests/support/loopbackserver.h"
#include "tst/socket/skexcep.h"
#include "tst/tsexcep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(TSDataSocket, SetAddressRejectsTextThatIsNotHostColonPort)
{
    for (const char* text : {"localhost", ":80", "localhost:", "localhost:8o", "host:-1", "host:99999", ""}) {
        TSClientSocket socket;
        try {
            socket->SetAddress(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const TSSocketException& error) {
            EXPECT_EQ(error.GetCode(), TSSocketException::kInvalidAddress) << text;
            EXPECT_EQ(error.GetMessage(), *text ? std::string("TSSocketException: Invalid address: ") + text
                                                : std::string("TSSocketException: Invalid address"));
        }
    }
    TSClientSocket socket;
    socket->SetAddress("example.org:8080");
    EXPECT_EQ(socket->GetHost(), "example.org");
    EXPECT_EQ(socket->GetPort(), 8080);
    EXPECT_EQ(socket->GetAddressText(), "example.org:8080");
    EXPECT_EQ(socket->GetLookupState(), TSDataSocket::kNotLookedUp);
    socket->SetAddress("h:000065535");
    EXPECT_EQ(socket->GetPort(), 65535);
}

TEST(TSDataSocket, ExceptionTextsAndErrorNumbers)
{
    EXPECT_EQ(TSSocketException(TSSocketException::kNotConnected).GetMessage(),
              "TSSocketException: Not open or connected");
    EXPECT_EQ(TSSocketException(TSSocketException::kSocketError, "10054").GetMessage(),
              "TSSocketException: Socket error code: 10054");
    EXPECT_EQ(TSSocketException(TSSocketException::kLibraryMessage, "Name or service not known").GetMessage(),
              "TSSocketException: Name or service not known");
    EXPECT_EQ(TSSocketErrorNumber(EWOULDBLOCK), 10035);
    EXPECT_EQ(TSSocketErrorNumber(EINPROGRESS), 10036);
    EXPECT_EQ(TSSocketErrorNumber(ECONNABORTED), 10053);
    EXPECT_EQ(TSSocketErrorNumber(ECONNRESET), 10054);
    EXPECT_EQ(TSSocketErrorNumber(ECONNREFUSED), 10061);
}

TEST(TSDataSocket, CloneIsAProgrammingError)
{
    TSClientSocket socket;
    EXPECT_THROW(socket->Clone(), TSInternalError);
    TSClientSocket shared(socket);
    EXPECT_EQ(&*shared, &*socket);
}

TEST(TSDataSocket, ResolveAndConnectFailures)
{
    TSClientSocket socket;
    EXPECT_EQ(socket->Resolve(), kSocketFailed) << "no host yet";

    socket->SetAddress("no-such-host.invalid:80");
    EXPECT_EQ(socket->Resolve(), kSocketFailed);
    EXPECT_EQ(socket->GetLookupState(), TSDataSocket::kLookupFailed);
    try {
        socket->Connect(5);
        ADD_FAILURE() << "connected to an unknown host";
    } catch (const TSSocketException& error) {
        EXPECT_EQ(error.GetMessage(), "TSSocketException: Invalid address: no-such-host.invalid:80");
    }

    socket->SetAddress("127.0.0.1:" + std::to_string(UnusedLoopbackPort()));
    EXPECT_EQ(socket->Connect(5), kSocketFailed);
    EXPECT_EQ(socket->GetLastError(), 10061);
    EXPECT_FALSE(socket->IsConnected());

    FullBacklogListener full;
    socket->SetAddress("127.0.0.1:" + std::to_string(full.Port()));
    EXPECT_EQ(socket->Connect(1), kSocketTimedOut);
    EXPECT_FALSE(socket->IsConnected());

    std::string out;
    EXPECT_THROW(socket->Receive(out, 1), TSSocketException);
    std::size_t sent = 0;
    EXPECT_THROW(socket->Send("x", 1, 1, sent), TSSocketException);
}

TEST(TSDataSocket, LocalhostResolvesToLoopback)
{
    LoopbackHttpServer server;
    server.SetDefault(ServerScript().Send("hello"));
    TSClientSocket socket;
    socket->SetAddress("localhost:" + std::to_string(server.Port()));
    ASSERT_EQ(socket->Connect(5), kSocketDone);
    std::string out;
    EXPECT_EQ(socket->ReceiveExactly(out, 5, 5), kSocketDone);
    EXPECT_EQ(out, "hello");
}

class ConnectedSocket : public ::testing::Test {
protected:
    void Open(ServerScript script)
    {
        m_server.Enqueue(std::move(script));
        m_socket->SetAddress(m_server.Address());
        ASSERT_EQ(m_socket->Connect(5), kSocketDone);
        ASSERT_TRUE(m_socket->IsConnected());
    }

    LoopbackHttpServer m_server;
    TSClientSocket m_socket;
};

TEST_F(ConnectedSocket, ReceiveExactlyKeepsTheRestForTheNextCall)
{
    ASSERT_NO_FATAL_FAILURE(Open(ServerScript().Send("0123456789").Hold()));
    std::string out;
    ASSERT_EQ(m_socket->ReceiveExactly(out, 1, 5), kSocketDone);
    EXPECT_EQ(out, "0");
    // The other nine arrived with the first read and wait in the buffer.
    EXPECT_EQ(m_socket->GetBufferedCount(), 9u);
    ASSERT_EQ(m_socket->ReceiveAny(out, 5), kSocketDone);
    EXPECT_EQ(out, "123456789");
    EXPECT_EQ(m_socket->GetBufferedCount(), 0u);
}

TEST_F(ConnectedSocket, ReadLineStripsOnRequest)
{
    ASSERT_NO_FATAL_FAILURE(Open(ServerScript().Send("one\r\ntwo\r\nthree\n\nrest")));
    std::string line;
    ASSERT_EQ(m_socket->ReadLine(line, 5, false, false), kSocketDone);
    EXPECT_EQ(line, "one\r\n");
    ASSERT_EQ(m_socket->ReadLine(line, 5, true, false), kSocketDone);
    EXPECT_EQ(line, "two\r");
    ASSERT_EQ(m_socket->ReadLine(line, 5, true, true), kSocketDone);
    EXPECT_EQ(line, "three");
    ASSERT_EQ(m_socket->ReceiveThrough(line, '\n', 5), kSocketDone);
    EXPECT_EQ(line, "\n");
    // No line end before the peer closes.
    EXPECT_EQ(m_socket->ReadLine(line, 5, true, true), kSocketClosed);
    EXPECT_FALSE(m_socket->IsConnected());
    EXPECT_THROW(m_socket->Receive(line, 1), TSSocketException);
}

TEST_F(ConnectedSocket, ReceiveThroughStopsAtItsLimit)
{
    ASSERT_NO_FATAL_FAILURE(Open(ServerScript().Send(std::string(10000, 'x')).Hold()));
    std::string out;
    EXPECT_EQ(m_socket->ReceiveThrough(out, '\n', 5, 4096), kSocketFailed);
    EXPECT_EQ(m_socket->GetLastError(), TSSocketErrorNumber(EMSGSIZE));
    EXPECT_TRUE(m_socket->IsConnected());
}

TEST_F(ConnectedSocket, TimeoutsOfZeroAndOfOneSecond)
{
    ASSERT_NO_FATAL_FAILURE(Open(ServerScript().Hold()));
    std::string out;
    EXPECT_EQ(m_socket->Receive(out, 0), kSocketTimedOut);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_socket->ReceiveAny(out, 1), kSocketTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);
}

TEST_F(ConnectedSocket, CancelEndsALongWaitWithinAboutASecond)
{
    ASSERT_NO_FATAL_FAILURE(Open(ServerScript().Hold()));
    auto waiting = std::async(std::launch::async, [&] {
        std::string out;
        return m_socket->Receive(out, 30);
    });
    std::this_thread::sleep_for(200ms);
    const auto cancelled = std::chrono::steady_clock::now();
    m_socket->SetCancel(true);
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(waiting.get(), kSocketCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, 3s);

    // While the flag stays set every wait says so at once.
    std::string out;
    EXPECT_EQ(m_socket->Receive(out, 30), kSocketCancelled);
    m_socket->SetCancel(false);
    EXPECT_EQ(m_socket->Receive(out, 0), kSocketTimedOut);
}

TEST_F(ConnectedSocket, SendToAPeerThatResetReportsClosed)
{
    // The server resets once it has a request, so the connection is up first.
    ASSERT_NO_FATAL_FAILURE(Open(ServerScript().ReadRequest().Reset()));
    const std::string request = "GET / HTTP/1.0\r\n\r\n";
    ASSERT_EQ(m_socket->SendAll(request.data(), request.size(), 5), kSocketDone);
    ASSERT_FALSE(m_server.WaitForRequest(0).empty());
    // The reset may still be on its way; keep sending.
    const std::string block(64 * 1024, 'y');
    int32_t result = kSocketDone;
    for (int round = 0; round < 200 && result == kSocketDone; ++round) {
        result = m_socket->SendAll(block.data(), block.size(), 5);
        if (result == kSocketDone)
            std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(result, kSocketClosed);
    EXPECT_FALSE(m_socket->IsConnected());
}

TEST_F(ConnectedSocket, SendAllTimesOutWhenThePeerDoesNotRead)
{
    ASSERT_NO_FATAL_FAILURE(Open(ServerScript().Pause(30s)));
    const std::string block(1024 * 1024, 'z');
    int32_t result = kSocketDone;
    for (int round = 0; round < 256 && result == kSocketDone; ++round)
        result = m_socket->SendAll(block.data(), block.size(), 1);
    EXPECT_EQ(result, kSocketTimedOut);
    EXPECT_TRUE(m_socket->IsConnected());
}

// A peer that takes what comes at a slow, steady pace (one read of its
// small receive buffer every 10 ms, a few MB a second) and stops reading
// for good once it has `stopAfter` bytes.
class SlowReader {
public:
    explicit SlowReader(std::size_t stopAfter)
        : m_stopAfter(stopAfter), m_listener(LoopbackListener(1, m_port))
    {
        // Before anyone connects, so the accepted connection takes it over.
        const int small = 64 * 1024;
        setsockopt(m_listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        m_thread = std::thread([this] { Serve(); });
    }
    ~SlowReader()
    {
        m_stop = true;
        m_thread.join();
        close(m_listener);
    }
    SlowReader(const SlowReader&) = delete;
    SlowReader& operator=(const SlowReader&) = delete;

    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    void Serve()
    {
        pollfd ready{m_listener, POLLIN, 0};
        while (!m_stop && poll(&ready, 1, 50) <= 0) {
        }
        const int peer = m_stop ? -1 : accept(m_listener, nullptr, nullptr);
        std::vector<char> buffer(64 * 1024);
        for (std::size_t received = 0; peer >= 0 && !m_stop;) {
            if (received < m_stopAfter) {
                const ssize_t count = recv(peer, buffer.data(), buffer.size(), MSG_DONTWAIT);
                if (count == 0)
                    break;
                received += static_cast<std::size_t>(std::max<ssize_t>(count, 0));
            }
            std::this_thread::sleep_for(10ms);
        }
        if (peer >= 0)
            close(peer);
    }

    std::size_t m_stopAfter;
    std::uint16_t m_port = 0;
    int m_listener = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST(TSDataSocket, SendChunkedGivesEveryChunkItsOwnTimeOut)
{
    // 16 MB against a reader of a few MB a second outlasts the one-second
    // time-out as a whole, while each 1 MB chunk goes well within it.
    const std::string data(16 * 1024 * 1024, 'c');
    {
        SlowReader reader(data.size());
        TSClientSocket socket;
        socket->SetAddress(reader.Address());
        ASSERT_EQ(socket->Connect(5), kSocketDone);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(socket->SendChunked(data.data(), data.size(), 1024 * 1024, 1), kSocketDone);
        EXPECT_GT(std::chrono::steady_clock::now() - start, 1s) << "the reader did not hold the sender back";
    }
    // A reader that stops leaves the chunk under way without time.
    SlowReader stalling(1024 * 1024);
    TSClientSocket socket;
    socket->SetAddress(stalling.Address());
    ASSERT_EQ(socket->Connect(5), kSocketDone);
    EXPECT_EQ(socket->SendChunked(data.data(), data.size(), 1024 * 1024, 1), kSocketTimedOut);
    EXPECT_TRUE(socket->IsConnected());
}

} // namespace

#include "platform/instance.h"

#include "tests/support/deadsocket.h"
#include "tests/support/scopedenv.h"
#include "tests/support/temphome.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::InstanceFrame;
using platform::InstanceFrameReader;
using platform::InstanceMessage;
using platform::InstanceSendResult;
using platform::InstanceServer;
using Kind = InstanceMessage::Kind;
using Ms = std::chrono::milliseconds;

unsigned Mode(const fs::path& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// A raw connection, for frames the sending side would never make.
class RawConnection {
public:
    explicit RawConnection(const fs::path& path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        timeval timeout{5, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        m_connected = ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawConnection() { ::close(m_fd); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool Connected() const { return m_connected; }
    void Send(const std::string& bytes) { ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // The answer byte, or -1 when the server closed without one.
    int Answer()
    {
        unsigned char byte = 0;
        return ::recv(m_fd, &byte, 1, 0) == 1 ? byte : -1;
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

std::string Header(std::uint32_t length)
{
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<char>((length >> shift) & 0xFF));
    return bytes;
}

// The running client's end, keeping what it was handed.
class InstanceTest : public ::testing::Test {
protected:
    InstanceServer::Options Options(Ms readTimeout = Ms(2000)) const
    {
        InstanceServer::Options options;
        options.readTimeout = readTimeout;
        return options;
    }
    InstanceServer::Handler Recorder()
    {
        return [this](const InstanceMessage& message) {
            std::lock_guard guard(m_lock);
            m_received.push_back(message);
            m_changed.notify_all();
        };
    }
    std::vector<InstanceMessage> Received()
    {
        std::lock_guard guard(m_lock);
        return m_received;
    }
    bool WaitForReceived(std::size_t count)
    {
        std::unique_lock guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::seconds(10),
                                  [&] { return m_received.size() >= count; });
    }

    TempHome m_home;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<InstanceMessage> m_received;
};

TEST_F(InstanceTest, MessagesReachTheRunningClient)
{
    const fs::path socket = m_home.Dir() / "run/lumora/LumoraClientWindowClass";
    EXPECT_EQ(platform::InstanceSocketPath(), socket);
    EXPECT_FALSE(platform::FindRunningClient());
    EXPECT_EQ(platform::SendToRunningClient({Kind::kCommand, 32789, ""}), InstanceSendResult::kNoClient);

    InstanceServer server(Recorder());
    ASSERT_EQ(server.Start(), InstanceServer::StartResult::kListening);
    EXPECT_EQ(Mode(socket.parent_path()), 0700u);
    EXPECT_EQ(Mode(socket), 0600u);
    EXPECT_TRUE(platform::FindRunningClient());

    const std::vector<InstanceMessage> messages = {
        {Kind::kCommand, 32789, ""},
        {Kind::kDataCopy, InstanceMessage::kBarcodeDataBlock,
         std::string("\x05"
                     "B1234\0",
                     7)},
        {Kind::kDataCopy, 7, std::string(InstanceFrame::kMaxData, 'x')},
        {Kind::kCloseRequest, 0, ""},
    };
    for (const auto& message : messages)
        EXPECT_EQ(platform::SendToRunningClient(message), InstanceSendResult::kDelivered);
    ASSERT_TRUE(WaitForReceived(messages.size()));
    EXPECT_EQ(Received(), messages);

    // More than a frame holds is not sent at all.
    EXPECT_EQ(
        platform::SendToRunningClient({Kind::kDataCopy, 7, std::string(InstanceFrame::kMaxData + 1, 'x')}),
        InstanceSendResult::kTooLarge);
    server.Stop();
    EXPECT_FALSE(fs::exists(socket));
    EXPECT_EQ(platform::SendToRunningClient({Kind::kCommand, 32789, ""}), InstanceSendResult::kNoClient);
}

// A live server means another client runs; once it is gone the next one
// takes over.
TEST_F(InstanceTest, OneServerPerUser)
{
    InstanceServer first(Recorder());
    ASSERT_EQ(first.Start(), InstanceServer::StartResult::kListening);
    {
        InstanceServer second([](const InstanceMessage&) {});
        EXPECT_EQ(second.Start(), InstanceServer::StartResult::kOtherInstance);
    }
    // The refused one left the running one's socket alone.
    EXPECT_EQ(platform::SendToRunningClient({Kind::kCommand, 1, ""}), InstanceSendResult::kDelivered);
    first.Stop();
    InstanceServer third(Recorder());
    EXPECT_EQ(third.Start(), InstanceServer::StartResult::kListening);
    EXPECT_EQ(platform::SendToRunningClient({Kind::kCommand, 2, ""}), InstanceSendResult::kDelivered);
    ASSERT_TRUE(WaitForReceived(2));
}

// A client that died left its socket file behind: nobody listens on it, and
// the next start replaces it.
TEST_F(InstanceTest, StaleSocketIsReplaced)
{
    const fs::path socket = platform::InstanceSocketPath();
    LeaveDeadSocket(socket);
    ASSERT_TRUE(fs::is_socket(socket));
    EXPECT_FALSE(platform::FindRunningClient());
    EXPECT_EQ(platform::SendToRunningClient({Kind::kCommand, 32789, ""}), InstanceSendResult::kNoClient);

    InstanceServer server(Recorder());
    ASSERT_EQ(server.Start(), InstanceServer::StartResult::kListening);
    EXPECT_EQ(platform::SendToRunningClient({Kind::kCommand, 32789, ""}), InstanceSendResult::kDelivered);
    ASSERT_TRUE(WaitForReceived(1));
}

// Without XDG_RUNTIME_DIR: a private folder named after the user in the
// temporary folder; one that is not private is made so, one that is not the
// user's own folder is refused.
TEST_F(InstanceTest, FolderWithoutARuntimeDirectory)
{
    ScopedEnv noRuntime("XDG_RUNTIME_DIR", nullptr);
    const fs::path folder = m_home.Dir() / "tmp" / ("lumora-" + std::to_string(::geteuid()));
    EXPECT_EQ(platform::InstanceSocketPath(), folder / "LumoraClientWindowClass");
    const fs::path elsewhere = m_home.Dir() / "elsewhere";
    fs::create_directories(elsewhere);
    struct Case {
        const char* what;
        std::function<void()> prepare;
        InstanceServer::StartResult result;
    };
    const Case cases[] = {
        {"missing", [] {}, InstanceServer::StartResult::kListening},
        {"open to all",
         [&] {
             fs::create_directory(folder);
             fs::permissions(folder, fs::perms::all);
         },
         InstanceServer::StartResult::kListening},
        {"a link", [&] { fs::create_directory_symlink(elsewhere, folder); },
         InstanceServer::StartResult::kFailed},
        {"a file", [&] { std::ofstream(folder) << "x"; }, InstanceServer::StartResult::kFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder);
        c.prepare();
        InstanceServer server(Recorder());
        std::string error;
        EXPECT_EQ(server.Start(&error), c.result) << error;
        if (c.result == InstanceServer::StartResult::kListening) {
            EXPECT_EQ(Mode(folder), 0700u);
            EXPECT_EQ(platform::SendToRunningClient({Kind::kCommand, 32789, ""}),
                      InstanceSendResult::kDelivered);
        } else {
            EXPECT_FALSE(error.empty());
            EXPECT_FALSE(fs::exists(elsewhere / "LumoraClientWindowClass"));
        }
    }
    if (::geteuid() == 0) {
        fs::remove_all(folder);
        fs::create_directory(folder);
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
        InstanceServer server(Recorder());
        std::string error;
        EXPECT_EQ(server.Start(&error), InstanceServer::StartResult::kFailed);
        EXPECT_NE(error.find("another user"), std::string::npos) << error;
    }
}

// Frames the sending side never makes are answered "refused" and handed to
// nobody; an oversize length is refused before any of its body is read.
TEST_F(InstanceTest, BadFramesAreRefused)
{
    InstanceServer server(Recorder());
    ASSERT_EQ(server.Start(), InstanceServer::StartResult::kListening);
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"oversize", Header(InstanceFrame::kMaxBody + 1)},
        {"huge", Header(0xFFFFFFFF)},
        {"too short", Header(4) + std::string("\x01\0\0\0", 4)},
        {"unknown kind", Header(5) + std::string("\x09\0\0\0\0", 5)},
        {"command with data", Header(6) + std::string("\x01\x15\x80\0\0x", 6)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RawConnection connection(server.SocketPath());
        ASSERT_TRUE(connection.Connected());
        connection.Send(c.bytes);
        EXPECT_EQ(connection.Answer(), InstanceFrame::kRefused);
    }
    EXPECT_TRUE(Received().empty());
    EXPECT_EQ(platform::SendToRunningClient({Kind::kCommand, 32789, ""}), InstanceSendResult::kDelivered);
}

// A connection that stops halfway is dropped after the read time-out, and
// the next one is served; stopping does not wait for a stalled one.
TEST_F(InstanceTest, StalledSenderNeverBlocksTheChannel)
{
    InstanceServer server(Recorder(), Options(Ms(300)));
    ASSERT_EQ(server.Start(), InstanceServer::StartResult::kListening);
    RawConnection stalled(server.SocketPath());
    ASSERT_TRUE(stalled.Connected());
    stalled.Send(Header(9) + "\x02");
    EXPECT_EQ(platform::SendToRunningClient({Kind::kCommand, 32789, ""}), InstanceSendResult::kDelivered);
    EXPECT_EQ(stalled.Answer(), -1);
    ASSERT_TRUE(WaitForReceived(1));

    RawConnection another(server.SocketPath());
    another.Send(Header(9));
    const auto before = std::chrono::steady_clock::now();
    server.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, Ms(250));
    EXPECT_EQ(Received().size(), 1u);
}

// Only the same user is heard: a process of another user that reaches the
// socket (its folder and mode opened up for the test) is refused.
TEST_F(InstanceTest, AnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a process as another user";
    InstanceServer server(Recorder());
    ASSERT_EQ(server.Start(), InstanceServer::StartResult::kListening);
    for (fs::path folder = server.SocketPath().parent_path(); folder != folder.root_path();
         folder = folder.parent_path())
        fs::permissions(folder, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
    fs::permissions(server.SocketPath(), fs::perms::all);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(100);
        // The sending side will not talk to another user's client; a raw
        // sender's frame is not answered, and not handed on.
        const auto sent =
            platform::SendToRunningClient({Kind::kCommand, 32789, ""}, Ms(3000), server.SocketPath());
        RawConnection raw(server.SocketPath());
        raw.Send(*InstanceFrame::Encode({Kind::kCommand, 32789, ""}));
        const int answer = raw.Connected() ? raw.Answer() : -2;
        ::_exit((answer + 2) * 10 + static_cast<int>(sent));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 10 + static_cast<int>(InstanceSendResult::kRefused));
    EXPECT_EQ(platform::SendToRunningClient({Kind::kCommand, 1, ""}), InstanceSendResult::kDelivered);
    ASSERT_TRUE(WaitForReceived(1));
    EXPECT_EQ(Received(), (std::vector<InstanceMessage>{{Kind::kCommand, 1, ""}}));
}

// The reader takes a frame in any pieces and nothing past its end.
TEST(InstanceFrameReaderTest, FramesInPieces)
{
    const InstanceMessage message{Kind::kDataCopy, InstanceMessage::kBarcodeDataBlock,
                                  "\x05"
                                  "B1234"};
    const std::string frame = *InstanceFrame::Encode(message);
    EXPECT_EQ(frame.size(), 4u + 5u + 6u);
    for (const std::size_t piece : {std::size_t(1), std::size_t(3), std::size_t(4), frame.size()}) {
        SCOPED_TRACE(piece);
        InstanceFrameReader reader;
        const std::string stream = frame + "trailing";
        std::size_t offset = 0;
        while (reader.GetStatus() == InstanceFrameReader::Status::kIncomplete && offset < stream.size()) {
            std::size_t used = 0;
            reader.Feed(std::string_view(stream).substr(offset, piece), used);
            offset += used;
        }
        ASSERT_EQ(reader.GetStatus(), InstanceFrameReader::Status::kComplete);
        EXPECT_EQ(offset, frame.size());
        EXPECT_EQ(reader.Message(), message);
    }
    InstanceFrameReader refused;
    std::size_t used = 0;
    EXPECT_EQ(refused.Feed(Header(InstanceFrame::kMaxBody + 1) + "x", used),
              InstanceFrameReader::Status::kMalformed);
    EXPECT_EQ(used, 4u);
    EXPECT_FALSE(refused.Error().empty());
}

} // namespace

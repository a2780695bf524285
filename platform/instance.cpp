#include "platform/instance.h"

#include "platform/folders.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kSocketName = "LumoraClientWindowClass";
constexpr const char* kLockSuffix = ".lock";
constexpr std::size_t kReadChunk = 4096;

void PutU32(std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

std::uint32_t GetU32(std::string_view bytes)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(i)]);
    return value;
}

bool SetError(std::string* error, const std::string& text, int number = 0)
{
    if (error)
        *error = number ? text + ": " + std::strerror(number) : text;
    return false;
}

// The socket's folder must be the user's own and private: anyone else who
// could put a socket there could pose as the running client.
bool EnsurePrivateFolder(const fs::path& folder, std::string* error)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return SetError(error, "cannot create " + folder.string(), errno);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0)
        return SetError(error, "cannot read " + folder.string(), errno);
    if (!S_ISDIR(info.st_mode))
        return SetError(error, folder.string() + " is not a folder");
    if (info.st_uid != ::geteuid())
        return SetError(error, folder.string() + " belongs to another user");
    if ((info.st_mode & 07777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
        return SetError(error, "cannot protect " + folder.string(), errno);
    return true;
}

bool MakeAddress(const fs::path& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    const std::string& text = path.native();
    if (text.empty() || text.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return true;
}

bool PeerIsThisUser(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == ::geteuid();
}

void SetTimeouts(int fd, std::chrono::milliseconds timeout)
{
    timeval value{};
    value.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    value.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value);
}

// A connected socket, or -1 with errno set.
int Connect(const fs::path& path, std::chrono::milliseconds timeout)
{
    sockaddr_un address{};
    if (!MakeAddress(path, address)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    SetTimeouts(fd, timeout);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

bool SendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

InstanceServer::StartResult Failed(std::string* error, const std::string& text, int number)
{
    SetError(error, text, number);
    return InstanceServer::StartResult::kFailed;
}

class FdCloser {
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser() { ::close(m_fd); }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

private:
    int m_fd;
};

} // namespace

// Frames

std::optional<std::string> InstanceFrame::Encode(const InstanceMessage& message)
{
    if (message.data.size() > kMaxData)
        return std::nullopt;
    std::string frame;
    frame.reserve(kHeaderSize + kMinBody + message.data.size());
    PutU32(frame, static_cast<std::uint32_t>(kMinBody + message.data.size()));
    frame.push_back(static_cast<char>(message.kind));
    PutU32(frame, message.number);
    frame += message.data;
    return frame;
}

InstanceFrameReader::Status InstanceFrameReader::Feed(std::string_view bytes, std::size_t& used)
{
    used = 0;
    if (m_status != Status::kIncomplete)
        return m_status;
    if (m_bodySize == 0) {
        const std::size_t take = std::min(bytes.size(), InstanceFrame::kHeaderSize - m_buffer.size());
        m_buffer.append(bytes.substr(0, take));
        used = take;
        bytes.remove_prefix(take);
        if (m_buffer.size() < InstanceFrame::kHeaderSize)
            return m_status;
        const std::uint32_t size = GetU32(m_buffer);
        if (size < InstanceFrame::kMinBody || size > InstanceFrame::kMaxBody)
            return Fail("frame length " + std::to_string(size) + " outside " +
                        std::to_string(InstanceFrame::kMinBody) + " to " +
                        std::to_string(InstanceFrame::kMaxBody));
        m_bodySize = size;
        m_buffer.clear();
    }
    const std::size_t take = std::min(bytes.size(), m_bodySize - m_buffer.size());
    m_buffer.append(bytes.substr(0, take));
    used += take;
    return m_buffer.size() == m_bodySize ? Finish() : m_status;
}

InstanceFrameReader::Status InstanceFrameReader::Fail(std::string error)
{
    m_error = std::move(error);
    m_buffer.clear();
    return m_status = Status::kMalformed;
}

InstanceFrameReader::Status InstanceFrameReader::Finish()
{
    const auto kind = static_cast<std::uint8_t>(m_buffer[0]);
    if (kind < static_cast<std::uint8_t>(InstanceMessage::Kind::kCommand) ||
        kind > static_cast<std::uint8_t>(InstanceMessage::Kind::kCloseRequest))
        return Fail("unknown message kind " + std::to_string(kind));
    m_message.kind = static_cast<InstanceMessage::Kind>(kind);
    m_message.number = GetU32(std::string_view(m_buffer).substr(1, 4));
    m_message.data = m_buffer.substr(InstanceFrame::kMinBody);
    if (m_message.kind != InstanceMessage::Kind::kDataCopy && !m_message.data.empty())
        return Fail("only a data copy carries data");
    m_buffer.clear();
    return m_status = Status::kComplete;
}

// Where

fs::path InstanceSocketPath()
{
    fs::path folder = XdgRuntimeDir();
    if (folder.empty())
        return TempFolder() / ("lumora-" + std::to_string(::geteuid())) / kSocketName;
    return folder / "lumora" / kSocketName;
}

// The server

InstanceServer::InstanceServer(Handler handler, Options options)
    : m_handler(std::move(handler)),
      m_socketPath(options.socketPath.empty() ? InstanceSocketPath() : std::move(options.socketPath)),
      m_readTimeout(options.readTimeout)
{
}

InstanceServer::~InstanceServer()
{
    Stop();
}

InstanceServer::StartResult InstanceServer::Start(std::string* error)
{
    if (IsListening())
        return StartResult::kListening;
    sockaddr_un address{};
    if (!MakeAddress(m_socketPath, address))
        return Failed(error, "socket path too long: " + m_socketPath.string(), 0);
    if (!EnsurePrivateFolder(m_socketPath.parent_path(), error))
        return StartResult::kFailed;
    // The lock is held for as long as this server runs: whoever holds it is
    // the running client, and a socket left without it is a dead one's.
    const fs::path lockPath = m_socketPath.string() + kLockSuffix;
    m_lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lockFd < 0)
        return Failed(error, "cannot open " + lockPath.string(), errno);
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        const int saved = errno;
        CloseAll();
        if (saved == EWOULDBLOCK)
            return StartResult::kOtherInstance;
        return Failed(error, "cannot lock " + lockPath.string(), saved);
    }
    if (FindRunningClient(m_socketPath)) {
        CloseAll();
        return StartResult::kOtherInstance;
    }
    ::unlink(m_socketPath.c_str());
    m_listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_listenFd < 0 || m_wakeFd < 0 ||
        ::bind(m_listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(m_socketPath.c_str(), 0600) != 0 || ::listen(m_listenFd, 16) != 0) {
        const int saved = errno;
        CloseAll();
        return Failed(error, "cannot listen on " + m_socketPath.string(), saved);
    }
    m_thread = std::thread([this] { Run(); });
    return StartResult::kListening;
}

void InstanceServer::Stop()
{
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    CloseAll();
}

void InstanceServer::CloseAll()
{
    if (m_listenFd >= 0) {
        ::unlink(m_socketPath.c_str());
        ::close(m_listenFd);
    }
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    m_listenFd = m_wakeFd = m_lockFd = -1;
}

void InstanceServer::Run()
{
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        for (;;) {
            const int connection = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (connection < 0)
                break;
            Serve(connection);
            ::close(connection);
        }
    }
}

void InstanceServer::Serve(int connection)
{
    // Another user's process is not heard at all.
    if (!PeerIsThisUser(connection))
        return;
    InstanceFrameReader reader;
    if (!ReadFrame(connection, reader))
        return;
    switch (reader.GetStatus()) {
    case InstanceFrameReader::Status::kComplete: {
        // Answered once handed on, so a sender that was told "taken" knows
        // the client has it.
        try {
            m_handler(reader.Message());
        } catch (...) {
            // The handler's failures are its own; the channel goes on.
        }
        const char taken = static_cast<char>(InstanceFrame::kTaken);
        SendAll(connection, std::string_view(&taken, 1));
        break;
    }
    case InstanceFrameReader::Status::kMalformed: {
        const char refused = static_cast<char>(InstanceFrame::kRefused);
        SendAll(connection, std::string_view(&refused, 1));
        break;
    }
    case InstanceFrameReader::Status::kIncomplete:
        break; // timed out or gone
    }
}

bool InstanceServer::ReadFrame(int connection, InstanceFrameReader& reader)
{
    const auto deadline = Clock::now() + m_readTimeout;
    char chunk[kReadChunk];
    while (reader.GetStatus() == InstanceFrameReader::Status::kIncomplete) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return true;
        pollfd fds[2] = {{connection, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(left));
        if (ready < 0 && errno != EINTR)
            return true;
        if (fds[1].revents != 0)
            return false;
        if (ready <= 0)
            continue;
        const ssize_t got = ::read(connection, chunk, sizeof chunk);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
            return true;
        std::size_t used = 0;
        if (got > 0)
            reader.Feed(std::string_view(chunk, static_cast<std::size_t>(got)), used);
    }
    return true;
}

// The other end

bool FindRunningClient(const fs::path& socketPath)
{
    const int fd = Connect(socketPath, std::chrono::milliseconds(1000));
    if (fd < 0)
        return false;
    FdCloser closer(fd);
    return PeerIsThisUser(fd);
}

InstanceSendResult SendToRunningClient(const InstanceMessage& message, std::chrono::milliseconds timeout,
                                       const fs::path& socketPath)
{
    const auto frame = InstanceFrame::Encode(message);
    if (!frame)
        return InstanceSendResult::kTooLarge;
    const int fd = Connect(socketPath, timeout);
    if (fd < 0)
        return errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR ? InstanceSendResult::kNoClient
                                                                            : InstanceSendResult::kFailed;
    FdCloser closer(fd);
    // Only a client of this user is told anything.
    if (!PeerIsThisUser(fd))
        return InstanceSendResult::kRefused;
    if (!SendAll(fd, *frame))
        return errno == EPIPE || errno == ECONNRESET ? InstanceSendResult::kRefused
                                                     : InstanceSendResult::kFailed;
    char answer = 0;
    ssize_t got;
    while ((got = ::recv(fd, &answer, 1, 0)) < 0 && errno == EINTR) {
    }
    if (got == 1)
        return static_cast<std::uint8_t>(answer) == InstanceFrame::kTaken ? InstanceSendResult::kDelivered
                                                                          : InstanceSendResult::kRefused;
    if (got == 0 || errno == ECONNRESET)
        return InstanceSendResult::kRefused;
    return InstanceSendResult::kFailed;
}

} // namespace platform

#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace platform {

// What one client process hands the running one: a command of its menus
// (32789 brings a hidden window back), a data copy (another program's
// codes, identified by a number), or the installer's request to close.
struct InstanceMessage {
    enum class Kind : std::uint8_t { kCommand = 1, kDataCopy = 2, kCloseRequest = 3 };

    // The data copy that carries a barcode data block ("Bhdk").
    static constexpr std::uint32_t kBarcodeDataBlock = 0x6B646842;

    Kind kind = Kind::kCommand;
    std::uint32_t number = 0; // the command, or the data copy's identifier
    std::string data;         // the data copy's bytes

    bool operator==(const InstanceMessage&) const = default;
};

// The bytes of one message on the channel: the length of the rest (32 bits,
// little-endian), the kind (8 bits), the number (32 bits, little-endian) and
// the data. The receiver answers one byte: 0 taken, 1 refused.
class InstanceFrame {
public:
    static constexpr std::size_t kHeaderSize = 4;
    static constexpr std::size_t kMinBody = 5;
    // A barcode data block of a few hundred codes fits many times over.
    static constexpr std::size_t kMaxData = 64 * 1024;
    static constexpr std::size_t kMaxBody = kMinBody + kMaxData;

    static constexpr std::uint8_t kTaken = 0;
    static constexpr std::uint8_t kRefused = 1;

    // None when the data is longer than kMaxData.
    static std::optional<std::string> Encode(const InstanceMessage& message);
};

// Reads one frame from bytes as they come. A length outside the limits is
// refused as soon as the header is in, so an oversize frame is never read.
class InstanceFrameReader {
public:
    enum class Status { kIncomplete, kComplete, kMalformed };

    // Takes what belongs to the frame and says how many bytes it used; the
    // rest belongs to whatever follows. After kComplete or kMalformed it
    // takes nothing more.
    Status Feed(std::string_view bytes, std::size_t& used);
    Status GetStatus() const { return m_status; }
    // The message, once complete.
    const InstanceMessage& Message() const { return m_message; }
    // Why the frame was refused.
    const std::string& Error() const { return m_error; }

private:
    Status Fail(std::string error);
    Status Finish();

    std::string m_buffer;
    std::size_t m_bodySize = 0;
    Status m_status = Status::kIncomplete;
    InstanceMessage m_message;
    std::string m_error;
};

// The channel's socket: $XDG_RUNTIME_DIR/lumora/LumoraClientWindowClass.
// A session without XDG_RUNTIME_DIR (a plain ssh or cron login) gets a
// private folder named after the user id in the temporary folder instead,
// "lumora-UID", which must be the user's own and not a link.
std::filesystem::path InstanceSocketPath();

struct InstanceServerOptions {
    std::filesystem::path socketPath; // empty: InstanceSocketPath()
    // How long a connection may take to deliver its frame.
    std::chrono::milliseconds readTimeout{2000};
};

// The running client's end: listens on the per-user socket on a thread of
// its own and hands each message a process of the same user sends to the
// handler, on that thread, before answering the sender; the handler only
// hands it on (the GUI marshals it to its main thread). Only one server per socket: a live one means
// another client runs; the socket of one that died is replaced.
class InstanceServer {
public:
    using Handler = std::function<void(const InstanceMessage&)>;
    enum class StartResult { kListening, kOtherInstance, kFailed };

    using Options = InstanceServerOptions;

    explicit InstanceServer(Handler handler, Options options = {});
    // Stops listening and removes the socket.
    ~InstanceServer();
    InstanceServer(const InstanceServer&) = delete;
    InstanceServer& operator=(const InstanceServer&) = delete;

    // The folder is made 0700 and the socket 0600. kOtherInstance while
    // another server holds the socket; kFailed with the reason otherwise.
    StartResult Start(std::string* error = nullptr);
    void Stop();
    bool IsListening() const { return m_thread.joinable(); }
    const std::filesystem::path& SocketPath() const { return m_socketPath; }

private:
    void Run();
    void Serve(int connection);
    // False when Stop was asked for meanwhile.
    bool ReadFrame(int connection, InstanceFrameReader& reader);
    void CloseAll();

    Handler m_handler;
    std::filesystem::path m_socketPath;
    std::chrono::milliseconds m_readTimeout;
    int m_lockFd = -1;
    int m_listenFd = -1;
    int m_wakeFd = -1;
    std::thread m_thread;
};

// The other end, used by a second start, lumora-cli send and the installer.
enum class InstanceSendResult {
    kDelivered, // the running client took it
    kNoClient,  // none runs for this user
    kRefused,   // it answered but did not take the message
    kTooLarge,  // the data is over the frame's limit; nothing was sent
    kFailed,    // the channel broke or timed out
};

// Whether a client of this user listens on the socket.
bool FindRunningClient(const std::filesystem::path& socketPath = InstanceSocketPath());
// Sends one message and waits, at most `timeout` for each step, for the answer.
InstanceSendResult SendToRunningClient(const InstanceMessage& message,
                                       std::chrono::milliseconds timeout = std::chrono::milliseconds(5000),
                                       const std::filesystem::path& socketPath = InstanceSocketPath());

} // namespace platform

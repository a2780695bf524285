#include "tests/support/ptydevice.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// How long Send waits for a driver that does not read before giving up.
constexpr PtyDevice::Ms kSendLimit(5000);

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string Printable(std::string_view bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f) {
            text += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        }
    }
    return text;
}

} // namespace

PtyDevice::PtyDevice()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0)
        Fail("posix_openpt");
    m_master = master;
    if (grantpt(master) != 0 || unlockpt(master) != 0)
        Fail("grantpt");
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0)
        Fail("ptsname");
    m_slavePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0)
        Fail("open " + m_slavePath);
    termios settings{};
    if (tcgetattr(m_slave, &settings) != 0)
        Fail("tcgetattr");
    cfmakeraw(&settings);
    if (tcsetattr(m_slave, TCSANOW, &settings) != 0)
        Fail("tcsetattr");
}

PtyDevice::~PtyDevice()
{
    StopPlaying();
    if (m_slave >= 0)
        close(m_slave);
    HangUp();
}

void PtyDevice::Send(std::string_view bytes)
{
    const auto deadline = Clock::now() + kSendLimit;
    while (!bytes.empty()) {
        const int master = m_master.load();
        if (master < 0)
            return;
        const ssize_t sent = write(master, bytes.data(), bytes.size());
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EINTR) {
            AddFailure(std::string("send: ") + std::strerror(errno));
            return;
        }
        if (StopRequested())
            return;
        if (RemainingMs(deadline) == 0) {
            AddFailure("send: the driver does not read");
            return;
        }
        pollfd entry{master, POLLOUT, 0};
        poll(&entry, 1, std::min(RemainingMs(deadline), 20));
    }
}

void PtyDevice::SendSlowly(std::string_view bytes, Ms perByte)
{
    for (std::size_t i = 0; i < bytes.size() && !StopRequested(); ++i) {
        Send(bytes.substr(i, 1));
        Pause(perByte);
    }
}

std::string PtyDevice::Receive(std::size_t count, Ms timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::string received;
    char buffer[256];
    while (received.size() < count) {
        const int master = m_master.load();
        if (master < 0)
            break;
        pollfd entry{master, POLLIN, 0};
        const int ready = poll(&entry, 1, RemainingMs(deadline));
        if (ready > 0 && (entry.revents & POLLIN)) {
            const ssize_t got = read(master, buffer, std::min(sizeof buffer, count - received.size()));
            if (got > 0)
                received.append(buffer, static_cast<std::size_t>(got));
        }
        if (RemainingMs(deadline) == 0)
            break;
    }
    return received;
}

bool PtyDevice::Expect(std::string_view expected, Ms timeout)
{
    const std::string received = Receive(expected.size(), timeout);
    if (received == expected)
        return true;
    AddFailure("expected \"" + Printable(expected) + "\", received \"" + Printable(received) + "\"");
    return false;
}

termios PtyDevice::LineSettings() const
{
    termios settings{};
    if (tcgetattr(m_slave, &settings) != 0)
        Fail("tcgetattr");
    return settings;
}

bool PtyDevice::IsOpenByDriver() const
{
    int exclusive = 0;
    return ioctl(m_slave, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

bool PtyDevice::WaitForDriver(bool open, Ms timeout) const
{
    const auto deadline = Clock::now() + timeout;
    while (IsOpenByDriver() != open) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(Ms(2));
    }
    return true;
}

bool PtyDevice::WaitForOpen(Ms timeout)
{
    return WaitForDriver(true, timeout);
}

bool PtyDevice::WaitForClose(Ms timeout)
{
    return WaitForDriver(false, timeout);
}

void PtyDevice::HangUp()
{
    const int master = m_master.exchange(-1);
    if (master >= 0)
        close(master);
}

void PtyDevice::Play(std::function<void(PtyDevice&)> play)
{
    StopPlaying();
    m_stop = false;
    m_player = std::thread([this, play = std::move(play)] {
        try {
            play(*this);
        } catch (const std::exception& error) {
            AddFailure(std::string("player: ") + error.what());
        }
    });
}

void PtyDevice::StopPlaying()
{
    {
        std::lock_guard lock(m_pauseLock);
        m_stop = true;
    }
    m_pauseWake.notify_all();
    if (m_player.joinable())
        m_player.join();
}

bool PtyDevice::Pause(Ms duration)
{
    std::unique_lock lock(m_pauseLock);
    return !m_pauseWake.wait_for(lock, duration, [this] { return m_stop.load(); });
}

void PtyDevice::Serve(const Responder& responder)
{
    std::string pending;
    while (!StopRequested()) {
        pending += Receive(256, Ms(20));
        const std::string answer = responder(pending);
        if (!answer.empty())
            Send(answer);
    }
}

PtyDevice::Responder PtyDevice::Exchanges(std::vector<std::pair<std::string, std::string>> table)
{
    return [this, table = std::move(table)](std::string& pending) -> std::string {
        while (!pending.empty()) {
            bool partial = false;
            for (const auto& [request, reply] : table) {
                if (pending.compare(0, request.size(), request) == 0) {
                    pending.erase(0, request.size());
                    return reply;
                }
                partial = partial || request.compare(0, pending.size(), pending) == 0;
            }
            if (partial)
                return {};
            AddFailure("unexpected byte \"" + Printable(pending.substr(0, 1)) + "\"");
            pending.erase(0, 1);
        }
        return {};
    };
}

void PtyDevice::AddFailure(std::string failure)
{
    std::lock_guard lock(m_failureLock);
    m_failures.push_back(std::move(failure));
}

std::vector<std::string> PtyDevice::Failures() const
{
    std::lock_guard lock(m_failureLock);
    return m_failures;
}

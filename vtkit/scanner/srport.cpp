#include "vtkit/scanner/srport.h"

#include "tst/tsexcep.h"
#include "vtkit/scanner/srexcep.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace {

constexpr uint32_t kMinWriteTimeoutMs = 50;
constexpr std::size_t kReadChunk = 256;

struct BaudRate {
    uint32_t rate;
    speed_t flag;
};

constexpr BaudRate kBaudRates[] = {
    {110, B110},   {150, B150},     {300, B300},     {1200, B1200},   {2400, B2400},     {4800, B4800},
    {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

const BaudRate* FindBaudRate(uint32_t rate)
{
    for (const auto& entry : kBaudRates)
        if (entry.rate == rate)
            return &entry;
    return nullptr;
}

tcflag_t DataBitsFlag(uint32_t dataBits)
{
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

// Modem ioctls on a device without modem lines.
bool NoModemLines(int error)
{
    return error == ENOTTY || error == EINVAL;
}

} // namespace

bool VTSerialPortConfig::IsComName() const
{
    return portName.size() == 4 && portName.compare(0, 3, "COM") == 0 && portName[3] >= '0' &&
           portName[3] <= '9';
}

bool VTSerialPortConfig::IsValid() const
{
    return (IsComName() || portName.starts_with('/')) && FindBaudRate(baudRate) != nullptr && dataBits >= 5 &&
           dataBits <= 8;
}

VTSerialPort::VTSerialPort(VTSerialSystem& system) : m_system(&system) {}

VTSerialPort::~VTSerialPort()
{
    Close();
}

std::string VTSerialPort::ResolvePortName(const std::string& portName)
{
    VTSerialPortConfig form;
    form.portName = portName;
    if (portName.starts_with('/'))
        return portName;
    if (!form.IsComName())
        return {};
    std::filesystem::path configHome;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        configHome = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        configHome = std::filesystem::path(home) / ".config";
    if (!configHome.empty()) {
        const auto link = configHome / "lumora" / "dosdevices" / ("com" + portName.substr(3));
        std::error_code error;
        // A dangling link still names the port: opening it reports the port missing.
        if (std::filesystem::symlink_status(link, error).type() != std::filesystem::file_type::not_found &&
            !error)
            return link.string();
    }
    const int number = portName[3] - '0';
    if (number == 0)
        return {};
    return "/dev/ttyS" + std::to_string(number - 1);
}

uint32_t VTSerialPort::TwoCharTime(uint32_t dataBits, uint32_t baudRate)
{
    TS_ASSERT(baudRate != 0);
    return std::max<uint32_t>((dataBits + 2) * 2000 / baudRate, 1);
}

void VTSerialPort::Open(const VTSerialPortConfig& config)
{
    Close();
    if (!config.IsValid())
        throw VTSerialPortException(VTSerialPortException::kInvalidConfig);
    TS_ASSERT(config.parity >= VTSerialPortConfig::kParityEven &&
              config.parity <= VTSerialPortConfig::kParityNone);
    TS_ASSERT(config.stopBits == VTSerialPortConfig::kOneStopBit ||
              config.stopBits == VTSerialPortConfig::kTwoStopBits);
    m_portName = config.portName;
    const std::string path = ResolvePortName(config.portName);
    if (path.empty())
        throw VTSerialPortInvalidException(m_portName);
    const int fd = m_system->Open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        RaiseError(-fd);
    m_fd = fd;
    try {
        Configure(config);
    } catch (...) {
        Close();
        throw;
    }
}

void VTSerialPort::Configure(const VTSerialPortConfig& config)
{
    // flock keeps out every other opener, root included; TIOCEXCL keeps out
    // programs that do not lock.
    if (const int result = m_system->Lock(m_fd, LOCK_EX | LOCK_NB); result < 0)
        RaiseError(-result);
    if (const int result = m_system->Ioctl(m_fd, TIOCEXCL, nullptr); result < 0)
        RaiseError(-result);
    ApplyLineSettings(config);
    SetModemLine(TIOCM_DTR, config.dtrOn != 0);
    SetModemLine(TIOCM_RTS, config.rtsOn != 0);
    m_abortOnError = config.abortOnError != 0;
    m_lineError = false;
    m_countsKnown = ReadLineErrorCounts(m_counts);
    m_twoCharTime = TwoCharTime(config.dataBits, config.baudRate);
}

void VTSerialPort::ApplyLineSettings(const VTSerialPortConfig& config)
{
    termios settings{};
    if (const int result = m_system->GetAttributes(m_fd, settings); result < 0)
        RaiseError(-result);
    // Binary transfer: no line editing, echo, signals, translation or
    // software flow control; null bytes pass.
    settings.c_iflag &=
        ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    settings.c_oflag &= ~OPOST;
    settings.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD | DataBitsFlag(config.dataBits);
    if (config.parity != VTSerialPortConfig::kParityNone) {
        settings.c_iflag |= INPCK;
        settings.c_cflag |= PARENB;
        if (config.parity == VTSerialPortConfig::kParityOdd)
            settings.c_cflag |= PARODD;
    }
    if (config.stopBits == VTSerialPortConfig::kTwoStopBits)
        settings.c_cflag |= CSTOPB;
    // Reads return at once; the port's own waits time them.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    const speed_t speed = FindBaudRate(config.baudRate)->flag;
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    if (const int result = m_system->SetAttributes(m_fd, settings);
        result < 0 && !KeptAllButFraming(result, settings))
        RaiseError(-result);
}

// A pseudo-terminal drops parity and keeps 8 data bits; the C library then
// calls a request that changed nothing else invalid. Like missing modem
// lines, that is no reason to refuse the device.
bool VTSerialPort::KeptAllButFraming(int result, const termios& wanted)
{
    constexpr tcflag_t kFraming = PARENB | CSIZE;
    termios held{};
    if (result != -EINVAL || m_system->GetAttributes(m_fd, held) < 0)
        return false;
    return (held.c_cflag & ~kFraming) == (wanted.c_cflag & ~kFraming) && held.c_iflag == wanted.c_iflag &&
           held.c_oflag == wanted.c_oflag && held.c_lflag == wanted.c_lflag;
}

void VTSerialPort::Close()
{
    if (m_fd < 0)
        return;
    // The tty outlives our descriptor when another one is open (a pty's
    // master side): leave it open to others again.
    m_system->Ioctl(m_fd, TIOCNXCL, nullptr);
    m_system->Close(m_fd);
    m_fd = -1;
    m_lineError = false;
}

void VTSerialPort::RequireOpen() const
{
    if (m_fd < 0)
        throw VTSerialPortException(VTSerialPortException::kPortNotOpen);
}

bool VTSerialPort::WaitFor(short events, Clock::time_point deadline, short& revents)
{
    for (;;) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        revents = 0;
        const int result = m_system->Poll(
            m_fd, events, static_cast<int>(std::max<long long>(remaining.count(), 0)), revents);
        if (result > 0) {
            if (revents & POLLNVAL)
                RaiseError(EBADF);
            return true;
        }
        if (result < 0 && result != -EINTR)
            RaiseError(-result);
        if (remaining.count() <= 0)
            return false;
    }
}

void VTSerialPort::Write(const void* bytes, std::size_t count, uint32_t timeoutMs)
{
    if (count == 0)
        return;
    TS_CHECK_NULL(bytes);
    RequireOpen();
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, kMinWriteTimeoutMs));
    const char* next = static_cast<const char*>(bytes);
    std::size_t left = count;
    for (;;) {
        CheckLineErrors();
        const long sent = m_system->Write(m_fd, next, left);
        if (sent > 0) {
            next += sent;
            left -= static_cast<std::size_t>(sent);
            if (left == 0)
                return;
        } else if (sent < 0 && sent != -EAGAIN && sent != -EINTR) {
            RaiseTransferError(static_cast<int>(-sent));
        }
        short revents = 0;
        if (!WaitFor(POLLOUT, deadline, revents))
            throw VTSerialPortException(VTSerialPortException::kTimeout);
    }
}

bool VTSerialPort::Read(std::string& out, std::size_t count, uint32_t timeoutMs)
{
    RequireOpen();
    out.clear();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[kReadChunk];
    while (out.size() < count) {
        CheckLineErrors();
        short revents = 0;
        if (!WaitFor(POLLIN, deadline, revents))
            break;
        const long got = m_system->Read(m_fd, buffer, std::min(count - out.size(), sizeof buffer));
        if (got > 0)
            out.append(buffer, static_cast<std::size_t>(got));
        else if (got == 0 && (revents & POLLHUP))
            throw VTSerialPortInvalidException(m_portName); // the device went away
        else if (got < 0 && got != -EAGAIN && got != -EINTR)
            RaiseTransferError(static_cast<int>(-got));
    }
    // Bytes that came with a line error go with the aborted read.
    CheckLineErrors();
    return !out.empty();
}

void VTSerialPort::Drain(uint32_t durationMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(durationMs);
    std::string discarded;
    try {
        for (;;) {
            const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (remaining.count() <= 0)
                return;
            ClearErrors();
            if (!Read(discarded, 8, static_cast<uint32_t>(remaining.count())))
                return;
        }
    } catch (const VTSerialPortException&) {
    }
}

void VTSerialPort::ClearErrors()
{
    if (m_fd < 0)
        return;
    m_system->Ioctl(m_fd, TIOCCBRK, nullptr);
    m_lineError = false;
    m_countsKnown = ReadLineErrorCounts(m_counts);
}

void VTSerialPort::SetDTR(bool on)
{
    TS_ASSERT(IsOpen());
    SetModemLine(TIOCM_DTR, on);
}

void VTSerialPort::SetRTS(bool on)
{
    TS_ASSERT(IsOpen());
    SetModemLine(TIOCM_RTS, on);
}

void VTSerialPort::SetBreak(bool on)
{
    TS_ASSERT(IsOpen());
    const int result = m_system->Ioctl(m_fd, on ? TIOCSBRK : TIOCCBRK, nullptr);
    if (result < 0 && !NoModemLines(-result))
        RaiseError(-result);
}

bool VTSerialPort::IsCTSOn()
{
    if (m_fd < 0)
        return false;
    int lines = 0;
    return m_system->Ioctl(m_fd, TIOCMGET, &lines) >= 0 && (lines & TIOCM_CTS) != 0;
}

void VTSerialPort::SetModemLine(int line, bool on)
{
    const int result = m_system->Ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &line);
    if (result < 0 && !NoModemLines(-result))
        RaiseError(-result);
}

bool VTSerialPort::ReadLineErrorCounts(LineErrorCounts& counts)
{
    serial_icounter_struct icount{};
    if (m_system->Ioctl(m_fd, TIOCGICOUNT, &icount) < 0)
        return false;
    counts = {icount.frame, icount.parity, icount.overrun, icount.buf_overrun, icount.brk};
    return true;
}

// With abort on error, a line error fails every transfer until ClearErrors,
// as the drivers expect; the driver's error counters tell us of one.
void VTSerialPort::CheckLineErrors()
{
    if (!m_abortOnError)
        return;
    if (!m_lineError && m_countsKnown) {
        LineErrorCounts now;
        if (ReadLineErrorCounts(now) && !(now == m_counts))
            m_lineError = true;
    }
    if (m_lineError)
        throw VTSerialPortReceiveError();
}

void VTSerialPort::RaiseError(int error) const
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        throw VTSerialPortInvalidException(m_portName);
    case EBUSY:
    case EACCES:
    case EWOULDBLOCK:
        throw VTSerialPortInUseException(m_portName);
    case EIO:
        throw VTSerialPortReceiveError();
    default:
        throw VTSerialPortException(VTSerialPortException::kOsError, std::to_string(error));
    }
}

// EIO from a transfer is a line error unless the device hung up.
void VTSerialPort::RaiseTransferError(int error)
{
    if (error == EIO) {
        short revents = 0;
        if (m_system->Poll(m_fd, POLLIN, 0, revents) > 0 && (revents & POLLHUP))
            throw VTSerialPortInvalidException(m_portName);
    }
    RaiseError(error);
}

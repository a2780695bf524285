#include "tests/scanner/serialprobe.h"

#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <utility>

int SerialProbe::Open(const std::string& path, int flags)
{
    {
        std::lock_guard lock(m_lock);
        ++m_opens;
    }
    return VTSerialSystem::Open(path, flags);
}

int SerialProbe::Opens() const
{
    std::lock_guard lock(m_lock);
    return m_opens;
}

long SerialProbe::Read(int fd, void* buffer, std::size_t count)
{
    {
        std::lock_guard lock(m_lock);
        if (m_failRead)
            return -std::exchange(m_failRead, 0);
    }
    const long got = VTSerialSystem::Read(fd, buffer, count);
    if (got > 0) {
        std::lock_guard lock(m_lock);
        m_bytesRead += static_cast<std::size_t>(got);
        if (std::exchange(m_garbleNextRead, false))
            ++m_frameErrors;
    }
    return got;
}

long SerialProbe::Write(int fd, const void* buffer, std::size_t count)
{
    {
        std::lock_guard lock(m_lock);
        if (m_failWrite)
            return -std::exchange(m_failWrite, 0);
    }
    return VTSerialSystem::Write(fd, buffer, count);
}

int SerialProbe::Poll(int fd, short events, int timeoutMs, short& revents)
{
    {
        std::lock_guard lock(m_lock);
        // A pending failure shows as a ready descriptor, so the port reads.
        if ((events & POLLIN) && m_failRead) {
            revents = POLLIN;
            return 1;
        }
        if ((events & POLLOUT) && m_failWrite) {
            revents = POLLOUT;
            return 1;
        }
        (events & POLLIN ? m_readWaits : m_writeWaits).push_back(timeoutMs);
    }
    return VTSerialSystem::Poll(fd, events, timeoutMs, revents);
}

int SerialProbe::Ioctl(int fd, unsigned long request, void* argument)
{
    std::lock_guard lock(m_lock);
    switch (request) {
    case TIOCMGET:
        *static_cast<int*>(argument) = m_lines | (m_cts ? TIOCM_CTS : 0);
        return 0;
    case TIOCMBIS:
    case TIOCMBIC: {
        const int line = *static_cast<int*>(argument);
        const bool on = request == TIOCMBIS;
        m_lines = on ? (m_lines | line) : (m_lines & ~line);
        m_changes.push_back(std::string(line == TIOCM_DTR ? "DTR" : "RTS") + (on ? " on" : " off"));
        return 0;
    }
    case TIOCSBRK:
    case TIOCCBRK:
        // The port also ends a break when it clears errors: record changes only.
        if (request == TIOCCBRK)
            ++m_breakClears;
        if (m_break != (request == TIOCSBRK)) {
            m_break = request == TIOCSBRK;
            m_changes.push_back(m_break ? "break on" : "break off");
        }
        return 0;
    case TIOCGICOUNT: {
        serial_icounter_struct counts{};
        counts.frame = m_frameErrors;
        *static_cast<serial_icounter_struct*>(argument) = counts;
        return 0;
    }
    default:
        return VTSerialSystem::Ioctl(fd, request, argument);
    }
}

int SerialProbe::SetAttributes(int fd, const termios& attributes)
{
    {
        std::lock_guard lock(m_lock);
        m_settings = attributes;
    }
    return VTSerialSystem::SetAttributes(fd, attributes);
}

termios SerialProbe::LastSettings() const
{
    std::lock_guard lock(m_lock);
    return m_settings;
}

void SerialProbe::SetCTS(bool on)
{
    std::lock_guard lock(m_lock);
    m_cts = on;
}

void SerialProbe::InjectLineError()
{
    std::lock_guard lock(m_lock);
    ++m_frameErrors;
}

void SerialProbe::GarbleNextRead()
{
    std::lock_guard lock(m_lock);
    m_garbleNextRead = true;
}

void SerialProbe::FailNextRead(int error)
{
    std::lock_guard lock(m_lock);
    m_failRead = error;
}

void SerialProbe::FailNextWrite(int error)
{
    std::lock_guard lock(m_lock);
    m_failWrite = error;
}

std::vector<std::string> SerialProbe::LineChanges() const
{
    std::lock_guard lock(m_lock);
    return m_changes;
}

bool SerialProbe::IsBreakOn() const
{
    std::lock_guard lock(m_lock);
    return m_break;
}

int SerialProbe::BreakClears() const
{
    std::lock_guard lock(m_lock);
    return m_breakClears;
}

std::size_t SerialProbe::BytesRead() const
{
    std::lock_guard lock(m_lock);
    return m_bytesRead;
}

std::vector<int> SerialProbe::ReadWaits() const
{
    std::lock_guard lock(m_lock);
    return m_readWaits;
}

std::vector<int> SerialProbe::WriteWaits() const
{
    std::lock_guard lock(m_lock);
    return m_writeWaits;
}

void SerialProbe::ClearWaits()
{
    std::lock_guard lock(m_lock);
    m_readWaits.clear();
    m_writeWaits.clear();
}

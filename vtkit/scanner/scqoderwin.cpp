#include "vtkit/scanner/scqoderwin.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <unistd.h>

VTQoderWindow::~VTQoderWindow()
{
    Destroy();
}

bool VTQoderWindow::Create(std::string& error)
{
    std::lock_guard lock(m_lock);
    if (m_read >= 0)
        return true;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0 || ::fcntl(fds[1], F_SETFL, O_NONBLOCK) != 0) {
        error = "cannot create the worker window: " + std::system_category().message(errno);
        return false;
    }
    m_read = fds[0];
    m_write = fds[1];
    m_pending.clear();
    m_timerPeriod.reset();
    return true;
}

void VTQoderWindow::Destroy()
{
    std::lock_guard lock(m_lock);
    if (m_read < 0)
        return;
    ::close(m_read);
    ::close(m_write);
    m_read = -1;
    m_write = -1;
    m_pending.clear();
    m_timerPeriod.reset();
}

bool VTQoderWindow::IsCreated() const
{
    std::lock_guard lock(m_lock);
    return m_read >= 0;
}

VTKeyboardHook::Window VTQoderWindow::Handle() const
{
    std::lock_guard lock(m_lock);
    return m_write;
}

bool VTQoderWindow::Post(uint32_t message, uint32_t wParam, uint32_t lParam)
{
    const Message posted{message, wParam, lParam};
    std::lock_guard lock(m_lock);
    if (m_write < 0)
        return false;
    // A pipe takes a write this small whole or not at all.
    ssize_t written;
    do {
        written = ::write(m_write, &posted, sizeof posted);
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(sizeof posted);
}

void VTQoderWindow::SetTimer(uint32_t id, uint32_t periodMs)
{
    m_timerId = id;
    m_timerPeriod = std::chrono::milliseconds(periodMs);
    m_timerDue = Clock::now() + *m_timerPeriod;
}

void VTQoderWindow::KillTimer()
{
    m_timerPeriod.reset();
}

std::optional<VTQoderWindow::Message> VTQoderWindow::GetMessage(Clock::time_point until)
{
    for (;;) {
        if (auto queued = TakeQueued())
            return queued;
        const Clock::time_point wake = m_timerPeriod ? std::min(until, m_timerDue) : until;
        if (Fill(wake))
            continue;
        if (m_timerPeriod && Clock::now() >= m_timerDue) {
            m_timerDue = Clock::now() + *m_timerPeriod;
            return Message{kTimerMessage, m_timerId, 0};
        }
        if (Clock::now() >= until)
            return std::nullopt;
    }
}

std::optional<VTQoderWindow::Message> VTQoderWindow::TakeQueued()
{
    if (m_pending.size() < sizeof(Message))
        return std::nullopt;
    Message message;
    std::memcpy(&message, m_pending.data(), sizeof message);
    m_pending.erase(0, sizeof message);
    return message;
}

bool VTQoderWindow::Fill(Clock::time_point until)
{
    int timeoutMs = -1;
    if (until != Clock::time_point::max()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        timeoutMs = static_cast<int>(std::clamp<decltype(left)>(left, 0, 60000));
    }
    pollfd entry{m_read, POLLIN, 0};
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready <= 0)
        return false;
    char bytes[64 * sizeof(Message)];
    const ssize_t got = ::read(m_read, bytes, sizeof bytes);
    if (got <= 0)
        return false;
    m_pending.append(bytes, static_cast<std::size_t>(got));
    return true;
}

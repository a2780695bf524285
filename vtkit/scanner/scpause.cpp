#include "vtkit/scanner/scpause.h"

#include <chrono>

void VTPauseSemaphore::Release()
{
    {
        std::lock_guard lock(m_lock);
        ++m_count;
    }
    m_released.notify_all();
}

void VTPauseSemaphore::Empty()
{
    std::lock_guard lock(m_lock);
    m_count = 0;
}

bool VTPauseSemaphore::Pause(uint32_t durationMs)
{
    std::unique_lock lock(m_lock);
    if (!m_released.wait_for(lock, std::chrono::milliseconds(durationMs), [this] { return m_count > 0; }))
        return true;
    --m_count;
    return false;
}

#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// The semaphore a memory scanner's worker sleeps on between device steps.
// Stop releases it, so a sleeping worker wakes at once instead of finishing
// its pause.
class VTPauseSemaphore {
public:
    VTPauseSemaphore() = default;
    VTPauseSemaphore(const VTPauseSemaphore&) = delete;
    VTPauseSemaphore& operator=(const VTPauseSemaphore&) = delete;

    void Release();
    // Takes every release not yet taken: a new worker must not see the stop
    // of the previous one.
    void Empty();
    // Waits up to `durationMs`. True when the time ran out, false when a
    // release came (the scanner is stopping).
    bool Pause(uint32_t durationMs);

private:
    std::mutex m_lock;
    std::condition_variable m_released;
    uint32_t m_count = 0;
};

#pragma once

#include "vtkit/scanner/sckbdhook.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

// The keyboard scanner's worker window: a message queue that any thread,
// the hook library's included, posts to by writing whole messages to a
// pipe, and one periodic timer on the worker's own clock. Only the worker
// reads messages; posting is safe from every thread.
class VTQoderWindow {
public:
    using Clock = std::chrono::steady_clock;
    using Message = VTKeyboardHook::Message;

    // The message a due timer gives, its identifier as the first parameter.
    static constexpr uint32_t kTimerMessage = 275;

    VTQoderWindow() = default;
    ~VTQoderWindow();
    VTQoderWindow(const VTQoderWindow&) = delete;
    VTQoderWindow& operator=(const VTQoderWindow&) = delete;

    // False with `error` set when the pipe cannot be made.
    bool Create(std::string& error);
    // Closes the queue; what was not read is dropped and later posts fail.
    void Destroy();
    bool IsCreated() const;
    // The handle the hook library posts to.
    VTKeyboardHook::Window Handle() const;

    // False when the window is gone or its queue is full.
    bool Post(uint32_t message, uint32_t wParam = 0, uint32_t lParam = 0);

    // Setting a running timer starts its period afresh.
    void SetTimer(uint32_t id, uint32_t periodMs);
    void KillTimer();
    bool IsTimerRunning() const { return m_timerPeriod.has_value(); }

    // The next posted message or, when none is waiting, the timer's when it
    // is due; nothing when `until` passes first. Posted messages go first.
    std::optional<Message> GetMessage(Clock::time_point until = Clock::time_point::max());

private:
    std::optional<Message> TakeQueued();
    // Reads what the pipe holds; false when the wait ran out first.
    bool Fill(Clock::time_point until);

    mutable std::mutex m_lock; // the descriptors, against posts while destroying
    int m_read = -1;
    int m_write = -1;
    std::string m_pending; // bytes read but not yet a whole message
    uint32_t m_timerId = 0;
    std::optional<Clock::duration> m_timerPeriod;
    Clock::time_point m_timerDue;
};

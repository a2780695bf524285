#include "tests/support/qoderharness.h"

#include <algorithm>
#include <cstring>

QoderHarness::QoderHarness(bool capsLockOn, bool numLockOn, int64_t hookLatencyMs)
    : m_latency(hookLatencyMs), m_capsLockOn(capsLockOn), m_numLockOn(numLockOn)
{
}

void QoderHarness::Start()
{
    m_receiver.Begin(m_capsLockOn, m_numLockOn);
    m_receiver.EnterState(VTQoderReceiver::kListening);
}

// Events due now are handed on at once, as the hook would before anything
// else happens.
void QoderHarness::Key(uint32_t key, bool press, uint32_t repeat)
{
    Send(key, press, repeat);
    Advance(0);
}

void QoderHarness::Press(uint32_t key)
{
    Send(key, true, 1);
    Send(key, false, 1);
    Advance(0);
}

void QoderHarness::Send(uint32_t key, bool press, uint32_t repeat)
{
    uint32_t data = repeat & 0xFFFF;
    if (!press)
        data |= VTQoderReceiver::kKeyRelease | VTQoderReceiver::kKeyWasDown;
    else if (m_held.count(key))
        data |= VTQoderReceiver::kKeyWasDown;
    else if (key == VTQoderReceiver::kVkCapsLock)
        m_capsLockOn = !m_capsLockOn;
    else if (key == VTQoderReceiver::kVkNumLock)
        m_numLockOn = !m_numLockOn;
    press ? static_cast<void>(m_held.insert(key)) : static_cast<void>(m_held.erase(key));
    m_inFlight.push_back({m_now + m_latency, key, data});
}

void QoderHarness::Advance(int64_t ms)
{
    const int64_t until = m_now + ms;
    while (Step(until)) {
    }
    m_now = until;
}

bool QoderHarness::Step(int64_t until)
{
    const bool eventDue = !m_inFlight.empty() && m_inFlight.front().due <= until;
    const bool tickDue = m_timerRunning && m_timerDue <= until;
    if (!eventDue && !tickDue)
        return false;
    // Posted messages go before the timer's.
    if (eventDue && (!tickDue || m_inFlight.front().due <= m_timerDue)) {
        const Event event = m_inFlight.front();
        m_inFlight.pop_front();
        m_now = std::max(m_now, event.due);
        m_receiver.OnKey(event.key, event.data);
    } else {
        m_now = std::max(m_now, m_timerDue);
        m_timerDue = m_now + m_timerPeriod;
        m_receiver.OnTimer();
    }
    return true;
}

bool QoderHarness::RunUntilQuiet(int64_t limitMs)
{
    const int64_t limit = m_now + limitMs;
    while (m_timerRunning || !m_inFlight.empty()) {
        if (!Step(limit))
            return false;
    }
    return true;
}

template <class Done> bool QoderHarness::AdvanceUntil(Done done, int64_t until)
{
    const int64_t limit = std::min(until, m_now + 5000);
    while (!done()) {
        if (m_now >= limit)
            return false;
        Advance(1);
    }
    return true;
}

bool QoderHarness::Play(const QoderDevice& device, int64_t keyGapMs, int64_t until)
{
    for (const auto& step : device.Steps()) {
        if (m_now >= until)
            return true;
        switch (step.kind) {
        case QoderDevice::Step::kKey:
            Key(step.key, step.press, step.repeat);
            Advance(std::min(keyGapMs, until - m_now));
            break;
        case QoderDevice::Step::kPause:
            Advance(std::min<int64_t>(step.count, until - m_now));
            break;
        case QoderDevice::Step::kToggles:
            if (!AdvanceUntil([&] { return Toggles(step.key) >= step.count; }, until) && m_now < until)
                return false;
            break;
        case QoderDevice::Step::kListening:
            if (!AdvanceUntil([&] { return m_resets >= step.count; }, until) && m_now < until)
                return false;
            break;
        }
    }
    return true;
}

void QoderHarness::Stop()
{
    if (m_receiver.IsDownloading()) {
        m_receiver.Abandon();
        const int64_t limit = m_now + 800;
        while (m_receiver.GetState() == VTQoderReceiver::kRestoringIndicators && Step(limit)) {
        }
    }
    m_receiver.EnterState(VTQoderReceiver::kOff);
    m_inFlight.clear();
}

int QoderHarness::ToggleLock(uint32_t virtualKey)
{
    ++(virtualKey == VTQoderReceiver::kVkCapsLock ? m_capsToggles : m_numToggles);
    // A synthesised press and release, heard by the hook like any other.
    const bool held = m_held.count(virtualKey) != 0;
    if (held)
        m_held.erase(virtualKey);
    Send(virtualKey, true, 1);
    Send(virtualKey, false, 1);
    if (held)
        m_held.insert(virtualKey);
    return 0;
}

int QoderHarness::SetCapture(bool on)
{
    m_captureOn = on;
    return 0;
}

int QoderHarness::ResetHook()
{
    ++m_resets;
    return 0;
}

void QoderHarness::SetTimer(uint32_t periodMs)
{
    m_timerRunning = true;
    m_timerPeriod = periodMs;
    m_timerDue = m_now + periodMs;
}

void QoderHarness::KillTimer()
{
    m_timerRunning = false;
}

void QoderHarness::Trace(const char* text, int32_t number)
{
    if (std::strcmp(text, "Changing to state") == 0) {
        states.push_back(number);
        m_stateEnteredAt = m_now;
    }
}

void QoderHarness::Failed(const char* what, int)
{
    failures.emplace_back(what);
}

void QoderHarness::DownloadError(int code)
{
    downloadErrors.push_back(code);
}

void QoderHarness::Deliver(const VTScanDataSet& scans)
{
    if (onDeliver)
        onDeliver(scans);
    deliveries.push_back(scans);
}

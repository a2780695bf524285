#pragma once

#include "tests/support/qoderdevice.h"
#include "vtkit/scanner/scqoderrx.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

// The keyboard scanner's receive states on a virtual clock, with a
// simulated keyboard: its lock states, its capture, and a hook that hands
// every key event on after a fixed latency and in order, the lock
// toggles' presses included. Time passes only through Advance, so tests
// and fuzzers cover seconds of time-outs at once.
class QoderHarness : private VTQoderActions {
public:
    struct Event {
        int64_t due;
        uint32_t key;
        uint32_t data;
    };

    QoderHarness(bool capsLockOn, bool numLockOn, int64_t hookLatencyMs = 0);
    QoderHarness(const QoderHarness&) = delete;
    QoderHarness& operator=(const QoderHarness&) = delete;

    VTQoderReceiver& Receiver() { return m_receiver; }
    // What the worker does first: reads the lock states and listens.
    void Start();
    // A key pressed or released on the keyboard now.
    void Key(uint32_t key, bool press, uint32_t repeat = 1);
    void Press(uint32_t key);
    // Runs the timer ticks and hooked events due within `ms`.
    void Advance(int64_t ms);
    // Advances until no timer runs and no event is on its way; false when
    // `limitMs` passed first.
    bool RunUntilQuiet(int64_t limitMs = 60000);
    // Plays the device's steps, a key every `keyGapMs`, until they end or
    // the clock reaches `until`; false when the device waited in vain.
    bool Play(const QoderDevice& device, int64_t keyGapMs = 2, int64_t until = INT64_MAX);
    // What the worker does when stopped: puts the indicators back (at most
    // 800 ms) and leaves; what the hook had not handed on is lost with it.
    void Stop();

    int64_t Now() const { return m_now; }
    // When the receiver last changed its state.
    int64_t StateEnteredAt() const { return m_stateEnteredAt; }
    bool CapsLockOn() const { return m_capsLockOn; }
    bool NumLockOn() const { return m_numLockOn; }
    bool CaptureOn() const { return m_captureOn; }
    bool EventsInFlight() const { return !m_inFlight.empty(); }
    int Toggles(uint32_t key) const
    {
        return key == VTQoderReceiver::kVkCapsLock ? m_capsToggles : m_numToggles;
    }

    std::vector<VTScanDataSet> deliveries;
    std::vector<int> downloadErrors;
    std::vector<std::string> failures;
    std::vector<int32_t> states;
    // Runs at each delivery, before it is kept.
    std::function<void(const VTScanDataSet&)> onDeliver;

private:
    int ToggleLock(uint32_t virtualKey) override;
    int SetCapture(bool on) override;
    int ResetHook() override;
    void SetTimer(uint32_t periodMs) override;
    void KillTimer() override;
    void Trace(const char* text, int32_t number) override;
    void Failed(const char* what, int error) override;
    void DownloadError(int code) override;
    void Deliver(const VTScanDataSet& scans) override;

    // A key as the keyboard makes it, handed to the hook.
    void Send(uint32_t key, bool press, uint32_t repeat);
    // The next tick or event, if due by `until`.
    bool Step(int64_t until);
    // Lets time pass until `done` holds, at most 5 s or until `until`.
    template <class Done> bool AdvanceUntil(Done done, int64_t until);

    VTQoderReceiver m_receiver{*this};
    int64_t m_now = 0;
    int64_t m_stateEnteredAt = 0;
    int64_t m_latency;
    bool m_capsLockOn;
    bool m_numLockOn;
    bool m_captureOn = false;
    int m_capsToggles = 0;
    int m_numToggles = 0;
    int m_resets = 0;
    std::set<uint32_t> m_held;
    std::deque<Event> m_inFlight;
    bool m_timerRunning = false;
    int64_t m_timerDue = 0;
    int64_t m_timerPeriod = 0;
};

#pragma once

#include "vtkit/scanner/scandata.h"

#include <array>
#include <cstdint>
#include <string>

// What the receive states do to the world: the hook library's entry
// points, the worker window's timer, the trace sink and the listener.
class VTQoderActions {
public:
    virtual ~VTQoderActions();

    // 0 or the hook library's error number.
    virtual int ToggleLock(uint32_t virtualKey) = 0;
    virtual int SetCapture(bool on) = 0;
    virtual int ResetHook() = 0;
    virtual void SetTimer(uint32_t periodMs) = 0;
    virtual void KillTimer() = 0;
    virtual void Trace(const char* text, int32_t number) = 0;
    // An entry point or a toggle failed (already traced): the worker stops.
    virtual void Failed(const char* what, int error) = 0;
    virtual void DownloadError(int code) = 0;
    virtual void Deliver(const VTScanDataSet& scans) = 0;
};

// The keyboard scanner's receive states: it recognises the device's
// wake-up key sequence, answers it with the Num Lock and Caps Lock
// indicators, captures the typed header and data lines, checks the line
// count, restores the indicators and delivers the codes. Driven by key
// events and timer ticks on one thread; it keeps no clock of its own.
class VTQoderReceiver {
public:
    // Receive states.
    static constexpr int32_t kOff = 0;
    static constexpr int32_t kListening = 1;
    static constexpr int32_t kMatchingWakeUp = 2;
    static constexpr int32_t kAnsweringWakeUp = 3;
    static constexpr int32_t kReceivingHeader = 4;
    static constexpr int32_t kAcknowledgingHeader = 5;
    static constexpr int32_t kReceivingData = 6;
    static constexpr int32_t kAcknowledgingData = 7;
    static constexpr int32_t kRestoringIndicators = 8;
    static constexpr int32_t kSignallingError = 9;

    // Virtual-key codes.
    static constexpr uint32_t kVkReturn = 13;
    static constexpr uint32_t kVkShift = 16;
    static constexpr uint32_t kVkControl = 17;
    static constexpr uint32_t kVkAlt = 18;
    static constexpr uint32_t kVkCapsLock = 20;
    static constexpr uint32_t kVkNumLock = 144;

    // Key event data: the repeat count in the low 16 bits.
    static constexpr uint32_t kKeyRelease = 0x80000000u;
    static constexpr uint32_t kKeyWasDown = 0x40000000u;

    // Pending errors, as OnDownloadError reports them.
    static constexpr int kTimedOut = 2;
    static constexpr int kTransmissionError = 3;

    struct KeyEvent {
        uint32_t virtualKey;
        bool press;
        bool operator==(const KeyEvent&) const = default;
    };
    static constexpr std::size_t kWakeUpLength = 10;
    static const std::array<KeyEvent, kWakeUpLength> kWakeUp;

    // The character each data keystroke stands for, by virtual-key code
    // (see the table's definition for how the device scrambles its text).
    static const std::array<uint8_t, 256>& TranslationTable();

    explicit VTQoderReceiver(VTQoderActions& actions);

    // Starts a run with the keyboard's lock states (traced).
    void Begin(bool capsLockOn, bool numLockOn);
    void EnterState(int32_t state);
    void OnKey(uint32_t virtualKey, uint32_t keyData);
    void OnTimer();
    // A stop in the middle of a download: the indicators are put back as
    // the download found them, and nothing is reported.
    void Abandon();

    int32_t GetState() const { return m_state; }
    bool IsDownloading() const { return m_state >= kAnsweringWakeUp; }
    bool CapsLockOn() const { return m_capsLockOn; }
    bool NumLockOn() const { return m_numLockOn; }
    bool InitialCapsLockOn() const { return m_initialCapsLockOn; }
    bool InitialNumLockOn() const { return m_initialNumLockOn; }
    uint32_t ExpectedLines() const { return m_expectedLines; }
    bool IsTimerRunning() const { return m_timerRunning; }

    // The scans a completed download holds, one per line of `data`.
    static VTScanDataSet MakeScanData(const std::string& data);

private:
    void OnWakeUpKey(const KeyEvent& event, uint32_t repeat);
    void OnHeaderKey(uint32_t virtualKey, bool press);
    void OnDataKey(uint32_t virtualKey, bool press);
    void EndHeader();
    void EndData();
    void TrackLock(uint32_t virtualKey, bool& on, const char* trace);
    void OnRestoreTick();
    void OnAcknowledgeDataTick();
    void Finish();
    // The hook library's calls; a failure is traced and stops the worker.
    void Toggle(uint32_t virtualKey);
    void Check(int error, const char* trace);
    void StartTimer(uint32_t periodMs);
    void StopTimer();
    char Cased(uint8_t c) const;

    VTQoderActions& m_actions;
    int32_t m_state = kOff;
    // Timer steps count with it; in the data state it means the last key was Enter.
    int32_t m_nStateCount = 0;
    bool m_shiftHeld = false;
    std::string m_header;
    std::string m_data; // lines, each ended by LF
    int m_pendingError = 0;
    bool m_dataComplete = false;
    bool m_capsLockOn = false;
    bool m_numLockOn = false;
    bool m_initialCapsLockOn = false;
    bool m_initialNumLockOn = false;
    uint32_t m_expectedLines = 0;
    uint32_t m_receivedLines = 0;
    bool m_timerRunning = false;
    // Toggles whose hooked press has not come yet: the tracked states lag
    // behind the keyboard until it does.
    int m_unechoedCaps = 0;
    int m_unechoedNum = 0;
    int m_echoWaits = 0;
    bool m_abandoned = false;
};

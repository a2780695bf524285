#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A keyboard memory scanner handing over its codes, as a list of steps for
// a player (the scripted hook library, or xdotool under Xvfb). It wakes the
// host with its key sequence, waits for the host's answers on the lock
// indicators, and types its header and its scrambled data lines. It keeps
// count of the host's toggles from the lock states it was given, as a
// device watching the indicators would.
class QoderDevice {
public:
    struct Step {
        enum Kind { kKey, kPause, kToggles, kListening } kind = kKey;
        uint32_t key = 0;
        bool press = true;
        uint32_t repeat = 1;
        int count = 0; // pause: milliseconds; toggles: in all; listening: times in all
    };

    static constexpr uint32_t kReturn = 13;
    static constexpr uint32_t kShift = 16;
    static constexpr uint32_t kControl = 17;
    static constexpr uint32_t kAlt = 18;
    static constexpr uint32_t kCapsLock = 20;
    static constexpr uint32_t kNumLock = 144;

    QoderDevice(bool capsLockOn, bool numLockOn);

    QoderDevice& Key(uint32_t key, bool press, uint32_t repeat = 1);
    QoderDevice& Press(uint32_t key) { return Key(key, true).Key(key, false); }
    QoderDevice& Pause(int ms);
    // Waits until the host listens (the scripted hook only sees that).
    QoderDevice& AwaitListening();
    // Waits for `caps` and `num` more toggles of the host's.
    QoderDevice& AwaitToggles(int caps, int num);

    QoderDevice& WakeUp();
    // The host blinks Num Lock and leaves it on.
    QoderDevice& AwaitWakeUpAnswer();
    // Letters (Shift for upper case) and digits as they are, then Enter.
    QoderDevice& TypeHeader(const std::string& header);
    QoderDevice& AwaitHeaderAnswer();
    // Scrambled as the host's translation table expects, then Enter.
    QoderDevice& TypeLine(const std::string& line);
    // The Enter that ends the data.
    QoderDevice& EndData();
    // The host's acknowledgement and its restoring of the lock states.
    QoderDevice& AwaitDataAnswer();
    QoderDevice& AwaitErrorSignal();
    // A whole download: the header is `serial` and the line count in hex.
    QoderDevice& Download(const std::string& serial, const std::vector<std::string>& lines);
    // The download after the wake-up sequence.
    QoderDevice& Transfer(const std::string& serial, const std::vector<std::string>& lines);

    const std::vector<Step>& Steps() const { return m_steps; }
    // The steps in the scripted hook library's script language.
    std::string ScriptText() const;

    // The letter or digit key that types the data character (throws when
    // the device cannot send it) and whether Shift goes with it.
    static uint32_t DataKey(char c, bool& shift);

private:
    void TypeKey(uint32_t key, bool shift);
    // The host's restore of its lock states to those of the download's start.
    void AwaitRestore();

    std::vector<Step> m_steps;
    bool m_capsLockOn;
    bool m_numLockOn;
    bool m_startCaps = false;
    bool m_startNum = false;
    int m_capsToggles = 0;
    int m_numToggles = 0;
    int m_listened = 1;
};

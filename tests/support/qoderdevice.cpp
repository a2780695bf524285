#include "tests/support/qoderdevice.h"

#include "vtkit/scanner/scqoderrx.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

QoderDevice::QoderDevice(bool capsLockOn, bool numLockOn) : m_capsLockOn(capsLockOn), m_numLockOn(numLockOn)
{
}

QoderDevice& QoderDevice::Key(uint32_t key, bool press, uint32_t repeat)
{
    Step step;
    step.key = key;
    step.press = press;
    step.repeat = repeat;
    m_steps.push_back(step);
    return *this;
}

QoderDevice& QoderDevice::Pause(int ms)
{
    Step step;
    step.kind = Step::kPause;
    step.count = ms;
    m_steps.push_back(step);
    return *this;
}

QoderDevice& QoderDevice::AwaitListening()
{
    Step step;
    step.kind = Step::kListening;
    step.count = m_listened;
    m_steps.push_back(step);
    return *this;
}

QoderDevice& QoderDevice::AwaitToggles(int caps, int num)
{
    m_capsToggles += caps;
    m_numToggles += num;
    if (caps % 2)
        m_capsLockOn = !m_capsLockOn;
    if (num % 2)
        m_numLockOn = !m_numLockOn;
    for (const auto& [key, count] :
         {std::pair{kCapsLock, m_capsToggles}, std::pair{kNumLock, m_numToggles}}) {
        Step step;
        step.kind = Step::kToggles;
        step.key = key;
        step.count = count;
        m_steps.push_back(step);
    }
    return *this;
}

QoderDevice& QoderDevice::WakeUp()
{
    for (int i = 0; i < 3; ++i)
        Press(kShift);
    return Press(kAlt).Press(kControl);
}

QoderDevice& QoderDevice::AwaitWakeUpAnswer()
{
    m_startCaps = m_capsLockOn;
    m_startNum = m_numLockOn;
    return AwaitToggles(0, m_numLockOn ? 2 : 1);
}

void QoderDevice::TypeKey(uint32_t key, bool shift)
{
    if (shift)
        Key(kShift, true);
    Press(key);
    if (shift)
        Key(kShift, false);
}

QoderDevice& QoderDevice::TypeHeader(const std::string& header)
{
    for (char c : header) {
        const bool upper = std::isupper(static_cast<unsigned char>(c)) != 0;
        TypeKey(static_cast<uint32_t>(std::toupper(static_cast<unsigned char>(c))), upper);
    }
    return Press(kReturn);
}

QoderDevice& QoderDevice::AwaitHeaderAnswer()
{
    return AwaitToggles(0, 2);
}

uint32_t QoderDevice::DataKey(char c, bool& shift)
{
    const auto& table = VTQoderReceiver::TranslationTable();
    const unsigned char wanted = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c)));
    for (uint32_t key = '0'; key <= 'Z'; ++key) {
        if (std::isalnum(static_cast<int>(key)) && table[key] == wanted) {
            shift = std::isupper(static_cast<unsigned char>(c)) != 0;
            return key;
        }
    }
    throw std::invalid_argument(std::string("the device cannot send ") + c);
}

QoderDevice& QoderDevice::TypeLine(const std::string& line)
{
    for (char c : line) {
        bool shift = false;
        const uint32_t key = DataKey(c, shift);
        TypeKey(key, shift);
    }
    return Press(kReturn);
}

QoderDevice& QoderDevice::EndData()
{
    return Press(kReturn);
}

void QoderDevice::AwaitRestore()
{
    AwaitToggles(m_capsLockOn != m_startCaps ? 1 : 0, m_numLockOn != m_startNum ? 1 : 0);
    ++m_listened;
    AwaitListening();
}

QoderDevice& QoderDevice::AwaitDataAnswer()
{
    AwaitToggles(m_capsLockOn ? 2 : 1, 2);
    AwaitRestore();
    return *this;
}

QoderDevice& QoderDevice::AwaitErrorSignal()
{
    AwaitToggles(4, 0);
    AwaitRestore();
    return *this;
}

QoderDevice& QoderDevice::Download(const std::string& serial, const std::vector<std::string>& lines)
{
    return AwaitListening().WakeUp().Transfer(serial, lines);
}

QoderDevice& QoderDevice::Transfer(const std::string& serial, const std::vector<std::string>& lines)
{
    char count[3];
    std::snprintf(count, sizeof count, "%02X", static_cast<unsigned>(lines.size()));
    AwaitWakeUpAnswer().TypeHeader(serial + count).AwaitHeaderAnswer();
    for (const auto& line : lines)
        TypeLine(line);
    return EndData().AwaitDataAnswer();
}

std::string QoderDevice::ScriptText() const
{
    std::string text;
    for (const auto& step : m_steps) {
        switch (step.kind) {
        case Step::kKey:
            text += "key " + std::to_string(step.key) + (step.press ? " down " : " up ") +
                    std::to_string(step.repeat) + '\n';
            break;
        case Step::kPause:
            text += "pause " + std::to_string(step.count) + '\n';
            break;
        case Step::kToggles:
            text += "toggles " + std::to_string(step.key) + ' ' + std::to_string(step.count) + '\n';
            break;
        case Step::kListening:
            text += "resets " + std::to_string(step.count) + '\n';
            break;
        }
    }
    return text;
}

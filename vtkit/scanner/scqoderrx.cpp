#include "vtkit/scanner/scqoderrx.h"

#include <cctype>
#include <cstdlib>

namespace {

constexpr uint32_t kTimerAnswerMs = 100;
constexpr uint32_t kTimerBlinkMs = 50;
constexpr uint32_t kTimerHeaderMs = 6000;
constexpr uint32_t kTimerDataMs = 10000;
constexpr uint32_t kTimerNextKeyMs = 1000;
constexpr int32_t kHeaderTrace = 254;
// Restore ticks that wait for a toggle's hooked press before giving up on it.
constexpr int kMaxEchoWaits = 20;

bool IsLetterOrDigitKey(uint32_t virtualKey)
{
    return (virtualKey >= '0' && virtualKey <= '9') || (virtualKey >= 'A' && virtualKey <= 'Z');
}

// The device types its text scrambled: each data keystroke is a letter or
// digit key, and the key stands for another symbol. Its 36 keys, in
// virtual-key order, stand for the symbols of kSymbols 17 places further on
// (round the end): digits, the "]" of the symbology identifiers and the
// letters but J, which the device cannot send. Shift gives a letter's upper
// case. Elsewhere the table is the identity but for "]", which stands for
// "J", so that the whole is a permutation of the printable characters.
constexpr char kKeys[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr char kSymbols[] = "0123456789]ABCDEFGHIKLMNOPQRSTUVWXYZ";
constexpr std::size_t kKeyCount = sizeof kKeys - 1;
constexpr std::size_t kSymbolShift = 17;
static_assert(sizeof kSymbols - 1 == kKeyCount);

constexpr std::array<uint8_t, 256> MakeTranslationTable()
{
    std::array<uint8_t, 256> table{};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = static_cast<uint8_t>(i);
    for (std::size_t i = 0; i < kKeyCount; ++i)
        table[static_cast<uint8_t>(kKeys[i])] =
            static_cast<uint8_t>(kSymbols[(i + kSymbolShift) % kKeyCount]);
    table[']'] = 'J';
    return table;
}

constexpr std::array<uint8_t, 256> kTranslationTable = MakeTranslationTable();

constexpr bool IsPermutation(const std::array<uint8_t, 256>& table)
{
    std::array<bool, 256> seen{};
    for (uint8_t value : table) {
        if (seen[value])
            return false;
        seen[value] = true;
    }
    return true;
}
static_assert(IsPermutation(kTranslationTable));

bool IsHexDigit(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

bool IsSymbologyIdentifier(const std::string& prefix)
{
    return prefix[0] == ']' && std::isalpha(static_cast<unsigned char>(prefix[1])) &&
           std::isdigit(static_cast<unsigned char>(prefix[2]));
}

} // namespace

VTQoderActions::~VTQoderActions() = default;

const std::array<VTQoderReceiver::KeyEvent, VTQoderReceiver::kWakeUpLength> VTQoderReceiver::kWakeUp = {{
    {kVkShift, true},
    {kVkShift, false},
    {kVkShift, true},
    {kVkShift, false},
    {kVkShift, true},
    {kVkShift, false},
    {kVkAlt, true},
    {kVkAlt, false},
    {kVkControl, true},
    {kVkControl, false},
}};

const std::array<uint8_t, 256>& VTQoderReceiver::TranslationTable()
{
    return kTranslationTable;
}

VTQoderReceiver::VTQoderReceiver(VTQoderActions& actions) : m_actions(actions) {}

void VTQoderReceiver::Begin(bool capsLockOn, bool numLockOn)
{
    m_state = kOff;
    m_nStateCount = 0;
    m_shiftHeld = false;
    m_header.clear();
    m_data.clear();
    m_pendingError = 0;
    m_dataComplete = false;
    m_capsLockOn = capsLockOn;
    m_numLockOn = numLockOn;
    m_unechoedCaps = 0;
    m_unechoedNum = 0;
    m_echoWaits = 0;
    m_abandoned = false;
    m_actions.Trace("RunCapsLock", m_capsLockOn);
    m_actions.Trace("RunNumLock", m_numLockOn);
}

void VTQoderReceiver::EnterState(int32_t state)
{
    m_actions.Trace("Changing to state", state);
    m_state = state;
    m_nStateCount = 0;
    switch (state) {
    case kOff:
        StopTimer();
        Check(m_actions.SetCapture(false), "SetKbdCapture error");
        break;
    case kListening:
        StopTimer();
        Check(m_actions.SetCapture(false), "SetKbdCapture error");
        Check(m_actions.ResetHook(), "ResetKbdHook error");
        break;
    case kMatchingWakeUp:
        m_nStateCount = 1; // the first event already matched
        break;
    case kAnsweringWakeUp:
        m_initialCapsLockOn = m_capsLockOn;
        m_initialNumLockOn = m_numLockOn;
        m_actions.Trace("InitialCapsLock", m_initialCapsLockOn);
        m_actions.Trace("InitialNumLock", m_initialNumLockOn);
        if (!m_numLockOn)
            m_nStateCount = 1;
        Check(m_actions.SetCapture(true), "SetKbdCapture error");
        StartTimer(kTimerAnswerMs);
        break;
    case kReceivingHeader:
        StartTimer(kTimerHeaderMs);
        m_header.clear();
        break;
    case kAcknowledgingHeader:
        StartTimer(kTimerAnswerMs);
        break;
    case kReceivingData:
        StartTimer(kTimerDataMs);
        m_data.clear();
        break;
    case kAcknowledgingData:
        if (!m_capsLockOn)
            m_nStateCount = 1;
        StartTimer(kTimerAnswerMs);
        break;
    case kRestoringIndicators:
    case kSignallingError:
        StartTimer(kTimerBlinkMs);
        break;
    default:
        break;
    }
}

void VTQoderReceiver::OnKey(uint32_t virtualKey, uint32_t keyData)
{
    const bool press = (keyData & kKeyRelease) == 0;
    const uint32_t repeat = keyData & 0xFFFF;
    m_actions.Trace(press ? "Key DN" : "Key UP", static_cast<int32_t>(virtualKey));
    if (virtualKey == kVkShift)
        m_shiftHeld = press;
    // A held lock key repeats its press but toggles once.
    if (press && (keyData & kKeyWasDown) == 0) {
        if (virtualKey == kVkCapsLock)
            TrackLock(virtualKey, m_capsLockOn, "CapsLock state");
        else if (virtualKey == kVkNumLock)
            TrackLock(virtualKey, m_numLockOn, "NumLock state");
    }
    switch (m_state) {
    case kListening:
        if (press && virtualKey == kVkShift && repeat == 1)
            EnterState(kMatchingWakeUp);
        break;
    case kMatchingWakeUp:
        OnWakeUpKey({virtualKey, press}, repeat);
        break;
    case kReceivingHeader:
        OnHeaderKey(virtualKey, press);
        break;
    case kReceivingData:
        OnDataKey(virtualKey, press);
        break;
    default:
        break;
    }
}

void VTQoderReceiver::TrackLock(uint32_t virtualKey, bool& on, const char* trace)
{
    on = !on;
    m_actions.Trace(trace, on);
    int& unechoed = virtualKey == kVkCapsLock ? m_unechoedCaps : m_unechoedNum;
    if (unechoed > 0)
        --unechoed;
}

void VTQoderReceiver::OnWakeUpKey(const KeyEvent& event, uint32_t repeat)
{
    if (repeat != 1)
        return;
    if (event == kWakeUp[static_cast<std::size_t>(m_nStateCount)]) {
        if (static_cast<std::size_t>(++m_nStateCount) == kWakeUpLength)
            EnterState(kAnsweringWakeUp);
    } else if (!(event == kWakeUp[static_cast<std::size_t>(m_nStateCount) - 1])) {
        EnterState(kListening);
    }
}

void VTQoderReceiver::OnHeaderKey(uint32_t virtualKey, bool press)
{
    if (virtualKey == kVkNumLock)
        return;
    StartTimer(kTimerNextKeyMs);
    if (press && IsLetterOrDigitKey(virtualKey))
        m_header += Cased(static_cast<uint8_t>(virtualKey));
    else if (!press && virtualKey == kVkReturn)
        EndHeader();
}

void VTQoderReceiver::EndHeader()
{
    m_actions.Trace(m_header.c_str(), kHeaderTrace);
    const std::size_t length = m_header.size();
    if ((length == 15 || length == 16) && IsHexDigit(m_header[length - 2]) &&
        IsHexDigit(m_header[length - 1])) {
        m_expectedLines =
            static_cast<uint32_t>(std::strtoul(m_header.substr(length - 2).c_str(), nullptr, 16));
        m_receivedLines = 0;
        EnterState(kAcknowledgingHeader);
    } else {
        m_pendingError = kTransmissionError;
        EnterState(kSignallingError);
    }
}

void VTQoderReceiver::OnDataKey(uint32_t virtualKey, bool press)
{
    if (virtualKey == kVkNumLock)
        return;
    StartTimer(kTimerNextKeyMs);
    if (press && IsLetterOrDigitKey(virtualKey)) {
        m_nStateCount = 0;
        m_data += Cased(kTranslationTable[virtualKey]);
    } else if (!press && virtualKey == kVkReturn) {
        EndData();
    }
}

void VTQoderReceiver::EndData()
{
    if (m_nStateCount != 0 || m_expectedLines == 0) {
        // Text after the last line end would be one line more than counted.
        const bool unended = !m_data.empty() && m_data.back() != '\n';
        if (m_receivedLines + (unended ? 1 : 0) == m_expectedLines) {
            EnterState(kAcknowledgingData);
        } else {
            m_pendingError = kTransmissionError;
            EnterState(kSignallingError);
        }
        return;
    }
    m_data += '\n';
    m_actions.Trace("Saw CR", 0);
    ++m_receivedLines;
    m_nStateCount = 1;
}

void VTQoderReceiver::OnTimer()
{
    m_actions.Trace("Timer fired with m_nStateCount=", m_nStateCount);
    switch (m_state) {
    case kAnsweringWakeUp:
    case kAcknowledgingHeader:
        Toggle(kVkNumLock);
        if (m_nStateCount == 0) {
            m_nStateCount = 1;
            StartTimer(kTimerBlinkMs);
        } else {
            EnterState(m_state == kAnsweringWakeUp ? kReceivingHeader : kReceivingData);
        }
        break;
    case kReceivingHeader:
    case kReceivingData:
        m_pendingError = kTimedOut;
        EnterState(kSignallingError);
        break;
    case kAcknowledgingData:
        OnAcknowledgeDataTick();
        break;
    case kRestoringIndicators:
        OnRestoreTick();
        break;
    case kSignallingError:
        Toggle(kVkCapsLock);
        if (++m_nStateCount >= 4)
            EnterState(kRestoringIndicators);
        break;
    default:
        StopTimer();
        break;
    }
}

void VTQoderReceiver::OnAcknowledgeDataTick()
{
    Toggle(m_nStateCount < 2 ? kVkCapsLock : kVkNumLock);
    if (++m_nStateCount > 3) {
        Check(m_actions.SetCapture(false), "SetKbdCapture error");
        m_dataComplete = true;
        EnterState(kRestoringIndicators);
    }
}

void VTQoderReceiver::OnRestoreTick()
{
    // Decide on the keyboard's states only once its last toggles came back.
    if ((m_unechoedCaps > 0 || m_unechoedNum > 0) && ++m_echoWaits <= kMaxEchoWaits)
        return;
    m_unechoedCaps = 0;
    m_unechoedNum = 0;
    m_echoWaits = 0;
    if (m_capsLockOn != m_initialCapsLockOn)
        Toggle(kVkCapsLock);
    else if (m_numLockOn != m_initialNumLockOn)
        Toggle(kVkNumLock);
    else
        Finish();
}

void VTQoderReceiver::Finish()
{
    if (m_abandoned) {
        m_pendingError = 0;
        m_dataComplete = false;
        m_abandoned = false;
        EnterState(kOff);
        return;
    }
    EnterState(kListening);
    if (m_pendingError != 0) {
        const int error = m_pendingError;
        m_pendingError = 0;
        m_actions.DownloadError(error);
    }
    if (m_dataComplete) {
        m_dataComplete = false;
        m_actions.Deliver(MakeScanData(m_data));
    }
}

void VTQoderReceiver::Abandon()
{
    if (!IsDownloading())
        return;
    m_abandoned = true;
    if (m_state != kRestoringIndicators)
        EnterState(kRestoringIndicators);
}

void VTQoderReceiver::Toggle(uint32_t virtualKey)
{
    const bool caps = virtualKey == kVkCapsLock;
    m_actions.Trace(caps ? "Toggling CapsLock" : "Toggling NumLock", 0);
    const int error = m_actions.ToggleLock(virtualKey);
    if (error == 0)
        ++(caps ? m_unechoedCaps : m_unechoedNum);
    Check(error, caps ? "ToggleCapsLock error" : "ToggleNumLock error");
}

void VTQoderReceiver::Check(int error, const char* trace)
{
    if (error == 0)
        return;
    m_actions.Trace(trace, error);
    m_actions.Failed(trace, error);
}

void VTQoderReceiver::StartTimer(uint32_t periodMs)
{
    m_timerRunning = true;
    m_actions.SetTimer(periodMs);
}

void VTQoderReceiver::StopTimer()
{
    m_timerRunning = false;
    m_actions.KillTimer();
}

char VTQoderReceiver::Cased(uint8_t c) const
{
    return static_cast<char>(m_shiftHeld ? std::toupper(c) : std::tolower(c));
}

VTScanDataSet VTQoderReceiver::MakeScanData(const std::string& data)
{
    VTScanDataSet scans;
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find('\n', start);
        if (end == std::string::npos)
            end = data.size();
        const std::string piece = data.substr(start, end - start);
        start = end + 1;
        if (piece.size() <= 2)
            continue;
        const std::string prefix = piece.substr(0, 3);
        const std::string rest = piece.substr(3);
        if (prefix == "]E0" && rest.size() == 13 && rest[0] == '0')
            scans.Add(kScanTypeUPCA, rest.substr(1));
        else if (prefix == "]E0")
            scans.Add(kScanTypeUPCOrEAN, rest);
        else if (prefix == "]E4")
            scans.Add(kScanTypeEAN8, rest);
        else if (prefix == "]C0")
            scans.Add(kScanTypeCode128, rest);
        else if (IsSymbologyIdentifier(prefix))
            scans.Add(kScanTypeUnknown, rest);
        else
            scans.Add(kScanTypeUnknown, piece);
    }
    return scans;
}

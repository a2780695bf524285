#include "vtkit/scanner/scinfopen.h"

#include "tst/tsexcep.h"
#include "vtkit/scanner/srexcep.h"

#include <algorithm>

namespace {

// Bytes asked for per read while an answer of open length lasts.
constexpr std::size_t kAnswerChunk = 10;
// 06 02, two identification bytes, two 8-byte fields, 00; then the check.
constexpr std::size_t kInterrogateAnswerSize = 21;
constexpr std::string_view kAcknowledge("\x06\x02", 2);
constexpr std::string_view kEmptyAnswer("\x06\x02\x00", 3);

constexpr VTInfoPenBase::Timeouts kCyberPenTimeouts{250, 500, 1000, 500, 2000, 1000, 500, 10, 1000, 50};
constexpr VTInfoPenBase::Timeouts kCS2000Timeouts{250, 500, 1000, 500, 2000, 1000, 500, 10, 5000, 50};

ScanType PenScanType(char symbology)
{
    switch (symbology) {
    case 'A':
        return kScanTypeUPCOrEAN;
    case 'D':
    case 'K':
        return kScanTypeCode128;
    default:
        return kScanTypeUnknown;
    }
}

} // namespace

VTInfoPenBase::VTInfoPenBase(VTSerialSystem& system, const Timeouts& timeouts)
    : VTSerialBarcodeScanner(system), m_timeouts(timeouts)
{
}

VTInfoPenBase::~VTInfoPenBase()
{
    Stop(true);
}

bool VTInfoPenBase::CanDetect()
{
    return true;
}

void VTInfoPenBase::Stop(bool wait)
{
    m_pause.Release();
    VTSerialBarcodeScanner::Stop(wait);
}

bool VTInfoPenBase::GetClearAfterUpload() const
{
    std::lock_guard lock(Monitor());
    return m_clearAfterUpload;
}

void VTInfoPenBase::SetClearAfterUpload(bool clear)
{
    std::lock_guard lock(Monitor());
    m_clearAfterUpload = clear;
}

bool VTInfoPenBase::GetPowerDownAfterUpload() const
{
    std::lock_guard lock(Monitor());
    return m_powerDownAfterUpload;
}

void VTInfoPenBase::SetPowerDownAfterUpload(bool powerDown)
{
    std::lock_guard lock(Monitor());
    m_powerDownAfterUpload = powerDown;
}

bool VTInfoPenBase::GetKeepPolling() const
{
    std::lock_guard lock(Monitor());
    return m_keepPolling;
}

void VTInfoPenBase::SetKeepPolling(bool keepPolling)
{
    std::lock_guard lock(Monitor());
    m_keepPolling = keepPolling;
}

uint32_t VTInfoPenBase::GetDetectAttempts() const
{
    std::lock_guard lock(Monitor());
    return m_detectAttempts;
}

void VTInfoPenBase::SetDetectAttempts(uint32_t attempts)
{
    std::lock_guard lock(Monitor());
    m_detectAttempts = attempts;
}

int32_t VTInfoPenBase::GetParameter2Value() const
{
    std::lock_guard lock(Monitor());
    return m_parameter2Value;
}

void VTInfoPenBase::SetParameter2Value(int32_t value)
{
    std::lock_guard lock(Monitor());
    m_parameter2Value = value;
}

uint32_t VTInfoPenBase::GetTimeout(std::size_t index) const
{
    TS_ASSERT(index < kTimeoutCount);
    std::lock_guard lock(Monitor());
    return m_timeouts[index];
}

void VTInfoPenBase::SetTimeout(std::size_t index, uint32_t timeoutMs)
{
    TS_ASSERT(index < kTimeoutCount);
    std::lock_guard lock(Monitor());
    m_timeouts[index] = timeoutMs;
}

std::string VTInfoPenBase::Triple(uint8_t number, uint8_t value)
{
    return {'\x02', static_cast<char>(number), static_cast<char>(value)};
}

uint8_t VTInfoPenBase::XorCheck(std::string_view bytes)
{
    uint8_t check = 0;
    for (char c : bytes)
        check ^= static_cast<uint8_t>(c);
    return check;
}

std::size_t VTInfoPenBase::CheckSize() const
{
    return 1;
}

std::string VTInfoPenBase::MakeCheck(std::string_view bytes) const
{
    return std::string(1, static_cast<char>(XorCheck(bytes)));
}

// The XOR over a whole answer, check included, is 0; so an empty answer passes.
bool VTInfoPenBase::HasValidCheck(std::string_view answer) const
{
    return XorCheck(answer) == 0;
}

std::size_t VTInfoPenBase::UploadHeaderSize() const
{
    return 12;
}

std::string VTInfoPenBase::MakeCommand(uint8_t command, std::string_view data) const
{
    std::string bytes{static_cast<char>(command), '\x02'};
    bytes += data;
    bytes += '\0';
    return bytes + MakeCheck(bytes);
}

std::string VTInfoPenBase::ParameterTriples() const
{
    std::string triples = Triple(0x04, 0x01) + Triple(0x0C, 0x00);
    if (const int32_t volume = GetParameter2Value(); volume != kLeaveParameter)
        triples += Triple(0x02, static_cast<uint8_t>(volume));
    return triples;
}

std::string VTInfoPenBase::MakeSetParametersCommand() const
{
    return MakeCommand(kSetParameters, ParameterTriples());
}

bool VTInfoPenBase::IsAnswer(std::string_view answer) const
{
    return answer.substr(0, kAcknowledge.size()) == kAcknowledge && HasValidCheck(answer);
}

bool VTInfoPenBase::ForEachRecord(std::string_view records,
                                  const std::function<void(std::string_view)>& visit)
{
    std::size_t pos = 0;
    while (pos < records.size()) {
        const std::size_t length = static_cast<uint8_t>(records[pos++]);
        if (length == 0)
            return true;
        if (length > records.size() - pos)
            return false;
        visit(records.substr(pos, length));
        pos += length;
    }
    return true;
}

// Records follow 06 02 and the 12-byte header; the check is not part of them.
bool VTInfoPenBase::DecodeUpload(std::string_view answer, VTScanDataSet& scans)
{
    constexpr std::size_t kRecordsAt = 14;
    if (answer.size() <= kRecordsAt)
        return true;
    const std::string_view records = answer.substr(kRecordsAt, answer.size() - kRecordsAt - 1);
    return ForEachRecord(records, [&](std::string_view record) {
        if (record.size() >= 2)
            scans.Add(PenScanType(record[0]), std::string(record.substr(1)));
    });
}

int VTInfoPenBase::OpenForDetect()
{
    m_pause.Empty();
    return VTSerialBarcodeScanner::OpenForDetect();
}

int VTInfoPenBase::OpenForScan()
{
    m_pause.Empty();
    return VTSerialBarcodeScanner::OpenForScan();
}

void VTInfoPenBase::CloseAfterDetect()
{
    m_pause.Empty();
    VTSerialBarcodeScanner::CloseAfterDetect();
}

void VTInfoPenBase::CloseAfterScan()
{
    m_pause.Empty();
    VTSerialBarcodeScanner::CloseAfterScan();
}

void VTInfoPenBase::AdjustPortConfig(VTSerialPortConfig& config)
{
    config.baudRate = 2400;
    config.dataBits = 8;
    config.parity = VTSerialPortConfig::kParityOdd;
}

bool VTInfoPenBase::Pause(uint32_t durationMs)
{
    return m_pause.Pause(durationMs);
}

bool VTInfoPenBase::Transaction(std::string_view command, std::size_t expected, uint32_t firstByteMs,
                                std::string& answer)
{
    VTSerialPort& port = GetPort();
    const uint32_t gap = GetTimeout(kAnswerGap);
    answer.clear();
    try {
        port.Write(command, port.GetTwoCharTime() * static_cast<uint32_t>(command.size()));
        if (!port.Read(answer, 1, firstByteMs))
            return false;
        std::string more;
        if (expected > 0) {
            while (answer.size() < expected) {
                if (!port.Read(more, expected - answer.size(), gap))
                    return false;
                answer += more;
            }
            return true;
        }
        while (answer.size() < kMaxAnswer &&
               port.Read(more, std::min(kAnswerChunk, kMaxAnswer - answer.size()), gap))
            answer += more;
        return answer.size() < kMaxAnswer;
    } catch (const VTSerialPortReceiveError&) {
        port.Drain(gap);
        port.ClearErrors();
        return false;
    }
}

bool VTInfoPenBase::Interrogate()
{
    std::string answer;
    return Transaction(MakeCommand(kInterrogate), kInterrogateAnswerSize + CheckSize(),
                       GetTimeout(kInterrogateAnswer), answer) &&
           IsAnswer(answer);
}

bool VTInfoPenBase::InterrogateAttempts(int& found)
{
    found = 0;
    const uint32_t attempts = GetDetectAttempts();
    for (uint32_t attempt = 1; attempt <= attempts; ++attempt) {
        if (Interrogate()) {
            found = 1;
            return true;
        }
        if (attempt < attempts && !PauseFor(kDetectPause))
            return false;
    }
    return true;
}

bool VTInfoPenBase::SimpleCommand(uint8_t command, std::size_t timeoutIndex)
{
    std::string expected(kEmptyAnswer);
    expected += MakeCheck(expected);
    std::string answer;
    return Transaction(MakeCommand(command), expected.size(), GetTimeout(timeoutIndex), answer) &&
           answer == expected;
}

bool VTInfoPenBase::PowerDown()
{
    return SimpleCommand(kPowerDown, kPowerDownAnswer);
}

bool VTInfoPenBase::ClearMemory()
{
    return SimpleCommand(kClearMemory, kClearAnswer);
}

bool VTInfoPenBase::SendParameters(std::string_view triples)
{
    if (triples.empty())
        return true;
    std::string answer;
    const std::size_t count = triples.size() / 3;
    return Transaction(MakeCommand(kSetParameters, triples), 0, GetTimeout(kSetParametersAnswer), answer) &&
           answer.size() >= 3 * count + 4 && IsAnswer(answer);
}

// An upload answer: 06 02, the header, the records, 00 and the check.
bool VTInfoPenBase::Upload()
{
    std::string answer;
    if (!Transaction(MakeCommand(kUpload), 0, GetTimeout(kUploadAnswer), answer))
        return false;
    if (answer.size() < kAcknowledge.size() + UploadHeaderSize() + 1 + CheckSize() || !IsAnswer(answer))
        return false;
    VTScanDataSet scans;
    if (!DecodeUploadAnswer(answer, scans))
        return false;
    m_scans = scans;
    return true;
}

VTInfoPenBase::PassStep VTInfoPenBase::BeginPass()
{
    return Interrogate() ? PassStep::kContinue : PassStep::kIdle;
}

bool VTInfoPenBase::BeforeUpload()
{
    return SendParameters(ParameterTriples());
}

bool VTInfoPenBase::DecodeUploadAnswer(std::string_view answer, VTScanDataSet& scans)
{
    return DecodeUpload(answer, scans);
}

bool VTInfoPenBase::AfterClear()
{
    return true;
}

VTInfoPenBase::PassStep VTInfoPenBase::RunPass()
{
    if (const PassStep begin = BeginPass(); begin != PassStep::kContinue)
        return begin;
    if (!PauseFor(kStepPause))
        return PassStep::kEnd;
    if (!BeforeUpload())
        return PassStep::kRetry;
    if (!PauseFor(kStepPause))
        return PassStep::kEnd;
    if (!Upload())
        return PassStep::kRetry;
    if (!PauseFor(kStepPause))
        return PassStep::kEnd;
    // A device that did not clear keeps its codes: the next pass uploads
    // them again, so they are not delivered now.
    const bool clear = GetClearAfterUpload();
    if (clear && !ClearMemory())
        return PassStep::kRetry;
    if (!AfterClear()) {
        // Once the memory is empty the codes exist only here: deliver them
        // even though the settings did not take.
        if (clear)
            DeliverScanData(m_scans);
        return PassStep::kRetry;
    }
    DeliverScanData(m_scans);
    const bool poweredDown = !GetPowerDownAfterUpload() || PowerDown();
    // One upload was asked for and it has been delivered.
    if (!GetKeepPolling())
        return PassStep::kEnd;
    return poweredDown ? PassStep::kUploaded : PassStep::kRetry;
}

void VTInfoPenBase::RunScan()
{
    try {
        while (IsScanning()) {
            std::size_t pauseIndex = kIdlePause;
            switch (RunPass()) {
            case PassStep::kEnd:
                return;
            case PassStep::kRetry:
                continue;
            case PassStep::kUploaded:
                pauseIndex = kUploadPause;
                break;
            default:
                break;
            }
            if (!PauseFor(pauseIndex))
                return;
        }
    } catch (const VTSerialPortException& error) {
        DeliverScannerError(error.GetMessage());
    }
}

void VTInfoPenBase::RunDetect()
{
    try {
        int found = 0;
        if (InterrogateAttempts(found))
            DeliverDetectResult(found);
    } catch (const VTSerialPortException& error) {
        DeliverScannerError(error.GetMessage());
    }
}

VTBarcodeScannerInfoPen::VTBarcodeScannerInfoPen(VTSerialSystem& system)
    : VTInfoPenBase(system, kCyberPenTimeouts)
{
}

VTBarcodeScannerInfoPen::~VTBarcodeScannerInfoPen()
{
    Stop(true);
}

VTBarcodeScannerCS2000::VTBarcodeScannerCS2000(VTSerialSystem& system)
    : VTInfoPenBase(system, kCS2000Timeouts)
{
}

VTBarcodeScannerCS2000::~VTBarcodeScannerCS2000()
{
    Stop(true);
}

#include "vtkit/scanner/sccs1504.h"

#include "vtkit/scanner/srexcep.h"

namespace {

constexpr VTInfoPenBase::Timeouts kCS1504Timeouts{250, 500, 1000, 500, 2000, 1000, 500, 10, 2000, 200};
constexpr std::size_t kTimeStampSize = 4;
// The reset in detection: lines down, then up and a moment to wake.
constexpr uint32_t kResetLowMs = 1000;
constexpr uint32_t kResetWakeMs = 200;

ScanType SymbologyType(uint8_t code)
{
    switch (code) {
    case 0x03:
        return kScanTypeCode128;
    case 0x08:
    case 0x48:
    case 0x88:
        return kScanTypeUPCA;
    case 0x09:
    case 0x49:
    case 0x89:
        return kScanTypeUPCE;
    case 0x0A:
    case 0x4A:
    case 0x8A:
        return kScanTypeEAN8;
    case 0x0B:
    case 0x4B:
    case 0x8B:
        return kScanTypeEAN13;
    default:
        return kScanTypeUnknown;
    }
}

} // namespace

VTBarcodeScannerCS1504::VTBarcodeScannerCS1504(VTSerialSystem& system)
    : VTInfoPenBase(system, kCS1504Timeouts)
{
}

VTBarcodeScannerCS1504::~VTBarcodeScannerCS1504()
{
    Stop(true);
}

uint16_t VTBarcodeScannerCS1504::Crc16(std::string_view bytes)
{
    uint16_t crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= static_cast<uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return static_cast<uint16_t>(~crc);
}

std::size_t VTBarcodeScannerCS1504::CheckSize() const
{
    return 2;
}

std::string VTBarcodeScannerCS1504::MakeCheck(std::string_view bytes) const
{
    const uint16_t crc = Crc16(bytes);
    return {static_cast<char>(crc >> 8), static_cast<char>(crc & 0xFF)};
}

bool VTBarcodeScannerCS1504::HasValidCheck(std::string_view answer) const
{
    return answer.size() >= 2 &&
           MakeCheck(answer.substr(0, answer.size() - 2)) == answer.substr(answer.size() - 2);
}

std::size_t VTBarcodeScannerCS1504::UploadHeaderSize() const
{
    return 8;
}

void VTBarcodeScannerCS1504::AdjustPortConfig(VTSerialPortConfig& config)
{
    config.baudRate = 9600;
    config.dataBits = 8;
    config.parity = VTSerialPortConfig::kParityOdd;
    config.dtrOn = 1;
    config.rtsOn = 1;
}

std::string VTBarcodeScannerCS1504::MakeGetParametersCommand() const
{
    std::string data(1, static_cast<char>(kReadParameters.size()));
    for (uint8_t number : kReadParameters)
        data += static_cast<char>(number);
    return MakeCommand(kGetParameters, data);
}

std::string VTBarcodeScannerCS1504::ParameterTriples(const Parameters& device) const
{
    std::string triples;
    if (const int32_t volume = GetParameter2Value();
        volume != kLeaveParameter && static_cast<uint8_t>(volume) != device[kVolume])
        triples += Triple(kVolume, static_cast<uint8_t>(volume));
    for (uint8_t number : {uint8_t{0x08}, uint8_t{0x09}, kUPCA, kUPCE})
        if (device[number] == 0)
            triples += Triple(number, 1);
    if (device[0x35] != 0 && device[0x35] != 2)
        triples += Triple(0x35, 2);
    return triples;
}

std::string VTBarcodeScannerCS1504::MakeSetParametersCommand(const Parameters& device) const
{
    const std::string triples = ParameterTriples(device);
    return triples.empty() ? std::string() : MakeCommand(kSetParameters, triples);
}

// Records follow 06 02; each begins with a parameter number and its value.
bool VTBarcodeScannerCS1504::ParseParameters(std::string_view answer, Parameters& parameters)
{
    parameters.fill(0);
    if (answer.size() < 4)
        return true;
    return ForEachRecord(answer.substr(2, answer.size() - 4), [&](std::string_view record) {
        if (record.size() >= 2)
            parameters[static_cast<uint8_t>(record[0])] = static_cast<uint8_t>(record[1]);
    });
}

// Records follow 06 02 and the 8-byte header; each is a symbology code,
// the code's characters and, when the device stamps them, 4 bytes of time.
bool VTBarcodeScannerCS1504::DecodeUpload(std::string_view answer, const Parameters& parameters,
                                          VTScanDataSet& scans)
{
    constexpr std::size_t kRecordsAt = 10;
    if (answer.size() < kRecordsAt + 2)
        return true;
    const std::size_t stamp = parameters[kTimeStamps] != 0 ? kTimeStampSize : 0;
    const std::string_view records = answer.substr(kRecordsAt, answer.size() - kRecordsAt - 2);
    return ForEachRecord(records, [&](std::string_view record) {
        if (record.size() < 2 + stamp || record[0] == 0)
            return;
        const ScanType type = SymbologyType(static_cast<uint8_t>(record[0]));
        if ((type == kScanTypeUPCA && parameters[kUPCA] == 0) ||
            (type == kScanTypeUPCE && parameters[kUPCE] == 0))
            return;
        scans.Add(type, std::string(record.substr(1, record.size() - 1 - stamp)));
    });
}

// No device in the cradle: idle. In the cradle but silent: ask again at once.
VTInfoPenBase::PassStep VTBarcodeScannerCS1504::BeginPass()
{
    if (!GetPort().IsCTSOn())
        return PassStep::kIdle;
    return Interrogate() ? PassStep::kContinue : PassStep::kRetry;
}

bool VTBarcodeScannerCS1504::BeforeUpload()
{
    std::string answer;
    if (!Transaction(MakeGetParametersCommand(), 0, GetTimeout(kUploadAnswer), answer) ||
        answer.size() <= 4 || !IsAnswer(answer))
        return false;
    Parameters parameters;
    if (!ParseParameters(answer, parameters))
        return false;
    m_parameters = parameters;
    return true;
}

bool VTBarcodeScannerCS1504::DecodeUploadAnswer(std::string_view answer, VTScanDataSet& scans)
{
    return DecodeUpload(answer, m_parameters, scans);
}

bool VTBarcodeScannerCS1504::AfterClear()
{
    return SendParameters(ParameterTriples(m_parameters));
}

bool VTBarcodeScannerCS1504::ResetDevice()
{
    VTSerialPort& port = GetPort();
    port.SetDTR(false);
    port.SetRTS(false);
    if (!Pause(kResetLowMs))
        return false;
    port.SetDTR(true);
    port.SetRTS(true);
    return Pause(kResetWakeMs);
}

void VTBarcodeScannerCS1504::RunDetect()
{
    try {
        int found = 0;
        if (!ResetDevice() || !InterrogateAttempts(found))
            return;
        if (found)
            PowerDown();
        DeliverDetectResult(found);
    } catch (const VTSerialPortException& error) {
        DeliverScannerError(error.GetMessage());
    }
}

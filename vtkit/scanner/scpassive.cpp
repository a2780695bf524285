#include "vtkit/scanner/scpassive.h"

#include "vtkit/scanner/srexcep.h"

#include <algorithm>

namespace {

// Bytes asked for per read while a burst lasts.
constexpr std::size_t kBurstRead = 8;

} // namespace

VTPassiveSerialBarcodeScanner::VTPassiveSerialBarcodeScanner(VTSerialSystem& system)
    : VTPassiveSerialBarcodeScanner(system, 250, 500)
{
}

VTPassiveSerialBarcodeScanner::VTPassiveSerialBarcodeScanner(VTSerialSystem& system,
                                                             uint32_t firstByteTimeoutMs,
                                                             uint32_t gapTimeoutMs)
    : VTSerialBarcodeScanner(system), m_firstByteTimeout(firstByteTimeoutMs), m_gapTimeout(gapTimeoutMs)
{
}

VTPassiveSerialBarcodeScanner::~VTPassiveSerialBarcodeScanner()
{
    // The worker uses the burst buffer.
    Stop(true);
}

uint32_t VTPassiveSerialBarcodeScanner::GetFirstByteTimeout() const
{
    std::lock_guard lock(Monitor());
    return m_firstByteTimeout;
}

void VTPassiveSerialBarcodeScanner::SetFirstByteTimeout(uint32_t timeoutMs)
{
    std::lock_guard lock(Monitor());
    m_firstByteTimeout = timeoutMs;
}

uint32_t VTPassiveSerialBarcodeScanner::GetGapTimeout() const
{
    std::lock_guard lock(Monitor());
    return m_gapTimeout;
}

void VTPassiveSerialBarcodeScanner::SetGapTimeout(uint32_t timeoutMs)
{
    std::lock_guard lock(Monitor());
    m_gapTimeout = timeoutMs;
}

bool VTPassiveSerialBarcodeScanner::GetSplitLines() const
{
    std::lock_guard lock(Monitor());
    return m_splitLines;
}

void VTPassiveSerialBarcodeScanner::SetSplitLines(bool split)
{
    std::lock_guard lock(Monitor());
    m_splitLines = split;
}

VTScanData VTPassiveSerialBarcodeScanner::MakeScanData(const std::string& line)
{
    return {kScanTypeUnknown, line};
}

void VTPassiveSerialBarcodeScanner::RunScan()
{
    m_buffer.clear();
    while (IsScanning()) {
        try {
            ReadBurst();
            if (!m_buffer.empty())
                DeliverBurst();
            m_buffer.clear();
        } catch (const VTSerialPortReceiveError&) {
            m_buffer.clear();
            GetPort().ClearErrors();
            GetPort().Drain(GetGapTimeout());
        } catch (const VTSerialPortException& error) {
            DeliverScannerError(error.GetMessage());
            return;
        }
    }
}

// Waits for the first byte, then reads until the line stays quiet for the
// gap time.
void VTPassiveSerialBarcodeScanner::ReadBurst()
{
    std::string chunk;
    if (!GetPort().Read(chunk, 1, GetFirstByteTimeout()))
        return;
    m_buffer += chunk;
    const uint32_t gap = GetGapTimeout();
    while (m_buffer.size() < kMaxBurst &&
           GetPort().Read(chunk, std::min(kBurstRead, kMaxBurst - m_buffer.size()), gap))
        m_buffer += chunk;
}

std::vector<std::string> VTPassiveSerialBarcodeScanner::SplitBurst(std::string_view burst)
{
    const std::string_view text = burst.substr(0, burst.find('\0'));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        if (end > start)
            lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void VTPassiveSerialBarcodeScanner::DeliverBurst()
{
    VTScanDataSet scans;
    if (GetSplitLines()) {
        for (const auto& line : SplitBurst(m_buffer))
            scans.Add(MakeScanData(line));
    } else {
        scans.Add(MakeScanData(m_buffer));
    }
    DeliverScanDataUnlocked(scans);
}

VTBarcodeScannerWelchAllyn6180::VTBarcodeScannerWelchAllyn6180(VTSerialSystem& system)
    : VTPassiveSerialBarcodeScanner(system, 1000, 100)
{
}

VTBarcodeScannerWelchAllyn6180::~VTBarcodeScannerWelchAllyn6180() = default;

// The identifier letter is always removed, known or not.
VTScanData VTBarcodeScannerWelchAllyn6180::MakeScanData(const std::string& line)
{
    if (line.empty())
        return {kScanTypeUnknown, line};
    ScanType type = kScanTypeUnknown;
    switch (line[0]) {
    case 'c':
        type = kScanTypeUPC;
        break;
    case 'd':
        type = kScanTypeUPCOrEAN;
        break;
    case 'j':
        type = kScanTypeCode128;
        break;
    default:
        break;
    }
    return {type, line.substr(1)};
}

VTBarcodeScannerAIM::VTBarcodeScannerAIM(VTSerialSystem& system)
    : VTPassiveSerialBarcodeScanner(system, 1000, 100)
{
}

VTBarcodeScannerAIM::~VTBarcodeScannerAIM() = default;

// "]" letter "0": the identifier is removed and the letter gives the type.
// Any other line is kept whole.
VTScanData VTBarcodeScannerAIM::MakeScanData(const std::string& line)
{
    if (line.size() <= 2 || line[0] != ']' || line[2] != '0')
        return {kScanTypeUnknown, line};
    ScanType type = kScanTypeUnknown;
    if (line[1] == 'C')
        type = kScanTypeCode128;
    else if (line[1] == 'E')
        type = kScanTypeUPCOrEAN;
    return {type, line.substr(3)};
}

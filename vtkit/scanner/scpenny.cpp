#include "vtkit/scanner/scpenny.h"

#include "tst/tsexcep.h"
#include "vtkit/scanner/srexcep.h"

#include <algorithm>
#include <chrono>
#include <exception>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kQuietRead = 16;

uint32_t RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

Clock::time_point After(uint32_t ms)
{
    return Clock::now() + std::chrono::milliseconds(ms);
}

// The two mode bits of a block gap or size: the index in its table.
uint8_t ModeBits(uint32_t value, const std::array<uint32_t, 4>& allowed)
{
    const auto found = std::find(allowed.begin(), allowed.end(), value);
    TS_ASSERT_MSG(found != allowed.end(), "value not allowed by the device");
    return static_cast<uint8_t>(found - allowed.begin());
}

constexpr std::array<uint32_t, 4> kBlockGaps{10, 100, 250, 1000};
constexpr std::array<uint32_t, 4> kBlockSizes{16, 32, 64, 128};

} // namespace

VTPennyScanner::VTPennyScanner(VTSerialSystem& system) : VTSerialBarcodeScanner(system) {}

VTPennyScanner::~VTPennyScanner()
{
    Stop(true);
}

bool VTPennyScanner::CanDetect()
{
    return true;
}

void VTPennyScanner::Stop(bool wait)
{
    m_pause.Release();
    VTSerialBarcodeScanner::Stop(wait);
}

bool VTPennyScanner::GetClearAfterDownload() const
{
    std::lock_guard lock(Monitor());
    return m_clearAfterDownload;
}

void VTPennyScanner::SetClearAfterDownload(bool clear)
{
    std::lock_guard lock(Monitor());
    m_clearAfterDownload = clear;
}

uint32_t VTPennyScanner::GetBreakPulses() const
{
    std::lock_guard lock(Monitor());
    return m_breakPulses;
}

void VTPennyScanner::SetBreakPulses(uint32_t pulses)
{
    std::lock_guard lock(Monitor());
    m_breakPulses = pulses;
}

uint32_t VTPennyScanner::GetBlockGap() const
{
    std::lock_guard lock(Monitor());
    return m_blockGap;
}

void VTPennyScanner::SetBlockGap(uint32_t gapMs)
{
    ModeBits(gapMs, kBlockGaps);
    std::lock_guard lock(Monitor());
    m_blockGap = gapMs;
}

uint32_t VTPennyScanner::GetBlockSize() const
{
    std::lock_guard lock(Monitor());
    return m_blockSize;
}

void VTPennyScanner::SetBlockSize(uint32_t size)
{
    ModeBits(size, kBlockSizes);
    std::lock_guard lock(Monitor());
    m_blockSize = size;
}

uint32_t VTPennyScanner::GetRewriteAttempts() const
{
    std::lock_guard lock(Monitor());
    return m_rewriteAttempts;
}

void VTPennyScanner::SetRewriteAttempts(uint32_t attempts)
{
    std::lock_guard lock(Monitor());
    m_rewriteAttempts = attempts;
}

uint32_t VTPennyScanner::GetTimeout(std::size_t index) const
{
    TS_ASSERT(index < kTimeoutCount);
    std::lock_guard lock(Monitor());
    return m_timeouts[index];
}

void VTPennyScanner::SetTimeout(std::size_t index, uint32_t timeoutMs)
{
    TS_ASSERT(index < kTimeoutCount);
    std::lock_guard lock(Monitor());
    m_timeouts[index] = timeoutMs;
}

uint8_t VTPennyScanner::MakeModeByte(bool download) const
{
    // Bit 4 is the device's own and stays clear.
    return static_cast<uint8_t>((download ? 0x80 : 0x00) | (ModeBits(GetBlockGap(), kBlockGaps) << 2) |
                                ModeBits(GetBlockSize(), kBlockSizes));
}

uint16_t VTPennyScanner::BlockCrc(std::string_view bytes)
{
    uint16_t crc = 0;
    for (char c : bytes) {
        crc ^= static_cast<uint16_t>(static_cast<uint8_t>(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc =
                (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

bool VTPennyScanner::NeedsRewrite(const VTPennyMemoryImage& image, bool holdsScans) const
{
    return (holdsScans && GetClearAfterDownload()) || image.NeedsConfiguration();
}

int VTPennyScanner::OpenForDetect()
{
    m_pause.Empty();
    return VTSerialBarcodeScanner::OpenForDetect();
}

int VTPennyScanner::OpenForScan()
{
    m_pause.Empty();
    return VTSerialBarcodeScanner::OpenForScan();
}

void VTPennyScanner::CloseAfterDetect()
{
    m_pause.Empty();
    VTSerialBarcodeScanner::CloseAfterDetect();
}

void VTPennyScanner::CloseAfterScan()
{
    m_pause.Empty();
    VTSerialBarcodeScanner::CloseAfterScan();
}

void VTPennyScanner::AdjustPortConfig(VTSerialPortConfig& config)
{
    config.baudRate = 19200;
    config.dataBits = 8;
    config.parity = VTSerialPortConfig::kParityNone;
    config.stopBits = VTSerialPortConfig::kTwoStopBits;
    config.dtrOn = 1;
    config.rtsOn = 0;
    config.abortOnError = 0;
}

bool VTPennyScanner::Pause(uint32_t durationMs)
{
    return m_pause.Pause(durationMs);
}

bool VTPennyScanner::IsHiccup(const VTSerialPortException& error)
{
    return error.GetCode() == VTSerialPortException::kTimeout ||
           error.GetCode() == VTSerialPortException::kReceiveError;
}

void VTPennyScanner::WriteByte(uint8_t byte)
{
    const char bytes[1] = {static_cast<char>(byte)};
    GetPort().Write(bytes, 1, GetPort().GetTwoCharTime());
}

int VTPennyScanner::WaitForByte(uint8_t byte, uint32_t timeoutMs)
{
    VTSerialPort& port = GetPort();
    const auto deadline = After(timeoutMs);
    std::string got;
    for (;;) {
        if (!IsScanning())
            return kStopping;
        const uint32_t left = RemainingMs(deadline);
        if (left == 0)
            return kFailed;
        try {
            port.ClearErrors();
            if (!port.Read(got, 1, left))
                return kFailed;
            if (static_cast<uint8_t>(got[0]) == byte)
                return kDone;
        } catch (const VTSerialPortException& error) {
            if (!IsHiccup(error))
                throw;
        }
    }
}

// Measured from the start: bytes that keep coming hold the line busy.
bool VTPennyScanner::WaitForQuiet(uint32_t timeoutMs)
{
    VTSerialPort& port = GetPort();
    const auto deadline = After(timeoutMs);
    std::string discarded;
    for (;;) {
        if (!IsScanning())
            return false;
        try {
            port.ClearErrors();
            if (!port.Read(discarded, kQuietRead, RemainingMs(deadline)))
                return true;
        } catch (const VTSerialPortException& error) {
            if (!IsHiccup(error))
                throw;
        }
    }
}

// The device calls with 0xFC until it hears 0x80, which it echoes. A call
// whose echo does not come is followed by the next call.
int VTPennyScanner::AnswerCall(uint32_t timeoutMs)
{
    VTSerialPort& port = GetPort();
    const auto deadline = After(timeoutMs);
    std::string got;
    for (;;) {
        if (!IsScanning())
            return kStopping;
        const uint32_t left = RemainingMs(deadline);
        if (left == 0)
            return kFailed;
        try {
            port.ClearErrors();
            if (!port.Read(got, 1, left))
                return kFailed;
            if (static_cast<uint8_t>(got[0]) != kCall)
                continue;
            WriteByte(kCallAnswer);
            if (const int echo = WaitForByte(kCallAnswer, GetTimeout(kEchoWait)); echo != kFailed)
                return echo;
        } catch (const VTSerialPortException& error) {
            if (!IsHiccup(error))
                throw;
        }
    }
}

int VTPennyScanner::Synchronise()
{
    if (!WaitForQuiet(GetTimeout(kSyncWait)))
        return kStopping;
    try {
        WriteByte(kSync);
    } catch (const VTSerialPortException& error) {
        if (!IsHiccup(error))
            throw;
        return kFailed;
    }
    return WaitForByte(kSync, GetTimeout(kSyncWait));
}

// Reads twice a block's worth and keeps the last block: bytes before it are
// the line settling.
bool VTPennyScanner::ReadBlock(std::string& block)
{
    VTSerialPort& port = GetPort();
    const std::size_t size = GetBlockSize() + 2;
    std::string got;
    try {
        port.ClearErrors();
        port.Read(got, 2 * size, GetBlockGap() / 2);
    } catch (const VTSerialPortReceiveError&) {
        return false;
    }
    if (got.size() < size)
        return false;
    block = got.substr(got.size() - size);
    return true;
}

int VTPennyScanner::Download()
{
    VTSerialPort& port = GetPort();
    const std::size_t blockSize = GetBlockSize();
    m_image.Clear();
    port.ClearErrors();
    const char command[2] = {static_cast<char>(kCommand), static_cast<char>(MakeModeByte(true))};
    port.Write(command, 2, 2 * port.GetTwoCharTime());
    for (;;) {
        if (!IsScanning())
            return kStopping;
        std::string block;
        if (!ReadBlock(block) || BlockCrc(block) != 0 ||
            !m_image.Append(std::string_view(block).substr(0, blockSize)))
            return kFailed;
        if (m_image.IsComplete())
            break;
        WriteByte(kAcknowledge);
    }
    return Pause(2 * GetBlockGap()) ? kDone : kStopping;
}

// The header goes back in blocks, each acknowledged by the device.
int VTPennyScanner::WriteImage()
{
    VTSerialPort& port = GetPort();
    const std::size_t blockSize = GetBlockSize();
    const uint32_t gap = GetBlockGap();
    port.ClearErrors();
    const char command[2] = {static_cast<char>(kCommand), static_cast<char>(MakeModeByte(false))};
    port.Write(command, 2, 2 * port.GetTwoCharTime());
    if (!Pause(GetTimeout(kRewriteStartPause)))
        return kStopping;
    int result = kDone;
    for (std::size_t offset = 0; offset < VTPennyMemoryImage::kHeaderSize && result == kDone;
         offset += blockSize) {
        std::string block(m_image.GetBytes().substr(offset, blockSize));
        const uint16_t crc = BlockCrc(block);
        block += static_cast<char>(crc >> 8);
        block += static_cast<char>(crc & 0xFF);
        port.Write(block, port.GetTwoCharTime() * static_cast<uint32_t>(block.size()));
        result = WaitForByte(kAcknowledge, gap);
    }
    return Pause(2 * gap) ? result : kStopping;
}

int VTPennyScanner::Rewrite()
{
    m_image.PrepareRewrite();
    const uint32_t attempts = GetRewriteAttempts();
    int result = kFailed;
    for (uint32_t attempt = 0; attempt < attempts && result == kFailed; ++attempt) {
        result = AnswerCall(GetTimeout(kRewriteCallWait));
        if (result == kDone)
            result = Synchronise();
        if (result == kDone)
            result = WriteImage();
    }
    return result;
}

bool VTPennyScanner::SendBreakPulses()
{
    VTSerialPort& port = GetPort();
    const uint32_t pulses = GetBreakPulses();
    for (uint32_t pulse = 0; pulse < pulses; ++pulse) {
        port.SetBreak(true);
        const bool on = Pause(GetTimeout(kBreakOn));
        port.SetBreak(false);
        if (!on || !Pause(GetTimeout(kBreakOff))) {
            port.ClearErrors();
            return false;
        }
    }
    port.ClearErrors();
    return true;
}

void VTPennyScanner::Reporting(const std::function<void()>& step)
{
    try {
        step();
    } catch (const TSException& error) {
        DeliverScannerError(error.GetMessage());
    } catch (const std::exception& error) {
        DeliverScannerError(error.what());
    } catch (...) {
        DeliverScannerError("Unknown Exception");
    }
}

// Found when the device's call bytes, 0xFC and 0xFF, both come within the window.
void VTPennyScanner::RunDetect()
{
    Reporting([this] {
        VTSerialPort& port = GetPort();
        const auto deadline = After(GetTimeout(kDetectWindow));
        bool call = false, idle = false;
        std::string got;
        while (!(call && idle)) {
            const uint32_t left = RemainingMs(deadline);
            port.ClearErrors();
            if (left == 0 || !port.Read(got, 1, left))
                break;
            call = call || static_cast<uint8_t>(got[0]) == kCall;
            idle = idle || static_cast<uint8_t>(got[0]) == kCallIdle;
        }
        DeliverDetectResult(call && idle ? 1 : 0);
    });
}

bool VTPennyScanner::RunPass()
{
    int result = AnswerCall(GetTimeout(kCallWait));
    if (result == kDone)
        result = Synchronise();
    if (result == kDone)
        result = Download();
    if (result != kDone)
        return result != kStopping;
    const VTScanDataSet scans = DecodeImage(m_image);
    const int rewrite = NeedsRewrite(m_image, scans.GetCount() > 0) ? Rewrite() : kDone;
    const bool signalled = rewrite != kStopping && SendBreakPulses();
    // Even when stopping: the rewrite may already have emptied the device's
    // memory, and these codes would be lost.
    DeliverScanData(scans);
    return signalled;
}

void VTPennyScanner::RunScan()
{
    Reporting([this] {
        while (IsScanning() && RunPass()) {
        }
    });
}

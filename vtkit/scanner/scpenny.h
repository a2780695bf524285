#pragma once

#include "vtkit/scanner/scpause.h"
#include "vtkit/scanner/scpennydata.h"
#include "vtkit/scanner/scserial.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class VTSerialPortException;

// The Pennyscanner hands its memory over through an optocoupler when its
// button is pressed: it calls with 0xFC until answered. The worker answers,
// synchronises, downloads the memory image in CRC-checked blocks, decodes
// the stored codes, rewrites the image header when the memory is to be
// emptied or the device's configuration corrected, signals the device with
// break pulses and delivers the codes.
class VTPennyScanner : public VTSerialBarcodeScanner {
public:
    // Indices of the time-out table, in milliseconds.
    static constexpr std::size_t kDetectWindow = 0;
    static constexpr std::size_t kBreakOn = 1;           // per pulse
    static constexpr std::size_t kBreakOff = 2;          // per pulse
    static constexpr std::size_t kCallWait = 4;          // the device's call in the scanning loop
    static constexpr std::size_t kEchoWait = 5;          // the echo after answering a call
    static constexpr std::size_t kSyncWait = 6;          // quiet before synchronising, and its echo
    static constexpr std::size_t kRewriteCallWait = 7;   // the device's call before a rewrite
    static constexpr std::size_t kRewriteStartPause = 8; // between the rewrite command and its first block
    static constexpr std::size_t kTimeoutCount = 9;
    using Timeouts = std::array<uint32_t, kTimeoutCount>;

    // Bytes of the exchange.
    static constexpr uint8_t kCall = 0xFC;
    static constexpr uint8_t kCallIdle = 0xFF; // seen with the calls; detection wants both
    static constexpr uint8_t kCallAnswer = 0x80;
    static constexpr uint8_t kSync = 0x7F;
    static constexpr uint8_t kCommand = 0x55;
    static constexpr uint8_t kAcknowledge = 0x06;

    // Results of the exchange steps.
    static constexpr int kDone = 0;
    static constexpr int kFailed = 1;
    static constexpr int kStopping = 2;

    explicit VTPennyScanner(VTSerialSystem& system = VTSerialSystem::Real());
    ~VTPennyScanner() override;

    bool CanDetect() override;
    // Wakes a sleeping worker first.
    void Stop(bool wait) override;

    bool GetClearAfterDownload() const;
    void SetClearAfterDownload(bool clear);
    uint32_t GetBreakPulses() const;
    void SetBreakPulses(uint32_t pulses);
    // 10, 100, 250 or 1000 ms; anything else is a programming error.
    uint32_t GetBlockGap() const;
    void SetBlockGap(uint32_t gapMs);
    // 16, 32, 64 or 128 bytes; anything else is a programming error.
    uint32_t GetBlockSize() const;
    void SetBlockSize(uint32_t size);
    uint32_t GetRewriteAttempts() const;
    void SetRewriteAttempts(uint32_t attempts);
    // An index above 8 is a programming error.
    uint32_t GetTimeout(std::size_t index) const;
    void SetTimeout(std::size_t index, uint32_t timeoutMs);

    // The byte after 0x55: bit 7 for a download, the block gap in bits 2-3
    // and the block size in bits 0-1.
    uint8_t MakeModeByte(bool download) const;
    // CRC-16/XMODEM; a block followed by its CRC, high byte first, gives 0.
    static uint16_t BlockCrc(std::string_view bytes);
    // A rewrite empties the memory of delivered codes and corrects the
    // configuration.
    bool NeedsRewrite(const VTPennyMemoryImage& image, bool holdsScans) const;

protected:
    int OpenForDetect() override;
    int OpenForScan() override;
    void CloseAfterDetect() override;
    void CloseAfterScan() override;
    // 19200 baud, 8 data bits, no parity, two stop bits, DTR on, RTS off,
    // no abort on error.
    void AdjustPortConfig(VTSerialPortConfig& config) override;
    void RunDetect() override;
    void RunScan() override;

private:
    // One pass of the scanning loop; false ends the worker.
    bool RunPass();
    // Runs a worker step, reporting what escapes it to the listener.
    void Reporting(const std::function<void()>& step);
    // False when the scanner is stopping.
    bool Pause(uint32_t durationMs);

    int WaitForByte(uint8_t byte, uint32_t timeoutMs);
    bool WaitForQuiet(uint32_t timeoutMs);
    int AnswerCall(uint32_t timeoutMs);
    int Synchronise();
    bool ReadBlock(std::string& block);
    int Download();
    int Rewrite();
    int WriteImage();
    bool SendBreakPulses();
    void WriteByte(uint8_t byte);
    // A write that timed out or a garbled read fails the step; anything
    // else (the device went away) ends the worker.
    static bool IsHiccup(const VTSerialPortException& error);

    VTPauseSemaphore m_pause;
    bool m_clearAfterDownload = true;
    uint32_t m_breakPulses = 3;
    uint32_t m_blockGap = 250;
    uint32_t m_blockSize = 64;
    Timeouts m_timeouts{250, 1000, 500, 250, 500, 250, 250, 500, 5};
    uint32_t m_rewriteAttempts = 3;
    // The last download; the worker's alone.
    VTPennyMemoryImage m_image;
};

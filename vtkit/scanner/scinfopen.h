#pragma once

#include "vtkit/scanner/scpause.h"
#include "vtkit/scanner/scserial.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The engine of the memory scanners that answer a command protocol. The
// worker polls the port; when a device answers it uploads the stored codes,
// clears the device's memory, adjusts its settings, delivers the codes and
// tells the device to power down. The base speaks the XOR-checked framing
// of the CyberPen and the CS2000: a command byte, 0x02, data, 0x00 and the
// check; answers begin 0x06 0x02 and end with the check.
class VTInfoPenBase : public VTSerialBarcodeScanner {
public:
    // Indices of the time-out table, in milliseconds.
    static constexpr std::size_t kAnswerGap =
        0; // reads after an answer's first byte; drain after a line error
    static constexpr std::size_t kInterrogateAnswer = 1; // first byte of each answer ...
    static constexpr std::size_t kSetParametersAnswer = 2;
    static constexpr std::size_t kUploadAnswer = 3; // also get parameters
    static constexpr std::size_t kClearAnswer = 4;
    static constexpr std::size_t kPowerDownAnswer = 5;
    static constexpr std::size_t kIdlePause = 6;   // between polls while no device answers
    static constexpr std::size_t kStepPause = 7;   // between the steps of one exchange
    static constexpr std::size_t kUploadPause = 8; // after a completed upload
    static constexpr std::size_t kDetectPause = 9; // between detection attempts
    static constexpr std::size_t kTimeoutCount = 10;
    using Timeouts = std::array<uint32_t, kTimeoutCount>;

    // Command bytes.
    static constexpr uint8_t kInterrogate = 0x01;
    static constexpr uint8_t kClearMemory = 0x02;
    static constexpr uint8_t kSetParameters = 0x03;
    static constexpr uint8_t kPowerDown = 0x05;
    static constexpr uint8_t kUpload = 0x07;
    static constexpr uint8_t kGetParameters = 0x08;

    // Parameter2Value meaning "leave the device's volume as it is".
    static constexpr int32_t kLeaveParameter = -1;
    // An answer that grows beyond this is noise: the transaction fails
    // instead of reading for ever.
    static constexpr std::size_t kMaxAnswer = 65536;

    ~VTInfoPenBase() override;

    bool CanDetect() override;
    // Wakes a sleeping worker first.
    void Stop(bool wait) override;

    bool GetClearAfterUpload() const;
    void SetClearAfterUpload(bool clear);
    bool GetPowerDownAfterUpload() const;
    void SetPowerDownAfterUpload(bool powerDown);
    // Off: the worker ends after the first upload it delivered.
    bool GetKeepPolling() const;
    void SetKeepPolling(bool keepPolling);
    uint32_t GetDetectAttempts() const;
    void SetDetectAttempts(uint32_t attempts);
    // The device's beep volume (parameter 2), or kLeaveParameter.
    int32_t GetParameter2Value() const;
    void SetParameter2Value(int32_t value);
    // An index above 9 is a programming error.
    uint32_t GetTimeout(std::size_t index) const;
    void SetTimeout(std::size_t index, uint32_t timeoutMs);

    // A command as it goes on the wire, with the check of this family.
    std::string MakeCommand(uint8_t command, std::string_view data = {}) const;
    // The CyberPen and CS2000 settings: beep on, parameter 0x0C off and,
    // unless left alone, the volume.
    std::string MakeSetParametersCommand() const;
    // True when `answer` begins 06 02 and its check is right.
    bool IsAnswer(std::string_view answer) const;

    static uint8_t XorCheck(std::string_view bytes);
    // Walks a record list: a length byte n and n bytes each, up to a length
    // of 0 or the end. False when a record runs past the end.
    static bool ForEachRecord(std::string_view records, const std::function<void(std::string_view)>& visit);
    // The codes of a checked CyberPen or CS2000 upload answer, in stored
    // order. False when the record list runs past the answer.
    static bool DecodeUpload(std::string_view answer, VTScanDataSet& scans);

protected:
    VTInfoPenBase(VTSerialSystem& system, const Timeouts& timeouts);

    int OpenForDetect() override;
    int OpenForScan() override;
    void CloseAfterDetect() override;
    void CloseAfterScan() override;
    // 2400 baud, 8 data bits, odd parity.
    void AdjustPortConfig(VTSerialPortConfig& config) override;
    void RunDetect() override;
    void RunScan() override;

    // How a pass of the scanning loop goes on.
    enum class PassStep {
        kContinue, // the device answered: upload
        kIdle,     // no device: pause for the idle time
        kRetry,    // a step failed: start the next pass at once
        kUploaded, // codes were delivered: pause for the upload time
        kEnd,      // the worker ends
    };

    // Framing of the family: the check's size and bytes, the upload header.
    virtual std::size_t CheckSize() const;
    virtual std::string MakeCheck(std::string_view bytes) const;
    virtual bool HasValidCheck(std::string_view answer) const;
    virtual std::size_t UploadHeaderSize() const;
    // The steps where the families differ.
    virtual PassStep BeginPass();
    virtual bool BeforeUpload();
    virtual bool DecodeUploadAnswer(std::string_view answer, VTScanDataSet& scans);
    virtual bool AfterClear();

    // False when the scanner is stopping.
    bool Pause(uint32_t durationMs);
    bool PauseFor(std::size_t index) { return Pause(GetTimeout(index)); }

    // Sends a command and collects its answer: `expected` bytes, or with 0
    // whatever comes until the line is quiet. False when the device did
    // not answer in time or the line garbled the answer.
    bool Transaction(std::string_view command, std::size_t expected, uint32_t firstByteMs,
                     std::string& answer);
    bool Interrogate();
    // Up to DetectAttempts interrogations; false when stopping.
    bool InterrogateAttempts(int& found);
    bool PowerDown();
    // One setting in a set-parameters command: 02, number, value.
    static std::string Triple(uint8_t number, uint8_t value);
    // The set-parameters exchange for the given triples; none is success.
    bool SendParameters(std::string_view triples);

private:
    PassStep RunPass();
    bool Upload();
    bool ClearMemory();
    // Commands answered by exactly 06 02 00 and the check.
    bool SimpleCommand(uint8_t command, std::size_t timeoutIndex);
    std::string ParameterTriples() const;

    VTPauseSemaphore m_pause;
    bool m_clearAfterUpload = true;
    bool m_powerDownAfterUpload = true;
    bool m_keepPolling = true;
    uint32_t m_detectAttempts = 3;
    Timeouts m_timeouts;
    int32_t m_parameter2Value = kLeaveParameter;
    // The codes of the last upload; the worker's alone. Each upload makes a
    // new set, so a set a listener kept never changes under it.
    VTScanDataSet m_scans;
};

// The CyberPen (also the A. T. Cross NetPen).
class VTBarcodeScannerInfoPen final : public VTInfoPenBase {
public:
    explicit VTBarcodeScannerInfoPen(VTSerialSystem& system = VTSerialSystem::Real());
    ~VTBarcodeScannerInfoPen() override;
};

// The CS2000: the CyberPen's protocol, a longer rest after an upload.
class VTBarcodeScannerCS2000 final : public VTInfoPenBase {
public:
    explicit VTBarcodeScannerCS2000(VTSerialSystem& system = VTSerialSystem::Real());
    ~VTBarcodeScannerCS2000() override;
};

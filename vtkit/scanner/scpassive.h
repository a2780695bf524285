#pragma once

#include "vtkit/scanner/scserial.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A scanner that sends each code it reads as a line, unasked. The worker
// waits for a burst, cuts it into lines and delivers one scan per line.
class VTPassiveSerialBarcodeScanner : public VTSerialBarcodeScanner {
public:
    // A burst that never pauses is delivered in pieces of this size, so that
    // noise on the line neither fills memory nor keeps the worker from stopping.
    static constexpr std::size_t kMaxBurst = 4096;

    explicit VTPassiveSerialBarcodeScanner(VTSerialSystem& system = VTSerialSystem::Real());
    ~VTPassiveSerialBarcodeScanner() override;

    // How long one wait for the start of a burst lasts; a stop is noticed
    // within it (plus a burst in progress).
    uint32_t GetFirstByteTimeout() const;
    void SetFirstByteTimeout(uint32_t timeoutMs);
    // The silence that ends a burst; also the drain time after a line error.
    uint32_t GetGapTimeout() const;
    void SetGapTimeout(uint32_t timeoutMs);
    // Whether a burst is cut into lines at CR and LF.
    bool GetSplitLines() const;
    void SetSplitLines(bool split);

    // The non-empty lines of a burst cut at CR and LF. The burst is text: it
    // ends at its first NUL byte.
    static std::vector<std::string> SplitBurst(std::string_view burst);

    // Turns one line into a scan: the generic scanner keeps the line as it is.
    virtual VTScanData MakeScanData(const std::string& line);

protected:
    VTPassiveSerialBarcodeScanner(VTSerialSystem& system, uint32_t firstByteTimeoutMs, uint32_t gapTimeoutMs);

    void RunScan() override;

private:
    void ReadBurst();
    void DeliverBurst();

    std::string m_buffer; // the worker's alone
    uint32_t m_firstByteTimeout;
    uint32_t m_gapTimeout;
    bool m_splitLines = true;
};

// The Welch Allyn 6180 wand: each line begins with a one-letter symbology
// identifier.
class VTBarcodeScannerWelchAllyn6180 : public VTPassiveSerialBarcodeScanner {
public:
    explicit VTBarcodeScannerWelchAllyn6180(VTSerialSystem& system = VTSerialSystem::Real());
    ~VTBarcodeScannerWelchAllyn6180() override;

    VTScanData MakeScanData(const std::string& line) override;
};

// Scanners that prefix each code with a three-character AIM symbology
// identifier ("]E0").
class VTBarcodeScannerAIM : public VTPassiveSerialBarcodeScanner {
public:
    explicit VTBarcodeScannerAIM(VTSerialSystem& system = VTSerialSystem::Real());
    ~VTBarcodeScannerAIM() override;

    VTScanData MakeScanData(const std::string& line) override;
};

#pragma once

#include "vtkit/scanner/scinfopen.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The CS1504 consumer memory scanner: the CyberPen's command set framed
// with a CRC-16, high byte first. It sits in a cradle that raises CTS; the
// worker talks to it only then. Before uploading it reads the device's
// settings, which decide whether records carry a time stamp and whether
// UPC-A and UPC-E codes are kept; after clearing it corrects them.
class VTBarcodeScannerCS1504 final : public VTInfoPenBase {
public:
    // Device parameter values by number; a parameter the device did not
    // report counts as 0.
    using Parameters = std::array<uint8_t, 256>;

    static constexpr uint8_t kVolume = 0x02;
    static constexpr uint8_t kTimeStamps = 0x23; // records end with a 4-byte stamp
    static constexpr uint8_t kUPCA = 0x2B;       // UPC-A records are kept
    static constexpr uint8_t kUPCE = 0x2C;       // UPC-E records are kept
    // What the engine asks for, in this order.
    static constexpr std::array<uint8_t, 7> kReadParameters{0x02, 0x09, 0x08, 0x35, 0x2B, 0x2C, 0x23};

    explicit VTBarcodeScannerCS1504(VTSerialSystem& system = VTSerialSystem::Real());
    ~VTBarcodeScannerCS1504() override;

    // The reflected CRC-16 of polynomial 0x8005, from 0xFFFF, complemented.
    static uint16_t Crc16(std::string_view bytes);

    std::string MakeGetParametersCommand() const;
    // The corrections the device's values need; empty when none is needed.
    std::string MakeSetParametersCommand(const Parameters& device) const;

    // The values of a checked get-parameters answer. False when a record
    // runs past the answer.
    static bool ParseParameters(std::string_view answer, Parameters& parameters);
    // The codes of a checked upload answer, in stored order, as the
    // device's parameters say. False when a record runs past the answer.
    static bool DecodeUpload(std::string_view answer, const Parameters& parameters, VTScanDataSet& scans);

protected:
    // 9600 baud, 8 data bits, odd parity, DTR and RTS on.
    void AdjustPortConfig(VTSerialPortConfig& config) override;
    void RunDetect() override;

    std::size_t CheckSize() const override;
    std::string MakeCheck(std::string_view bytes) const override;
    bool HasValidCheck(std::string_view answer) const override;
    std::size_t UploadHeaderSize() const override;
    PassStep BeginPass() override;
    bool BeforeUpload() override;
    bool DecodeUploadAnswer(std::string_view answer, VTScanDataSet& scans) override;
    bool AfterClear() override;

private:
    std::string ParameterTriples(const Parameters& device) const;
    // Drops DTR and RTS for a second: the device resets and listens.
    bool ResetDevice();

    // Read before each upload; the worker's alone.
    Parameters m_parameters{};
};

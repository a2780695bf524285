#pragma once

#include "vtkit/scanner/scandata.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// A Pennyscanner's memory as downloaded: a 128-byte header, then the
// records the device wrote upward, each its characters (below 0x80), an
// optional 4-byte field and a header byte with bit 7 set. Multi-byte values
// are little-endian.
class VTPennyMemoryImage {
public:
    static constexpr std::size_t kMaxLength = 4095;
    static constexpr std::size_t kHeaderSize = 128;
    static constexpr std::size_t kConfigurationAt = 0; // 4 bytes
    static constexpr std::size_t kEndPointerAt = 16;   // one past the last used byte
    static constexpr std::size_t kRewriteMarkAt = 18;  // 0 once rewritten
    static constexpr std::size_t kFormatAt = 24;       // above 3: the newer record types

    // Configuration bits the driver wants set, and those it wants clear.
    static constexpr uint32_t kBitsWanted = 0x4 | 0x8 | 0x10 | 0x20 | 0x40 | 0x100 | 0x800 | (1u << 23);
    static constexpr uint32_t kBitsUnwanted = 0x1000 | 0x2000 | 0x4000;

    void Clear() { m_length = 0; }
    // False, changing nothing, when the image would grow beyond kMaxLength.
    bool Append(std::string_view bytes);
    std::size_t GetLength() const { return m_length; }
    std::string_view GetBytes() const;

    // Reading beyond the length is a programming error.
    uint8_t GetByte(std::size_t offset) const;
    uint16_t GetWord(std::size_t offset) const;
    // Writing beyond the length first extends the image with zero bytes.
    void SetWord(std::size_t offset, uint16_t value);

    uint32_t GetConfiguration() const;
    void SetConfiguration(uint32_t configuration);
    uint16_t GetEndPointer() const { return GetWord(kEndPointerAt); }
    uint8_t GetFormat() const { return GetByte(kFormatAt); }

    // At least the header and everything up to the end pointer is here.
    bool IsComplete() const;
    // The configuration lacks a wanted bit or has an unwanted one (bit 23
    // is set on a rewrite but not checked).
    bool NeedsConfiguration() const;
    // The header a rewrite sends: memory empty, the wanted configuration,
    // everything else as downloaded.
    void PrepareRewrite();

private:
    std::array<uint8_t, kMaxLength + 1> m_bytes{};
    std::size_t m_length = 0;
};

// The codes of a complete image, in the order the device stored them; an
// incomplete image gives none.
VTScanDataSet DecodeImage(const VTPennyMemoryImage& image);

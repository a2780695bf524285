#pragma once

#include "vtkit/cdanalyze.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One scan handed over by another program.
struct VTBarcodeDataBlockEntry {
    ScanType type = kScanTypeUnknown;
    std::string text;

    bool operator==(const VTBarcodeDataBlockEntry&) const = default;
};

// The byte format in which other programs hand scanned codes to the client:
// records of a length byte b, a type letter and b - 1 text bytes, ended by
// a zero byte that must be the last byte.
class VTBarcodeDataBlock {
public:
    // The longest text a record's length byte can carry.
    static constexpr std::size_t kMaxText = 254;

    // A block that does not parse leaves no entries. A null buffer with a
    // non-zero size raises the null-pointer error.
    bool Parse(const std::uint8_t* bytes, std::size_t size);

    // The scan type of a record's type letter: "A" to "H" give 1 to 8,
    // every other byte 0.
    static ScanType ScanTypeOfLetter(std::uint8_t letter);
    // The letter a block gives a scan type: "A" to "H" for 1 to 8, "Z" else.
    static std::uint8_t LetterOfScanType(ScanType type);
    // The block that parses to `entries`; none when a text is empty or
    // longer than kMaxText.
    static std::optional<std::string> Format(const std::vector<VTBarcodeDataBlockEntry>& entries);

    std::size_t Size() const { return m_entries.size(); }
    // An index past the end raises std::out_of_range.
    const VTBarcodeDataBlockEntry& operator[](std::size_t index) const { return m_entries.at(index); }
    const std::vector<VTBarcodeDataBlockEntry>& Entries() const { return m_entries; }

private:
    bool ParseRecords(const std::uint8_t* bytes, std::size_t size);

    std::vector<VTBarcodeDataBlockEntry> m_entries;
};

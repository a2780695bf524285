#include "vtkit/bcdblock.h"

#include "tst/tsexcep.h"

bool VTBarcodeDataBlock::Parse(const std::uint8_t* bytes, std::size_t size)
{
    if (size != 0)
        TS_CHECK_NULL(bytes);
    m_entries.clear();
    if (ParseRecords(bytes, size))
        return true;
    m_entries.clear();
    return false;
}

ScanType VTBarcodeDataBlock::ScanTypeOfLetter(std::uint8_t letter)
{
    return letter >= 'A' && letter <= 'H' ? static_cast<ScanType>(letter - 'A' + 1) : kScanTypeUnknown;
}

std::uint8_t VTBarcodeDataBlock::LetterOfScanType(ScanType type)
{
    return type >= kScanTypeCode128 && type <= kScanTypeEAN8 ? static_cast<std::uint8_t>('A' + type - 1)
                                                             : 'Z';
}

std::optional<std::string> VTBarcodeDataBlock::Format(const std::vector<VTBarcodeDataBlockEntry>& entries)
{
    std::string bytes;
    for (const VTBarcodeDataBlockEntry& entry : entries) {
        if (entry.text.empty() || entry.text.size() > kMaxText)
            return std::nullopt;
        bytes.push_back(static_cast<char>(entry.text.size() + 1));
        bytes.push_back(static_cast<char>(LetterOfScanType(entry.type)));
        bytes += entry.text;
    }
    bytes.push_back('\0');
    return bytes;
}

bool VTBarcodeDataBlock::ParseRecords(const std::uint8_t* bytes, std::size_t size)
{
    // An empty buffer lacks even the closing zero.
    for (std::size_t at = 0; at < size;) {
        const std::size_t left = size - at;
        const std::size_t length = bytes[at];
        if (length == 0)
            return left == 1;
        if (length + 1 >= left || length < 2)
            return false;
        const char* text = reinterpret_cast<const char*>(bytes + at + 2);
        m_entries.push_back({ScanTypeOfLetter(bytes[at + 1]), std::string(text, length - 1)});
        at += length + 1;
    }
    return false;
}

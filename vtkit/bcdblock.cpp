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

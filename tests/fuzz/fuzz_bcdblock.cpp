// Arbitrary bytes through VTBarcodeDataBlock::Parse. A block that parses
// must be exactly its records and the closing zero; one that does not must
// leave no entries.
#include "vtkit/bcdblock.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    VTBarcodeDataBlock block;
    if (!block.Parse(size ? data : nullptr, size)) {
        if (block.Size() != 0)
            __builtin_trap();
        return 0;
    }
    std::size_t at = 0;
    for (const auto& entry : block.Entries()) {
        const std::size_t length = entry.text.size() + 1;
        if (entry.text.empty() || data[at] != length ||
            entry.type != VTBarcodeDataBlock::ScanTypeOfLetter(data[at + 1]) ||
            std::memcmp(entry.text.data(), data + at + 2, entry.text.size()) != 0)
            __builtin_trap();
        at += length + 1;
    }
    if (at + 1 != size || data[at] != 0)
        __builtin_trap();
    return 0;
}

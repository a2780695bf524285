// Arbitrary bytes as a downloaded Pennyscanner memory image. Decoding never
// reads outside the image; every code it finds is a run of characters
// below 0x80 of the record area, with a known scan type; an image whose
// header was prepared for a rewrite holds no codes.
#include "vtkit/scanner/scpennydata.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void CheckScans(const VTScanDataSet& scans, std::string_view records)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < scans.GetCount(); ++i) {
        const VTScanData& scan = scans.GetAt(i);
        if (scan.text.empty() || scan.type < kScanTypeUnknown || scan.type > kScanTypeEAN8)
            __builtin_trap();
        const bool padded = scan.text.size() == 8 && scan.text[0] == '0';
        const std::string_view stored = padded ? std::string_view(scan.text).substr(1) : scan.text;
        // A padded text is the stored one with a "0" in front.
        if (records.find(stored) == std::string_view::npos)
            __builtin_trap();
        for (unsigned char c : scan.text)
            if (c >= 0x80)
                __builtin_trap();
        characters += stored.size();
    }
    if (characters > records.size())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    VTPennyMemoryImage image;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (!image.Append(bytes))
        return 0;
    const VTScanDataSet scans = DecodeImage(image);
    if (!image.IsComplete()) {
        if (scans.GetCount() != 0)
            __builtin_trap();
        return 0;
    }
    const std::size_t end = std::min<std::size_t>(image.GetEndPointer(), image.GetLength());
    const std::string_view records =
        end > VTPennyMemoryImage::kHeaderSize
            ? bytes.substr(VTPennyMemoryImage::kHeaderSize, end - VTPennyMemoryImage::kHeaderSize)
            : "";
    CheckScans(scans, records);
    image.PrepareRewrite();
    if (image.NeedsConfiguration() || DecodeImage(image).GetCount() != 0 || image.GetLength() != size)
        __builtin_trap();
    return 0;
}

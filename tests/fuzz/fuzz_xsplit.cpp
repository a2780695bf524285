// Arbitrary bytes as a format reply. Formats that read must write and read
// back to the same list.
#include "tests/fuzz/replyfuzz.h"
#include "vtkit/vtcachefile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto document = ParseReply(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!document || document->GetDocumentElement().IsNull())
        return 0;
    VTCodeFormatList formats;
    ReadCodeFormats(document->GetDocumentElement(), formats, VTCacheFile::kVersion);

    const std::string written = FormatDocument(WriteCodeFormats(formats, VTCacheFile::kVersion));
    VTCodeFormatList again;
    ReadCodeFormats(ParseDocument(written).GetDocumentElement(), again, VTCacheFile::kVersion);
    if (again.Size() != formats.Size())
        __builtin_trap();
    for (std::size_t i = 0; i < formats.Size(); ++i) {
        const VTCodeFormat& a = formats.At(i);
        const VTCodeFormat& b = again.At(i);
        if (!(a == b) || a.GetHighCode() != b.GetHighCode() || a.GetExpiry() != b.GetExpiry() ||
            a.GetRoutingIdLength() != b.GetRoutingIdLength() || a.GetItemIdOffset() != b.GetItemIdOffset() ||
            a.GetDisplayTemplate() != b.GetDisplayTemplate())
            __builtin_trap();
    }
    return 0;
}

// Arbitrary bytes as a format reply. A reply with an entry beyond the
// limits is refused; formats that read are within them and must write and
// read back to the same list.
#include "tests/fuzz/replyfuzz.h"
#include "tst/xml/dom/xmlutil/tsdomxmlexception.h"
#include "vtkit/vtcachefile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto document = ParseReply(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!document || document->GetDocumentElement().IsNull())
        return 0;
    VTCodeFormatList formats;
    try {
        ReadCodeFormats(document->GetDocumentElement(), formats, VTCacheFile::kVersion);
    } catch (const TSDomXmlException&) {
        return 0;
    }
    for (const VTCodeFormat& format : formats)
        if (!OverLimit(format).empty())
            __builtin_trap();

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

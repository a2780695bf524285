// Arbitrary bytes as a template reply. A reply with a key beyond the
// limits is refused; records that read are within them and must write and
// read back with the same keys, names, expiries and commands.
#include "tests/fuzz/replyfuzz.h"
#include "tst/xml/dom/xmlutil/tsdomxmlexception.h"
#include "vtkit/vtcachefile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto document = ParseReply(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!document)
        return 0;
    VTServerDataList records;
    try {
        if (!ReadServerTemplates(*document, records, VTCacheFile::kVersion))
            return 0;
    } catch (const TSDomXmlException&) {
        return 0;
    }
    for (const VTServerData& record : records)
        if (!OverLimit(record).empty())
            __builtin_trap();

    const std::string written = FormatDocument(WriteServerTemplates(records));
    VTServerDataList again;
    if (!ReadServerTemplates(ParseDocument(written), again, VTCacheFile::kVersion) ||
        again.Size() != records.Size())
        __builtin_trap();
    for (const VTServerData& record : records) {
        VTServerData read;
        if (!again.Find(record.GetCodeType(), record.GetKey(), read) || read.GetName() != record.GetName() ||
            read.GetExpiry() != record.GetExpiry() ||
            read.GetCommands().Size() != record.GetCommands().Size())
            __builtin_trap();
    }
    return 0;
}

// Arbitrary bytes as an error document, read with the core record refresh
// the routing and attach exchanges use.
#include "tests/fuzz/replyfuzz.h"
#include "vtkit/svrerror.h"
#include "vtkit/vttoolkit.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static VTToolkit* toolkit = new VTToolkit();
    const auto document = ParseReply(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!document)
        return 0;
    VTServerError error;
    error.SetToolkit(toolkit);
    error.SetStateNumber(304);
    const bool read = error.FromErrorDocument(*document, true);
    if (read != (error.GetKind() == VTServerError::kServer) || (read && error.GetServerNumber() < 0))
        __builtin_trap();
    if (read && !error.GetErrorCode().starts_with("S-304-"))
        __builtin_trap();
    // Whatever the refresh stored must still save as a core cache.
    std::string text;
    if (!toolkit->GetCoreCache().Serialize(text) ||
        toolkit->GetCoreCache().Parse(text) != VTCacheFile::kLoaded)
        __builtin_trap();
    return 0;
}

// A request line of item IDs, then arbitrary bytes as the XDESC reply to it.
// An accepted reply answers every code asked for exactly once.
#include "tests/fuzz/replyfuzz.h"
#include "vtkit/svrresolution.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const VTCodeDescriptionList request = SplitRequest(bytes);
    const auto document = ParseReply(bytes);
    if (!document)
        return 0;
    VTCodeDescriptionList answers;
    try {
        if (!ReadXDescReply(*document, request, answers))
            return 0;
    } catch (const TSException&) {
        return 0;
    }
    if (answers.Size() != request.Size())
        __builtin_trap();
    return 0;
}

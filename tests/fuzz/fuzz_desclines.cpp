// A request line of item IDs, then arbitrary bytes as the DESC2 line reply.
// An accepted reply answers every code asked for exactly once.
#include "tests/fuzz/replyfuzz.h"
#include "vtkit/svrresolution.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const VTCodeDescriptionList request = SplitRequest(bytes);
    VTCodeDescriptionList answers;
    try {
        ReadDescTextReply(bytes, request, answers);
    } catch (const TSException&) {
        return 0;
    }
    if (answers.Size() != request.Size())
        __builtin_trap();
    for (const VTCodeDescription& answer : answers)
        if (answer.GetDescription().find('\n') != std::string::npos)
            __builtin_trap();
    return 0;
}

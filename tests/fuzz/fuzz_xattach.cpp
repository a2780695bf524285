// A login line, then arbitrary bytes as the XATTACH reply to it. An attached
// result always carries a valid user id.
#include "tests/fuzz/replyfuzz.h"
#include "vtkit/svrregistration.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto end = bytes.find('\n');
    const std::string login(bytes.substr(0, end));
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    const auto document = ParseReply(bytes);
    if (!document)
        return 0;
    VTAttachResults results;
    try {
        if (!ReadXAttachReply(*document, login, results))
            return 0;
    } catch (const TSException&) {
        return 0;
    }
    if (results.IsAttached() && results.GetUserId().GetClearId().size() != VTUserId::kClearLength)
        __builtin_trap();
    return 0;
}

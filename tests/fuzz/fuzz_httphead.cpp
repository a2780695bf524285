// Arbitrary bytes as a response head through TSHttpResponse::ParseHead.
#include "tst/http/htexcep.h"
#include "tst/http/htrsp.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TSHttpResponse response;
    std::size_t consumed = 0;
    try {
        consumed = response.ParseHead(text);
    } catch (const TSHttpException&) {
        return 0;
    }
    if (consumed > size || response.GetStatus() < 0 || response.GetStatus() > 999)
        __builtin_trap();
    // The part consumed is a head of its own and parses the same.
    TSHttpResponse again;
    if (again.ParseHead(text.substr(0, consumed)) != consumed || again.GetStatus() != response.GetStatus() ||
        again.GetHeaders().Format() != response.GetHeaders().Format())
        __builtin_trap();
    std::uint64_t length = 0;
    response.GetContentLength(length);
    return 0;
}

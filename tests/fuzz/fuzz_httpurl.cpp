// Arbitrary text through TSHttpUrl::Parse; what parses must build back to
// a URL with the same parts, and format as a request either way.
#include "tst/http/htexcep.h"
#include "tst/http/htreq.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TSHttpUrl url;
    try {
        url = TSHttpUrl::Parse(text);
    } catch (const TSHttpException&) {
        return 0;
    }
    if (url.m_url != text || url.m_path.empty() || url.m_path[0] != '/' || url.m_port < 0 ||
        url.m_port > 65535)
        __builtin_trap();

    TSHttpUrl parts = url;
    parts.m_url.clear();
    std::string built;
    try {
        built = parts.Build();
    } catch (const TSHttpException&) {
        if (!url.m_host.empty())
            __builtin_trap(); // only a missing host may fail to build
        return 0;
    }
    const TSHttpUrl back = TSHttpUrl::Parse(built);
    const int32_t port = url.m_port == 0 ? 80 : url.m_port; // port 0 builds as the default
    if (back.m_host != url.m_host || back.m_port != port || back.m_path != url.m_path ||
        back.m_userInfo != url.m_userInfo)
        __builtin_trap();

    TSHttpRequest request;
    request.SetUrl(text);
    request.SetContentLengthAndHost();
    if (request.FormatRequest(true).find(text) == std::string::npos || request.FormatRequest(false).empty())
        __builtin_trap();
    return 0;
}

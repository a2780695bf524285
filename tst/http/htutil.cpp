#include "tst/http/htutil.h"

#include "tst/tsexcep.h"

#include <array>

namespace {

constexpr std::array<const char*, kHttpVerbCount> kVerbs = {
    "GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT",
};

constexpr std::array<const char*, kHttpHeaderCount> kHeaderNames = {
    "Accept",
    "Accept-Charset",
    "Accept-Encoding",
    "Accept-Language",
    "Accept-Ranges",
    "Age",
    "Allow",
    "Authorization",
    "Cache-Control",
    "Connection",
    "Content-Encoding",
    "Content-Language",
    "Content-Length",
    "Content-Location",
    "Content-Md5",
    "Content-Range",
    "Content-Type",
    "Cookie",
    "Date",
    "Etag",
    "Expect",
    "Expires",
    "From",
    "Host",
    "If-Match",
    "If-Modified-Since",
    "If-None-Match",
    "If-Range",
    "If-Unmodified-Since",
    "Last-Modified",
    "Location",
    "Max-Forwards",
    "Pragma",
    "Proxy-Authenticate",
    "Proxy-Authorization",
    "Range",
    "Referer",
    "Retry-After",
    "Server",
    "Set-Cookie",
    "Te",
    "Trailer",
    "Transfer-Encoding",
    "Upgrade",
    "User-Agent",
    "Vary",
    "Via",
    "Warning",
    "Www-Authenticate",
};

constexpr std::array<const char*, kHttpContentTypeCount> kContentTypes = {
    "text/plain", "text/html",  "text/xml",  "text/vnd.wap.wml", "text/x-wap.wml",     "text/x-hdml",
    "image/gif",  "image/jpeg", "image/bmp", "image/tiff",       "text/x-url-encoded",
};

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

const char* HttpVerbText(int32_t verb)
{
    if (verb < 0 || verb >= kHttpVerbCount)
        return nullptr;
    return kVerbs[static_cast<std::size_t>(verb)];
}

const char* HttpHeaderName(int32_t index)
{
    TS_ASSERT_MSG(index >= 0 && index < kHttpHeaderCount, "unknown header index");
    return kHeaderNames[static_cast<std::size_t>(index)];
}

const char* HttpContentTypeText(int32_t index)
{
    TS_ASSERT_MSG(index >= 0 && index < kHttpContentTypeCount, "unknown content type index");
    return kContentTypes[static_cast<std::size_t>(index)];
}

std::string NormaliseHeaderName(std::string_view name)
{
    std::string normalised(name);
    bool startsWord = true;
    for (char& c : normalised) {
        if (IsLetter(c))
            c = startsWord ? static_cast<char>(c & ~0x20) : static_cast<char>(c | 0x20);
        startsWord = c == '-';
    }
    return normalised;
}

std::string EncodeBase64(const void* bytes, std::size_t length)
{
    const auto* in = static_cast<const unsigned char*>(bytes);
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    for (std::size_t i = 0; i < length; i += 3) {
        const std::size_t left = length - i;
        const uint32_t group = (uint32_t(in[i]) << 16) | (left > 1 ? uint32_t(in[i + 1]) << 8 : 0) |
                               (left > 2 ? uint32_t(in[i + 2]) : 0);
        out += kBase64Alphabet[(group >> 18) & 63];
        out += kBase64Alphabet[(group >> 12) & 63];
        out += left > 1 ? kBase64Alphabet[(group >> 6) & 63] : '=';
        out += left > 2 ? kBase64Alphabet[group & 63] : '=';
    }
    return out;
}

#include "tst/http/htrsp.h"

#include "tst/http/htexcep.h"
#include "tst/http/htutil.h"
#include "tst/tsstrutl.h"

#include <limits>

namespace {

bool IsVersionNumber(std::string_view text)
{
    const auto dot = text.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == text.size())
        return false;
    return IsAllDigits(text.substr(0, dot)) && IsAllDigits(text.substr(dot + 1));
}

bool IsDigitAt(std::string_view text, std::size_t at)
{
    return at < text.size() && IsDecimalDigit(text[at]);
}

} // namespace

std::size_t TSHttpResponse::ParseHead(std::string_view text)
{
    // Status line: version, status of exactly three digits, reason.
    const auto lineEnd = std::min(text.find('\n'), text.size());
    const std::string_view statusLine = text.substr(0, lineEnd);
    std::size_t at = std::min(text.find_first_of(" \r\n"), text.size());
    std::string_view version = text.substr(0, at);
    if (version.size() > 5 && version.substr(0, 5) == "HTTP/")
        version.remove_prefix(5);
    if (!IsVersionNumber(version))
        throw TSHttpException(TSHttpException::kInvalidVersion, version);
    while (at < text.size() && text[at] == ' ')
        ++at;
    if (!IsDigitAt(text, at) || !IsDigitAt(text, at + 1) || !IsDigitAt(text, at + 2) ||
        IsDigitAt(text, at + 3))
        throw TSHttpException(TSHttpException::kInvalidStatus, statusLine.substr(0, statusLine.find('\r')));
    const auto status = static_cast<int32_t>(ParseDecimal(text.data() + at, 3));
    if (lineEnd == text.size())
        throw TSHttpException(TSHttpException::kInvalidResponse, statusLine);
    SetVersion(std::string(version));
    m_status = status;
    at = lineEnd + 1;

    TSHttpHeaderList& headers = GetHeaders();
    headers.Clear();
    while (at < text.size() && text[at] != '\r' && text[at] != '\n') {
        const auto end = std::min(text.find_first_of("\r\n", at), text.size());
        const std::string_view line = text.substr(at, end - at);
        headers.Add(TSHttpHeader::FromLine(line), kHeaderAppend);
        at = end;
        if (at < text.size() && text[at] == '\r')
            ++at;
        if (at >= text.size() || text[at] != '\n')
            throw TSHttpException(TSHttpException::kInvalidHeader, line);
        ++at;
    }
    // The empty line that ends the head; a head cut short has none.
    if (at < text.size() && text[at] == '\r') {
        if (at + 1 >= text.size() || text[at + 1] != '\n')
            throw TSHttpException(TSHttpException::kInvalidResponse, "CR without LF after the headers");
        ++at;
    }
    if (at < text.size() && text[at] == '\n')
        ++at;
    // A length that is not one would leave the body to be read as empty or
    // cut anywhere.
    std::string length;
    uint64_t ignored = 0;
    if (GetHeaderValue(HttpHeaderName(kHeaderContentLength), 0, length) && !GetContentLength(ignored))
        throw TSHttpException(TSHttpException::kInvalidHeader,
                              std::string(HttpHeaderName(kHeaderContentLength)) + ": " + length);
    return at;
}

bool TSHttpResponse::GetContentLength(uint64_t& length) const
{
    std::string value;
    if (!GetHeaderValue(HttpHeaderName(kHeaderContentLength), 0, value) || !IsAllDigits(value))
        return false;
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    length = 0;
    for (char digit : value) {
        const auto add = static_cast<uint64_t>(digit - '0');
        if (length > (kMax - add) / 10) {
            length = kMax;
            return true;
        }
        length = length * 10 + add;
    }
    return true;
}

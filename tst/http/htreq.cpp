#include "tst/http/htreq.h"

#include "tst/http/htexcep.h"
#include "tst/tsstrutl.h"

#include <algorithm>

namespace {

constexpr std::string_view kScheme = "http://";

[[noreturn]] void InvalidUrl(std::string_view text)
{
    throw TSHttpException(TSHttpException::kInvalidUrl, text);
}

// A blank or a control character (a line end above all) would break the
// request line it is written into.
bool HasBlankOrControl(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F;
    });
}

bool StartsWithScheme(std::string_view text)
{
    for (std::size_t i = 0; i < kScheme.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kScheme[i])
            return false;
    }
    return true;
}

// Port numbers beyond TCP's range would wrap to another port.
bool ParsePort(std::string_view text, int32_t& port)
{
    if (!IsAllDigits(text))
        return false;
    const std::string digits = StripLeadingZeros(text);
    if (digits.size() > 5)
        return false;
    const long value = ParseDecimal(digits.data(), static_cast<int>(digits.size()));
    if (value > 65535)
        return false;
    port = static_cast<int32_t>(value);
    return true;
}

} // namespace

TSHttpUrl TSHttpUrl::Parse(std::string_view text)
{
    if (text.size() <= kScheme.size() || HasBlankOrControl(text) || !StartsWithScheme(text))
        InvalidUrl(text);
    TSHttpUrl url;
    const std::string_view rest = text.substr(kScheme.size());
    const auto slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    url.m_path = slash == std::string_view::npos ? std::string("/") : std::string(rest.substr(slash));

    const auto at = authority.find('@');
    if (at != std::string_view::npos) {
        if (at == 0 || at + 1 == authority.size())
            InvalidUrl(text);
        url.m_userInfo.assign(authority.substr(0, at));
        authority.remove_prefix(at + 1);
    }
    const auto colon = authority.find(':');
    if (colon == std::string_view::npos) {
        url.m_host.assign(authority);
        url.m_port = 80;
    } else {
        if (colon == 0 || colon + 1 == authority.size() ||
            !ParsePort(authority.substr(colon + 1), url.m_port))
            InvalidUrl(text);
        url.m_host.assign(authority.substr(0, colon));
    }
    url.m_url.assign(text);
    return url;
}

std::string TSHttpUrl::Build() const
{
    std::string url(kScheme);
    if (!m_userInfo.empty())
        url.append(m_userInfo).append("@");
    if (m_host.empty())
        InvalidUrl(url);
    url.append(m_host);
    if (m_port > 0 && m_port != 80)
        url.append(":").append(FormatUnsigned(static_cast<unsigned long>(m_port)));
    if (!m_path.empty() && m_path.front() != '/')
        InvalidUrl(url + m_path);
    url.append(m_path.empty() ? "/" : m_path);
    if (HasBlankOrControl(url))
        InvalidUrl(url);
    return url;
}

void TSHttpRequest::SetVerb(int32_t verb)
{
    if (!HttpVerbText(verb))
        throw TSHttpException(TSHttpException::kInvalidVerb,
                              FormatUnsigned(static_cast<unsigned long>(verb)));
    m_verb = verb;
}

void TSHttpRequest::SetContentType(int32_t index)
{
    AddHeader(kHeaderContentType, HttpContentTypeText(index), kHeaderReplace);
}

void TSHttpRequest::SetContentLengthAndHost()
{
    AddHeader(kHeaderContentLength, FormatUnsigned(GetBodyLength()), kHeaderReplace);
    if (m_url.m_host.empty())
        return;
    std::string host = m_url.m_host;
    if (m_url.m_port > 0 && m_url.m_port != 80)
        host.append(":").append(FormatUnsigned(static_cast<unsigned long>(m_url.m_port)));
    AddHeader(kHeaderHost, host, kHeaderAddIfMissing);
}

void TSHttpRequest::SetUrl(std::string_view text)
{
    m_url = TSHttpUrl::Parse(text);
}

std::string TSHttpRequest::GetUrlText() const
{
    return m_url.m_url.empty() ? m_url.Build() : m_url.m_url;
}

void TSHttpRequest::BuildUrl()
{
    if (m_url.m_url.empty())
        m_url.m_url = m_url.Build();
}

void TSHttpRequest::SetHost(std::string_view host)
{
    m_url.m_host.assign(host);
    m_url.m_url.clear();
}

void TSHttpRequest::SetPort(int32_t port)
{
    m_url.m_port = port;
    m_url.m_url.clear();
}

void TSHttpRequest::SetPath(std::string_view path)
{
    m_url.m_path.assign(path);
    m_url.m_url.clear();
}

void TSHttpRequest::SetUserInfo(std::string_view userInfo)
{
    m_url.m_userInfo.assign(userInfo);
    m_url.m_url.clear();
}

std::string TSHttpRequest::FormatRequest(bool viaProxy) const
{
    std::string text;
    text.reserve(256 + GetBodyLength());
    text.append(HttpVerbText(m_verb)).append(" ");
    if (viaProxy)
        text.append(GetUrlText());
    else
        text.append(m_url.m_path.empty() ? "/" : m_url.m_path);
    text.append(" HTTP/").append(GetVersion()).append("\r\n");
    GetHeaders().FormatTo(text);
    text.append("\r\n");
    GetBody().ForEachChunk([&](const char* data, std::size_t size) { text.append(data, size); });
    return text;
}

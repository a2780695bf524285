#pragma once

#include "tst/http/htrrbase.h"
#include "tst/http/htutil.h"

#include <cstdint>
#include <string>
#include <string_view>

// The URL of a request, plain HTTP only.
struct TSHttpUrl {
    // The full text; empty until parsed or built.
    std::string m_url;
    std::string m_host;
    int32_t m_port = 80;
    // Begins with '/'.
    std::string m_path;
    // The part before '@'; usually empty.
    std::string m_userInfo;

    // Throws "Invalid URL" with the text as detail.
    static TSHttpUrl Parse(std::string_view text);
    // The full URL from the parts; throws "Invalid URL".
    std::string Build() const;
};

class TSHttpRequest : public TSHttpReqRspBase {
public:
    TSHttpRequest() = default;

    // An index that names no verb throws "Invalid verb".
    void SetVerb(int32_t verb);
    int32_t GetVerb() const { return m_verb; }
    // "Content-Type" from the content-type vocabulary, replacing any other.
    void SetContentType(int32_t index);
    // "Content-Length" of the body (replaced) and "Host" when the host is
    // known (kept when already there).
    void SetContentLengthAndHost();

    // Parses `text`; on failure the URL stays as it was.
    void SetUrl(std::string_view text);
    const TSHttpUrl& GetUrl() const { return m_url; }
    // The stored full URL, or one built from the parts.
    std::string GetUrlText() const;
    // Stores the built full URL when none is stored.
    void BuildUrl();
    // Changing a part drops the stored full URL, so it is built afresh.
    void SetHost(std::string_view host);
    void SetPort(int32_t port);
    void SetPath(std::string_view path);
    void SetUserInfo(std::string_view userInfo);

    // The request as sent: request line (full URL through a proxy, else the
    // path), headers, empty line, body.
    std::string FormatRequest(bool viaProxy) const;

private:
    int32_t m_verb = kHttpGet;
    TSHttpUrl m_url;
};

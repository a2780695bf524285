#pragma once

#include "tst/http/htheader.h"
#include "tst/tsbuffer.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What requests and responses share: headers, body bytes and the HTTP
// version ("1.0", without the "HTTP/" prefix).
class TSHttpReqRspBase {
public:
    const TSHttpHeaderList& GetHeaders() const { return m_headers; }
    TSHttpHeaderList& GetHeaders() { return m_headers; }
    void SetHeaders(const TSHttpHeaderList& headers) { m_headers = headers; }
    void AddHeader(std::string_view name, std::string_view value, int32_t mode = kHeaderAppend)
    {
        m_headers.Add(name, value, mode);
    }
    void AddHeader(int32_t index, std::string_view value, int32_t mode = kHeaderAppend)
    {
        m_headers.Add(index, value, mode);
    }
    bool GetHeaderValue(std::string_view name, std::size_t index, std::string& value) const
    {
        return m_headers.GetValue(name, index, value);
    }

    const TSBuffer& GetBody() const { return m_body; }
    TSBuffer& GetBody() { return m_body; }
    std::string GetBodyText() const { return m_body.ToString(); }
    std::size_t GetBodyLength() const { return m_body.GetCount(); }
    void SetBody(std::string_view bytes);
    void AppendBody(const void* bytes, std::size_t count) { m_body.Append(bytes, count); }
    void ClearBody() { m_body.Clear(); }

    const std::string& GetVersion() const { return m_version; }
    void SetVersion(std::string version) { m_version = std::move(version); }

protected:
    TSHttpReqRspBase() = default;
    TSHttpReqRspBase(const TSHttpReqRspBase& other);
    TSHttpReqRspBase& operator=(const TSHttpReqRspBase& other);
    TSHttpReqRspBase(TSHttpReqRspBase&&) noexcept = default;
    TSHttpReqRspBase& operator=(TSHttpReqRspBase&&) noexcept = default;
    ~TSHttpReqRspBase() = default;

private:
    TSHttpHeaderList m_headers;
    TSBuffer m_body;
    std::string m_version = "1.0";
};

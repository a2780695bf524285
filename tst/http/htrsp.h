#pragma once

#include "tst/http/htrrbase.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

class TSHttpResponse : public TSHttpReqRspBase {
public:
    TSHttpResponse() = default;

    int32_t GetStatus() const { return m_status; }
    void SetStatus(int32_t status) { m_status = status; }

    // Reads the status line and the headers up to and including the empty
    // line, and returns the count of characters consumed. Throws
    // TSHttpException: "Invalid version", "Invalid status", "Invalid
    // response" (status line without LF) or "Invalid header"; the headers
    // read before a failure stay.
    std::size_t ParseHead(std::string_view text);

    // The first "Content-Length" value; false when there is none or it is
    // not a decimal number. A value too large for 64 bits reads as the
    // largest one.
    bool GetContentLength(uint64_t& length) const;

private:
    int32_t m_status = 200;
};

#pragma once

#include "tst/http/htheader.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Bounds on what one connection may send, so that no peer can fill the
// memory or hold a worker with an endless head.
struct RefLimits {
    std::size_t m_maxHeadBytes = 64 * 1024;
    std::size_t m_maxHeadLines = 100;
    std::size_t m_maxBodyBytes = 1024 * 1024;
};

// The fields of a query string or of a form body, decoded, in order.
class RefForm {
public:
    using Field = std::pair<std::string, std::string>;

    // "a=1&b=x+y": '+' is a blank and %XX a byte; a broken escape is kept
    // as written. A field without '=' has an empty value.
    static RefForm Parse(std::string_view text);

    // The first value of the name, compared without regard to case.
    std::optional<std::string> Get(std::string_view name) const;
    const std::vector<Field>& Fields() const { return m_fields; }

private:
    std::vector<Field> m_fields;
};

// Compares ASCII letters without regard to case.
bool EqualNoCase(std::string_view a, std::string_view b);

// Form decoding of one field text.
std::string FormDecode(std::string_view text);

// One request as it came off the wire.
struct RefRequest {
    std::string m_method;
    // The target as sent, then split: the path (not decoded) and the query.
    std::string m_target;
    std::string m_path;
    std::string m_query;
    std::string m_version;
    TSHttpHeaderList m_headers;
    std::string m_body;

    // The header's first value, or empty.
    std::string Header(std::string_view name) const;
    // The media type of "Content-Type" in lower case, without parameters.
    std::string MediaType() const;
};

// Why a request was refused before it reached a handler.
struct RefRequestError {
    int m_status = 400;
    std::string m_reason;
};

// Collects the bytes of one request as they arrive: the head up to its
// blank line, then as many body bytes as "Content-Length" announces.
class RefRequestReader {
public:
    enum State { kNeedMore, kComplete, kFailed };

    explicit RefRequestReader(const RefLimits& limits) : m_limits(limits) {}

    State Feed(std::string_view bytes);
    State GetState() const { return m_state; }
    // Bytes taken so far (the log tells how far a vanished peer got).
    std::size_t GetReceived() const { return m_buffer.size(); }
    bool HeadDone() const { return m_headEnd != 0; }

    const RefRequest& GetRequest() const { return m_request; }
    const RefRequestError& GetError() const { return m_error; }

private:
    State Fail(int status, std::string reason);
    State TakeHead();
    State TakeBody();
    // The offset just past the blank line that ends the head, or 0.
    std::size_t FindHeadEnd();

    RefLimits m_limits;
    std::string m_buffer;
    std::size_t m_scanned = 0;
    std::size_t m_headEnd = 0;
    std::size_t m_bodyLength = 0;
    State m_state = kNeedMore;
    RefRequest m_request;
    RefRequestError m_error;
};

// Parses the head (request line and header lines, each ended by LF or
// CR LF, without the blank line) into `request`. False with `error` set for
// anything that is not a plain HTTP/1.x request.
bool ParseRequestHead(std::string_view head, const RefLimits& limits, RefRequest& request,
                      RefRequestError& error);

// One reply; sent as HTTP/1.0 with "Content-Length" and "Connection: close".
struct RefReply {
    int m_status = 200;
    std::string m_contentType = "text/xml";
    std::vector<std::pair<std::string, std::string>> m_headers;
    std::string m_body;
    // A few words for the log line ("XSPLIT 2 formats", "ERROR 20").
    std::string m_note;

    std::string Bytes() const;
};

// "OK", "Not Found", ...; "Unknown" for a status without a text here.
const char* HttpStatusText(int status);

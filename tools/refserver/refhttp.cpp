#include "tools/refserver/refhttp.h"

#include "tst/http/htexcep.h"
#include "tst/tsexcep.h"

#include <algorithm>
#include <cctype>

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Header names and methods are tokens: visible ASCII without separators.
bool IsToken(std::string_view text)
{
    if (text.empty())
        return false;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 32 || u >= 127 || std::string_view("()<>@,;:\\\"/[]?={}").find(c) != std::string_view::npos)
            return false;
    }
    return true;
}

bool IsVisibleText(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u > 32 && u != 127;
    });
}

// The lines of a head without their line ends.
std::vector<std::string_view> SplitLines(std::string_view head)
{
    std::vector<std::string_view> lines;
    while (!head.empty()) {
        const auto lf = head.find('\n');
        std::string_view line = head.substr(0, lf);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (lf == std::string_view::npos)
            break;
        head.remove_prefix(lf + 1);
    }
    return lines;
}

bool ParseVersion(std::string_view text, std::string& version)
{
    if (text.size() != 8 || text.substr(0, 5) != "HTTP/" || text[6] != '.' || text[5] != '1' ||
        !std::isdigit(static_cast<unsigned char>(text[7])))
        return false;
    version = std::string(text.substr(5));
    return true;
}

// Origin form "/path?query", or absolute form "http://host:port/path?query"
// as a proxy would pass it on.
bool SplitTarget(std::string_view target, RefRequest& request)
{
    std::string_view rest = target;
    if (rest.size() > 7 && EqualNoCase(rest.substr(0, 7), "http://")) {
        const auto slash = rest.find('/', 7);
        rest = slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
    }
    if (rest.empty() || rest.front() != '/')
        return false;
    rest = rest.substr(0, rest.find('#'));
    const auto question = rest.find('?');
    request.m_path = std::string(rest.substr(0, question));
    request.m_query =
        question == std::string_view::npos ? std::string() : std::string(rest.substr(question + 1));
    return true;
}

bool ParseRequestLine(std::string_view line, RefRequest& request)
{
    const auto first = line.find(' ');
    const auto last = line.rfind(' ');
    if (first == std::string_view::npos || first == last)
        return false;
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, last - first - 1);
    if (!IsToken(method) || target.empty() || !IsVisibleText(target))
        return false;
    if (!ParseVersion(line.substr(last + 1), request.m_version))
        return false;
    request.m_method = std::string(method);
    request.m_target = std::string(target);
    return SplitTarget(target, request);
}

// "Content-Length": nothing when absent; false when present but not one
// decimal number (repeated values must agree).
bool ReadContentLength(const RefRequest& request, std::optional<std::uint64_t>& length)
{
    const TSHttpHeader* header = request.m_headers.Find("Content-Length");
    if (!header)
        return true;
    for (const auto& value : header->GetValues()) {
        if (value.empty() || value.size() > 18 ||
            !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        const std::uint64_t parsed = std::stoull(value);
        if (length && *length != parsed)
            return false;
        length = parsed;
    }
    return true;
}

} // namespace

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string FormDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

RefForm RefForm::Parse(std::string_view text)
{
    RefForm form;
    while (!text.empty()) {
        const auto amp = text.find('&');
        const std::string_view field = text.substr(0, amp);
        if (!field.empty()) {
            const auto equals = field.find('=');
            const std::string_view name = field.substr(0, equals);
            const std::string_view value =
                equals == std::string_view::npos ? std::string_view() : field.substr(equals + 1);
            form.m_fields.emplace_back(FormDecode(name), FormDecode(value));
        }
        if (amp == std::string_view::npos)
            break;
        text.remove_prefix(amp + 1);
    }
    return form;
}

std::optional<std::string> RefForm::Get(std::string_view name) const
{
    for (const auto& [fieldName, value] : m_fields)
        if (EqualNoCase(fieldName, name))
            return value;
    return std::nullopt;
}

std::string RefRequest::Header(std::string_view name) const
{
    std::string value;
    m_headers.GetValue(name, 0, value);
    return value;
}

std::string RefRequest::MediaType() const
{
    std::string type = Header("Content-Type");
    type = type.substr(0, type.find(';'));
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
        type.pop_back();
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
    return type;
}

bool ParseRequestHead(std::string_view head, const RefLimits& limits, RefRequest& request,
                      RefRequestError& error)
{
    const auto lines = SplitLines(head);
    if (lines.size() > limits.m_maxHeadLines) {
        error = {431, "Too many header lines"};
        return false;
    }
    if (lines.empty() || !ParseRequestLine(lines.front(), request)) {
        error = {400, "Malformed request line"};
        return false;
    }
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        // Folded continuation lines went out with HTTP/1.0 clients; refuse them.
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
            error = {400, "Malformed header line"};
            return false;
        }
        try {
            request.m_headers.Add(TSHttpHeader::FromLine(line));
        } catch (const TSException&) {
            error = {400, "Malformed header line"};
            return false;
        }
    }
    return true;
}

RefRequestReader::State RefRequestReader::Fail(int status, std::string reason)
{
    m_error = {status, std::move(reason)};
    m_state = kFailed;
    return m_state;
}

std::size_t RefRequestReader::FindHeadEnd()
{
    // Blank lines before the request line are tolerated and skipped.
    std::size_t start = 0;
    while (start < m_buffer.size() && (m_buffer[start] == '\r' || m_buffer[start] == '\n'))
        ++start;
    m_scanned = std::max(m_scanned, start);
    for (std::size_t i = m_scanned; i < m_buffer.size(); ++i) {
        if (m_buffer[i] != '\n')
            continue;
        std::size_t next = i + 1;
        if (next < m_buffer.size() && m_buffer[next] == '\r')
            ++next;
        if (next < m_buffer.size() && m_buffer[next] == '\n')
            return next + 1;
    }
    // A line end may be split across two reads: look again from just before it.
    m_scanned = m_buffer.size() > 2 ? m_buffer.size() - 2 : start;
    return 0;
}

RefRequestReader::State RefRequestReader::TakeHead()
{
    const std::size_t end = FindHeadEnd();
    if (end == 0) {
        if (m_buffer.size() > m_limits.m_maxHeadBytes)
            return Fail(431, "Request head too large");
        return kNeedMore;
    }
    if (end > m_limits.m_maxHeadBytes + 4)
        return Fail(431, "Request head too large");
    std::size_t start = 0;
    while (m_buffer[start] == '\r' || m_buffer[start] == '\n')
        ++start;
    std::string_view head(m_buffer.data() + start, end - start);
    while (!head.empty() && (head.back() == '\n' || head.back() == '\r'))
        head.remove_suffix(1);
    if (!ParseRequestHead(head, m_limits, m_request, m_error)) {
        m_state = kFailed;
        return m_state;
    }
    m_headEnd = end;

    std::optional<std::uint64_t> length;
    if (!ReadContentLength(m_request, length))
        return Fail(400, "Malformed Content-Length");
    if (!length && (m_request.m_method == "POST" || m_request.m_method == "PUT"))
        return Fail(411, "Content-Length required");
    if (length && *length > m_limits.m_maxBodyBytes)
        return Fail(413, "Request body too large");
    m_bodyLength = length ? static_cast<std::size_t>(*length) : 0;
    return TakeBody();
}

RefRequestReader::State RefRequestReader::TakeBody()
{
    if (m_buffer.size() - m_headEnd < m_bodyLength)
        return kNeedMore;
    // Bytes beyond the announced length are not part of this request; with
    // one request per connection they are dropped.
    m_request.m_body = m_buffer.substr(m_headEnd, m_bodyLength);
    m_state = kComplete;
    return m_state;
}

RefRequestReader::State RefRequestReader::Feed(std::string_view bytes)
{
    if (m_state != kNeedMore)
        return m_state;
    m_buffer.append(bytes);
    return m_headEnd == 0 ? TakeHead() : TakeBody();
}

const char* HttpStatusText(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Unknown";
    }
}

std::string RefReply::Bytes() const
{
    std::string out = "HTTP/1.0 " + std::to_string(m_status) + ' ' + HttpStatusText(m_status) + "\r\n";
    out += "Server: lumora-refserver\r\n";
    if (!m_contentType.empty())
        out += "Content-Type: " + m_contentType + "\r\n";
    for (const auto& [name, value] : m_headers)
        out += name + ": " + value + "\r\n";
    out += "Content-Length: " + std::to_string(m_body.size()) + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += m_body;
    return out;
}

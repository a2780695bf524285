#include "tools/cli/clijson.h"

#include "tools/cli/cliargs.h"

#include <cstdio>
#include <iostream>

namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned min = 0;
    unsigned codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return (codePoint < min || codePoint > 0x10FFFF || surrogate) ? 0 : length;
}

void AppendEscape(std::string& out, unsigned value)
{
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", value);
    out.append(escape);
}

} // namespace

std::string JsonQuote(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c == '\n') {
            out.append("\\n");
        } else if (c == '\r') {
            out.append("\\r");
        } else if (c == '\t') {
            out.append("\\t");
        } else if (c < 0x20 || c == 0x7F) {
            AppendEscape(out, c);
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (const std::size_t length = Utf8SequenceLength(text, i)) {
            out.append(text.substr(i, length));
            i += length - 1;
        } else {
            AppendEscape(out, c);
        }
    }
    out.push_back('"');
    return out;
}

void JsonObject::Key(std::string_view key)
{
    if (!m_body.empty())
        m_body.push_back(',');
    m_body.append(JsonQuote(key)).push_back(':');
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value)
{
    Key(key);
    m_body.append(JsonQuote(value));
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, long long value)
{
    Key(key);
    m_body.append(std::to_string(value));
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<std::string>& values)
{
    Key(key);
    m_body.push_back('[');
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i)
            m_body.push_back(',');
        m_body.append(JsonQuote(values[i]));
    }
    m_body.push_back(']');
    return *this;
}

JsonObject& JsonObject::AddRaw(std::string_view key, std::string_view json)
{
    Key(key);
    m_body.append(json);
    return *this;
}

int ReportFailure(std::string_view command, const std::string& message, bool json)
{
    std::cerr << "lumora-cli " << command << ": " << message << '\n';
    if (json)
        std::cout << JsonObject().Add("error", message).Str() << '\n';
    return kExitFailed;
}

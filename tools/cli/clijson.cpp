#include "tools/cli/clijson.h"

#include "tools/cli/cliargs.h"
#include "tools/cli/cliutf8.h"

#include <cstdio>
#include <iostream>

namespace {

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
        } else if (const std::size_t length = DecodeUtf8(text, i).length) {
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

#include "tst/tsstrutl.h"

#include "tst/tsexcep.h"

#include <algorithm>
#include <cstdio>

std::string StripSpacesAndDashes(const char* text)
{
    TS_CHECK_NULL(text);
    return StripSpacesAndDashes(std::string_view(text));
}

std::string StripSpacesAndDashes(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '-')
            result.push_back(c);
    return result;
}

std::string StripLeadingZeros(std::string_view text)
{
    if (text.empty() || text.front() != '0')
        return std::string(text);
    const auto first = text.find_first_not_of('0');
    if (first == std::string_view::npos)
        return "0";
    return std::string(text.substr(first));
}

bool IsAllDigits(const char* text)
{
    return text != nullptr && IsAllDigits(std::string_view(text));
}

bool IsAllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDecimalDigit);
}

long ParseDecimal(const char* text, int length)
{
    TS_CHECK_NULL(text);
    TS_ASSERT(length >= 0);
    unsigned long value = 0;
    for (int i = 0; i < length; ++i) {
        // A terminating NUL is a non-digit, so a short text stops here.
        TS_ASSERT_MSG(IsDecimalDigit(text[i]), "non-digit");
        value = value * 10 + static_cast<unsigned long>(text[i] - '0');
    }
    return static_cast<long>(value);
}

std::string FormatUnsigned(unsigned long value)
{
    return std::to_string(value);
}

namespace {

std::string ByteEscape(unsigned char byte)
{
    static const char kDigits[] = "0123456789abcdef";
    return {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
}

std::string ControlEscape(unsigned char byte)
{
    switch (byte) {
    case 0x1B:
        return "\\e";
    case '\a':
        return "\\a";
    case '\b':
        return "\\b";
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\f':
        return "\\f";
    case '\v':
        return "\\v";
    default:
        return ByteEscape(byte);
    }
}

} // namespace

std::string ShowControlCharacters(std::string_view text)
{
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (byte < 0x20 || byte == 0x7F) {
            shown += ControlEscape(byte);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            shown += ByteEscape(next); // U+0080 to U+009F
            ++i;
        } else if (byte == 0xE2 && next == 0x80 && i + 2 < text.size() &&
                   (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
            shown += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            shown.push_back(text[i]);
        }
    }
    return shown;
}

bool XmlEscape(std::string& text)
{
    std::string out;
    bool changed = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const char* entity = nullptr;
        char numeric[8];
        switch (c) {
        case '&':
            entity = "&amp;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '"':
            entity = "&quot;";
            break;
        case '\'':
            entity = "&#039;";
            break;
        default:
            if (!IsPrintableAscii(c)) {
                std::snprintf(numeric, sizeof numeric, "&#%03u;", c);
                entity = numeric;
            }
        }
        if (entity && !changed) {
            out.assign(text, 0, i);
            changed = true;
        }
        if (entity)
            out.append(entity);
        else if (changed)
            out.push_back(static_cast<char>(c));
    }
    if (changed)
        text = std::move(out);
    return changed;
}

bool UrlEncode(std::string& text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto kept = [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '/' || c == '_';
    };
    // Counted first: most texts need nothing, and the rest are written in place.
    std::size_t escaped = 0;
    bool changed = false;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (!kept(c)) {
            changed = true;
            escaped += c != ' ';
        }
    }
    if (!changed)
        return false;
    std::string out(text.size() + 2 * escaped, '\0');
    char* next = out.data();
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (kept(c)) {
            *next++ = ch;
        } else if (c == ' ') {
            *next++ = '+';
        } else {
            *next++ = '%';
            *next++ = kHex[c >> 4];
            *next++ = kHex[c & 0x0F];
        }
    }
    text = std::move(out);
    return true;
}

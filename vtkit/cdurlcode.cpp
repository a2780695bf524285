#include "vtkit/cdurlcode.h"

#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"
#include "vtkit/vtexcep.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr std::array<std::string_view, 7> kSchemes = {"ftp://",  "http://", "https://", "nntp://",
                                                      "news://", "telnet:", "mailto:"};

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(a) == lower(b);
           });
}

bool EqualsNoCase(std::string_view text, std::string_view word)
{
    return text.size() == word.size() && StartsWithNoCase(text, word);
}

bool IsSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

VTUrlCode::~VTUrlCode() = default;

bool VTUrlCode::ValidlyFormed(const char* text)
{
    TS_CHECK_NULL(text);
    return ValidlyFormed(std::string_view(text));
}

bool VTUrlCode::ValidlyFormed(std::string_view text)
{
    const auto firstOther = std::find_if_not(text.begin(), text.end(), IsCodeLetter);
    if (firstOther == text.begin() || firstOther == text.end())
        return false;
    const auto at = static_cast<std::size_t>(firstOther - text.begin());
    if (text[at] == '.')
        return true;
    if (text[at] != ':')
        return false;
    if (text.substr(at + 1, 2) == "//")
        return true;
    const std::string_view scheme = text.substr(0, at);
    return EqualsNoCase(scheme, "mailto") || EqualsNoCase(scheme, "telnet");
}

bool VTUrlCode::HasScheme(const char* text)
{
    TS_CHECK_NULL(text);
    return HasScheme(std::string_view(text));
}

bool VTUrlCode::HasScheme(std::string_view text)
{
    return std::any_of(kSchemes.begin(), kSchemes.end(), [text](std::string_view scheme) {
        return text.size() > scheme.size() && StartsWithNoCase(text, scheme);
    });
}

void VTUrlCode::AddScheme(std::string& text)
{
    text.insert(0, StartsWithNoCase(text, "ftp.") ? "ftp://" : "http://");
}

bool VTUrlCode::IsOpenable(std::string_view address)
{
    return std::none_of(address.begin(), address.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= ' ' || byte == 0x7F;
    });
}

std::string VTUrlCode::Escape(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsSpace(byte) || !IsPrintableAscii(byte)) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02x", byte);
            escaped.append(hex);
        } else {
            escaped.push_back(c);
        }
    }
    return escaped;
}

void VTUrlCode::ConstructCode(const char*, const char* itemId, const char*)
{
    TS_CHECK_NULL(itemId);
    Reset();
    if (!ValidlyFormed(itemId))
        RaiseInvalidCode("Invalid format");
    SetContents(itemId, kServerId, itemId, nullptr, 1);
}

// Judged like analysis judges it, without blanks and dashes; the contents
// keep the address as given.
void VTUrlCode::DecomposeCode(const char* code, const VTCodeFormat&)
{
    TS_CHECK_NULL(code);
    if (!ValidlyFormed(StripSpacesAndDashes(code)))
        RaiseInvalidCode("ValidlyFormed()");
    SetContents(code, kServerId, code, nullptr, 1);
}

#include "vtkit/cdvanity.h"

#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"
#include "vtkit/cdisbn.h"
#include "vtkit/cdurlcode.h"
#include "vtkit/vtexcep.h"

#include <algorithm>
#include <string>

namespace {

std::string_view TrimBlanks(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

VTVanityCode::~VTVanityCode() = default;

int VTVanityCode::FindSeparator(const char* text)
{
    TS_CHECK_NULL(text);
    return FindSeparator(std::string_view(text));
}

int VTVanityCode::FindSeparator(std::string_view text)
{
    const auto it = std::find_if(text.begin(), text.end(), [](char c) {
        return !IsCodeLetter(c) && !IsDecimalDigit(c) && c != ' ' && c != '-';
    });
    return it == text.end() ? -1 : static_cast<int>(it - text.begin());
}

bool VTVanityCode::ValidlyFormed(const char* text, bool strip)
{
    TS_CHECK_NULL(text);
    return ValidlyFormed(std::string_view(text), strip);
}

// Separator and name are taken from the same text the other tests see, so a
// text accepted here after stripping is accepted by analysis too.
bool VTVanityCode::ValidlyFormed(std::string_view text, bool strip)
{
    return TestMaybeStripped(text, strip, [](std::string_view s) {
        if (s.empty() || VTUrlCode::ValidlyFormed(s))
            return false;
        const int separator = FindSeparator(s);
        if (separator == 0 || (separator > 0 && s[static_cast<std::size_t>(separator)] == '.'))
            return false;
        const std::string_view name = separator < 0 ? s : s.substr(0, static_cast<std::size_t>(separator));
        return !IsCodeDigits(name) && !VTIsbnCode::ValidlyFormed(s, false);
    });
}

void VTVanityCode::ConstructCode(const char* serverId, const char* itemId, const char* supplemental)
{
    TS_CHECK_NULL(serverId);
    if (IsAllDigits(serverId))
        RaiseInvalidCode("ServerID");
    Reset();
    const std::string_view sid(serverId);
    if (sid.find('.') != std::string_view::npos)
        RaiseInvalidCode("Bad character");
    std::string code(sid);
    if (itemId)
        code.append(itemId);
    SetContents(code.c_str(), serverId, itemId, supplemental, 1);
}

void VTVanityCode::DecomposeCode(const char* code, const VTCodeFormat&)
{
    TS_CHECK_NULL(code);
    if (!ValidlyFormed(code, true))
        RaiseInvalidCode("ValidlyFormed()");
    const std::string_view text(code);
    const int separator = FindSeparator(text);
    if (separator < 0) {
        SetContents(code, code, "", nullptr, 1);
        return;
    }
    const auto at = static_cast<std::size_t>(separator);
    const std::string serverId(TrimBlanks(text.substr(0, at)));
    const std::string itemId(TrimBlanks(text.substr(at + 1)));
    SetContents(code, serverId.c_str(), itemId.c_str(), nullptr, 1);
}

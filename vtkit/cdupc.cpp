#include "vtkit/cdupc.h"

#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"
#include "vtkit/cdformat.h"
#include "vtkit/vtexcep.h"

namespace {

constexpr std::size_t kUpcALength = 12;
constexpr std::size_t kUpcELength = 8;

// The six data digits of a UPC-E code for manufacturer digits m[0..4] and
// product digits p[0..4]; empty when the number has too few zeros to be
// suppressed.
std::string SuppressZeros(std::string_view m, std::string_view p)
{
    const auto zeros = [](std::string_view digits) {
        return digits.find_first_not_of('0') == std::string_view::npos;
    };
    if (m[4] == '0' && m[3] == '0') {
        if (m[2] <= '2')
            return zeros(p.substr(0, 2)) ? std::string{m[0], m[1], p[2], p[3], p[4], m[2]} : std::string();
        return zeros(p.substr(0, 3)) ? std::string{m[0], m[1], m[2], p[3], p[4], '3'} : std::string();
    }
    if (m[4] == '0')
        return zeros(p.substr(0, 4)) ? std::string{m[0], m[1], m[2], m[3], p[4], '4'} : std::string();
    return zeros(p.substr(0, 4)) && p[4] >= '5' ? std::string{m[0], m[1], m[2], m[3], m[4], p[4]}
                                                : std::string();
}

} // namespace

VTUpcACode::~VTUpcACode() = default;

char VTUpcACode::CheckDigit(std::string_view digits)
{
    return RetailCheckDigit(digits, kUpcALength - 1, 3);
}

bool VTUpcACode::ValidlyFormed(const char* text, bool strip, bool supplemental)
{
    TS_CHECK_NULL(text);
    return ValidlyFormed(std::string_view(text), strip, supplemental);
}

bool VTUpcACode::ValidlyFormed(std::string_view text, bool strip, bool supplemental)
{
    return TestMaybeStripped(text, strip, [supplemental](std::string_view s) {
        return HasRetailLength(s.size(), kUpcALength, supplemental, true) && IsCodeDigits(s) &&
               CheckDigit(s) == s[kUpcALength - 1];
    });
}

bool VTUpcACode::RemoveSupplemental(std::string& code, std::string& supplemental)
{
    return SplitRetailAddOn(code, supplemental, kUpcALength, true);
}

void VTUpcACode::ConstructCode(const char* serverId, const char* itemId, const char* supplemental)
{
    TS_CHECK_NULL(serverId);
    TS_CHECK_NULL(itemId);
    Reset();
    if (!IsAllDigits(serverId))
        RaiseInvalidCode("Invalid character(s) in ServerID");
    if (!IsAllDigits(itemId))
        RaiseInvalidCode("Invalid character(s) in ItemID");
    std::string code = std::string(serverId) + itemId;
    if (code.size() != kUpcALength - 1)
        RaiseInvalidCode("Invalid code length");
    code.push_back(CheckDigit(code));
    SetContents(code.c_str(), serverId, itemId, supplemental, 1);
}

void VTUpcACode::DecomposeCode(const char* code, const VTCodeFormat& format)
{
    static constexpr AddOnShape kShape{kUpcALength, true, true};
    DecomposeByFormat(
        code, format, [](std::string_view text) { return ValidlyFormed(text, false, true); }, &kShape);
}

VTUpcECode::~VTUpcECode() = default;

bool VTUpcECode::ValidlyFormed(const char* text, bool strip, bool supplemental)
{
    TS_CHECK_NULL(text);
    return ValidlyFormed(std::string_view(text), strip, supplemental);
}

bool VTUpcECode::ValidlyFormed(std::string_view text, bool strip, bool supplemental)
{
    return TestMaybeStripped(text, strip, [supplemental](std::string_view s) {
        std::string expanded;
        return HasRetailLength(s.size(), kUpcELength, supplemental, false) && s[0] == '0' &&
               IsCodeDigits(s) && ExpandUpcE(s.substr(0, kUpcELength), expanded);
    });
}

bool VTUpcECode::RemoveSupplemental(std::string& code, std::string& supplemental)
{
    return SplitRetailAddOn(code, supplemental, kUpcELength, false);
}

bool VTUpcECode::ExpandUpcE(std::string_view upcE, std::string& upcA)
{
    if (upcE.size() < kUpcELength)
        return false;
    const char n = upcE[0];
    const std::string_view d = upcE.substr(1, 6);
    const char c = upcE[7];
    std::string expanded;
    switch (d[5]) {
    case '0':
    case '1':
    case '2':
        expanded = {n, d[0], d[1], d[5], '0', '0', '0', '0', d[2], d[3], d[4], c};
        break;
    case '3':
        expanded = {n, d[0], d[1], d[2], '0', '0', '0', '0', '0', d[3], d[4], c};
        break;
    case '4':
        expanded = {n, d[0], d[1], d[2], d[3], '0', '0', '0', '0', '0', d[4], c};
        break;
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
        expanded = {n, d[0], d[1], d[2], d[3], d[4], '0', '0', '0', '0', d[5], c};
        break;
    default:
        return false;
    }
    if (!VTUpcACode::ValidlyFormed(std::string_view(expanded), false, false))
        return false;
    upcA = std::move(expanded);
    return true;
}

void VTUpcECode::ConstructCode(const char* serverId, const char* itemId, const char* supplemental)
{
    TS_CHECK_NULL(serverId);
    TS_CHECK_NULL(itemId);
    Reset();
    const std::string_view sid(serverId);
    const std::string_view iid(itemId);
    if (!IsAllDigits(sid))
        RaiseInvalidCode("Invalid character(s) in ServerID");
    if (sid.size() != 6)
        RaiseInvalidCode("Invalid SID length");
    if (!IsAllDigits(iid))
        RaiseInvalidCode("Invalid character(s) in ItemID");
    if (iid.size() != 5)
        RaiseInvalidCode("Invalid IID length");
    if (sid[0] != '0')
        RaiseInvalidCode("Invalid Server ID");
    const std::string data = SuppressZeros(sid.substr(1), iid);
    if (data.empty())
        RaiseInvalidCode("Invalid code format");
    std::string code = std::string(sid.substr(0, 1)) + data;
    code.push_back(VTUpcACode::CheckDigit(std::string(sid) + itemId));
    SetContents(code.c_str(), serverId, itemId, supplemental, 1);
}

void VTUpcECode::DecomposeCode(const char* code, const VTCodeFormat&)
{
    TS_CHECK_NULL(code);
    const std::string text = StripSpacesAndDashes(code);
    if (!ValidlyFormed(text, false, true))
        RaiseInvalidCode("ValidlyFormed()");
    std::string expanded;
    if (!ExpandUpcE(text, expanded))
        RaiseInvalidCode();
    std::string main = text;
    std::string addOn;
    if (!RemoveSupplemental(main, addOn))
        RaiseInvalidCode("RemoveSupplemental failed");
    SetContents(main, expanded.substr(0, 6), expanded.substr(6, 5), addOn.c_str());
}

#include "vtkit/cdean.h"

#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"

namespace {

constexpr std::size_t kEan8Length = 8;
constexpr std::size_t kEan13Length = 13;
constexpr std::string_view kBookLandPrefix = "978";

bool IsEan13Number(std::string_view s, bool supplemental)
{
    return HasRetailLength(s.size(), kEan13Length, supplemental, true) && IsCodeDigits(s) &&
           VTEan13Code::CheckDigit(s) == s[kEan13Length - 1];
}

} // namespace

VTEan8Code::~VTEan8Code() = default;

char VTEan8Code::CheckDigit(std::string_view digits)
{
    return RetailCheckDigit(digits, kEan8Length - 1, 3);
}

bool VTEan8Code::ValidlyFormed(const char* text, bool strip)
{
    TS_CHECK_NULL(text);
    return ValidlyFormed(std::string_view(text), strip);
}

bool VTEan8Code::ValidlyFormed(std::string_view text, bool strip)
{
    return TestMaybeStripped(text, strip, [](std::string_view s) {
        return s.size() == kEan8Length && IsCodeDigits(s) && CheckDigit(s) == s[kEan8Length - 1];
    });
}

void VTEan8Code::ConstructCode(const char* serverId, const char* itemId, const char* supplemental)
{
    ConstructWithCheckDigit(serverId, itemId, supplemental, {}, kEan8Length - 1, 3,
                            "Invalid character(s) in ItemID");
}

void VTEan8Code::DecomposeCode(const char* code, const VTCodeFormat& format)
{
    DecomposeByFormat(
        code, format, [](std::string_view text) { return ValidlyFormed(text, false); }, nullptr);
}

VTEan13Code::~VTEan13Code() = default;

char VTEan13Code::CheckDigit(std::string_view digits)
{
    return RetailCheckDigit(digits, kEan13Length - 1, 1);
}

bool VTEan13Code::ValidlyFormed(const char* text, bool strip, bool supplemental)
{
    TS_CHECK_NULL(text);
    return ValidlyFormed(std::string_view(text), strip, supplemental);
}

bool VTEan13Code::ValidlyFormed(std::string_view text, bool strip, bool supplemental)
{
    return TestMaybeStripped(text, strip, [supplemental](std::string_view s) {
        return !s.starts_with(kBookLandPrefix) && IsEan13Number(s, supplemental);
    });
}

bool VTEan13Code::RemoveSupplemental(std::string& code, std::string& supplemental)
{
    return SplitRetailAddOn(code, supplemental, kEan13Length, true);
}

void VTEan13Code::ConstructCode(const char* serverId, const char* itemId, const char* supplemental)
{
    ConstructWithCheckDigit(serverId, itemId, supplemental, {}, kEan13Length - 1, 1,
                            "Invalid character(s) in ItemID");
}

void VTEan13Code::DecomposeCode(const char* code, const VTCodeFormat& format)
{
    static constexpr AddOnShape kShape{kEan13Length, true, false};
    DecomposeByFormat(
        code, format, [](std::string_view text) { return ValidlyFormed(text, false, true); }, &kShape);
}

VTBookLandCode::~VTBookLandCode() = default;

bool VTBookLandCode::ValidlyFormed(const char* text, bool strip, bool supplemental)
{
    TS_CHECK_NULL(text);
    return ValidlyFormed(std::string_view(text), strip, supplemental);
}

bool VTBookLandCode::ValidlyFormed(std::string_view text, bool strip, bool supplemental)
{
    return TestMaybeStripped(text, strip, [supplemental](std::string_view s) {
        return s.starts_with(kBookLandPrefix) && IsEan13Number(s, supplemental);
    });
}

bool VTBookLandCode::RemoveSupplemental(std::string& code, std::string& supplemental)
{
    return SplitRetailAddOn(code, supplemental, kEan13Length, true);
}

// Either part holding a non-digit is reported as the server ID's fault.
void VTBookLandCode::ConstructCode(const char* serverId, const char* itemId, const char* supplemental)
{
    ConstructWithCheckDigit(serverId, itemId, supplemental, kBookLandPrefix,
                            kEan13Length - 1 - kBookLandPrefix.size(), 1, "Invalid character(s) in ServerID");
}

void VTBookLandCode::DecomposeCode(const char* code, const VTCodeFormat& format)
{
    static constexpr AddOnShape kShape{kEan13Length, true, false};
    DecomposeByFormat(
        code, format, [](std::string_view text) { return ValidlyFormed(text, false, true); }, &kShape);
}

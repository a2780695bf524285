#include "vtkit/cdnumicode.h"

#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"
#include "vtkit/cdformat.h"
#include "vtkit/vtexcep.h"

#include <cstring>

namespace {

constexpr std::size_t kMaxDigits = 5;

} // namespace

VTNumicode::~VTNumicode() = default;

bool VTNumicode::ValidlyFormed(const char* text, bool strip)
{
    TS_CHECK_NULL(text);
    return ValidlyFormed(std::string_view(text), strip);
}

bool VTNumicode::ValidlyFormed(std::string_view text, bool strip)
{
    return TestMaybeStripped(text, strip,
                             [](std::string_view s) { return s.size() <= kMaxDigits && IsCodeDigits(s); });
}

void VTNumicode::ConstructCode(const char*, const char* itemId, const char* supplemental)
{
    TS_CHECK_NULL(itemId);
    Reset();
    if (!IsAllDigits(itemId))
        RaiseInvalidCode("Invalid character(s) in ItemID");
    if (std::strlen(itemId) > kMaxDigits)
        RaiseInvalidCode("Invalid IID length");
    SetContents(itemId, kServerId, itemId, supplemental, 1);
}

void VTNumicode::DecomposeCode(const char* code, const VTCodeFormat& format)
{
    TS_CHECK_NULL(code);
    if (!format.Matches(code))
        RaiseInvalidCode("Invalid CodeFormat");
    if (!ValidlyFormed(code, true))
        RaiseInvalidCode("ValidlyFormed()");
    SetContents(code, kServerId, code, nullptr, 1);
}

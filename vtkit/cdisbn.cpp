#include "vtkit/cdisbn.h"

#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"
#include "vtkit/vtexcep.h"

#include <string>

namespace {

constexpr std::size_t kIsbnLength = 10;

} // namespace

VTIsbnCode::~VTIsbnCode() = default;

char VTIsbnCode::CheckDigit(std::string_view digits)
{
    TS_ASSERT(digits.size() >= kIsbnLength - 1);
    unsigned sum = 0;
    for (unsigned i = 0; i < kIsbnLength - 1; ++i) {
        TS_ASSERT_MSG(IsDecimalDigit(digits[i]), "non-digit in check digit");
        sum += (10 - i) * static_cast<unsigned>(digits[i] - '0');
    }
    const unsigned r = sum % 11;
    return r == 1 ? 'X' : r == 0 ? '0' : static_cast<char>('0' + 11 - r);
}

bool VTIsbnCode::ValidlyFormed(const char* text, bool strip)
{
    TS_CHECK_NULL(text);
    return ValidlyFormed(std::string_view(text), strip);
}

bool VTIsbnCode::ValidlyFormed(std::string_view text, bool strip)
{
    return TestMaybeStripped(text, strip, [](std::string_view s) {
        if (s.size() != kIsbnLength || s.starts_with("978") || !IsCodeDigits(s.substr(0, kIsbnLength - 1)))
            return false;
        const char last = s[kIsbnLength - 1] == 'x' ? 'X' : s[kIsbnLength - 1];
        return CheckDigit(s) == last;
    });
}

// Either part holding a non-digit is reported as the server ID's fault.
void VTIsbnCode::ConstructCode(const char* serverId, const char* itemId, const char* supplemental)
{
    TS_CHECK_NULL(serverId);
    TS_CHECK_NULL(itemId);
    Reset();
    if (!IsAllDigits(serverId) || !IsAllDigits(itemId))
        RaiseInvalidCode("Invalid character(s) in ServerID");
    std::string code = std::string(serverId) + itemId;
    if (code.size() != kIsbnLength - 1)
        RaiseInvalidCode("Invalid length");
    code.push_back(CheckDigit(code));
    SetContents(code.c_str(), serverId, itemId, supplemental, 1);
}

void VTIsbnCode::DecomposeCode(const char* code, const VTCodeFormat& format)
{
    DecomposeByFormat(
        code, format, [](std::string_view text) { return ValidlyFormed(text, false); }, nullptr);
}

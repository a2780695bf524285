#include "tools/refserver/refuserid.h"

#include "tst/tsstrutl.h"
#include "vtkit/vtcrypt.h"
#include "vtkit/vtcsum.h"

#include <cstdio>

namespace {

constexpr std::size_t kBlindedLength = 15;
constexpr std::size_t kClearLength = 9;

} // namespace

bool UnblindUserId(std::string_view blinded, std::string& clearId)
{
    if (blinded.size() != kBlindedLength || !IsAllDigits(blinded))
        return false;
    const int check = (blinded[0] - '0') * 10 + (blinded[1] - '0');
    const std::string body = VTDigitScrambler(static_cast<unsigned>(check)).Unscramble(blinded.substr(2));
    if (PositionalChecksum(body) != check)
        return false;
    clearId = body.substr(0, kClearLength);
    return true;
}

std::string BlindUserId(std::string_view clearId, unsigned salt)
{
    if (clearId.size() != kClearLength || !IsAllDigits(clearId))
        return {};
    char saltText[8];
    std::snprintf(saltText, sizeof saltText, "%04u", salt % 10000);
    const std::string body = std::string(clearId) + saltText;
    const int check = PositionalChecksum(body);
    char checkText[4];
    std::snprintf(checkText, sizeof checkText, "%02d", check);
    return checkText + VTDigitScrambler(static_cast<unsigned>(check)).Scramble(body);
}

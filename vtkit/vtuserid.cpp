#include "vtkit/vtuserid.h"

#include "tst/tsexcep.h"
#include "tst/tsstrmap.h"
#include "tst/tsstrutl.h"
#include "vtkit/cdformat.h"
#include "vtkit/vtcrypt.h"
#include "vtkit/vtcsum.h"
#include "vtkit/vtexcep.h"

#include <cstdio>

VTUserId::~VTUserId() = default;

void VTUserId::SetBlindedId(const char* text)
{
    TS_CHECK_NULL(text);
    SetBlindedId(std::string_view(text));
}

void VTUserId::SetBlindedId(std::string_view text)
{
    Invalidate();
    std::string clearId;
    if (!Unblind(text, clearId))
        RaiseInvalidUserId("SetBlindedId()");
    m_blindedId = text;
    m_clearId = clearId;
    m_valid = 1;
}

std::string VTUserId::GetBlindedId() const
{
    if (!IsValid())
        RaiseInvalidUserId("GetBlindedId()");
    return m_blindedId;
}

std::string VTUserId::GetClearId() const
{
    if (!IsValid())
        RaiseInvalidUserId("GetClearId()");
    return m_clearId;
}

std::string VTUserId::GetReblindedBlindedId(int salt) const
{
    if (!IsValid())
        RaiseInvalidUserId("GetReblindedBlindedId - Invalid");
    const std::string blinded =
        Blind(m_clearId, salt == kClockSalt ? static_cast<int>(VTCurrentTime() % 10000) : salt);
    if (blinded.empty())
        RaiseInvalidUserId("GetReblindedBlindedId - Failed");
    return blinded;
}

void VTUserId::Invalidate()
{
    m_blindedId.clear();
    m_clearId.clear();
    m_valid = 0;
}

void VTUserId::AddTo(TSStringMap& map) const
{
    map.Set("USER", GetReblindedBlindedId());
    map.Set("USERC", GetClearId());
}

std::string VTUserId::Blind(std::string_view clearId, int salt)
{
    if (clearId.size() != kClearLength || !IsAllDigits(clearId))
        return {};
    char saltDigits[8];
    std::snprintf(saltDigits, sizeof saltDigits, "%0*d", 4, (salt % 10000 + 10000) % 10000);
    const std::string body = std::string(clearId) + saltDigits;
    const int check = PositionalChecksum(body);
    char checkDigits[4];
    std::snprintf(checkDigits, sizeof checkDigits, "%02d", check);
    return checkDigits + VTDigitScrambler(static_cast<std::uint32_t>(check)).Scramble(body);
}

bool VTUserId::Unblind(std::string_view blindedId, std::string& clearId)
{
    if (blindedId.size() != kBlindedLength || !IsAllDigits(blindedId))
        return false;
    const int check = (blindedId[0] - '0') * 10 + (blindedId[1] - '0');
    const std::string body =
        VTDigitScrambler(static_cast<std::uint32_t>(check)).Unscramble(blindedId.substr(2));
    if (PositionalChecksum(body) != check)
        return false;
    clearId = body.substr(0, kClearLength);
    return true;
}

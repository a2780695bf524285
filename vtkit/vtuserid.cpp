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
    if (text.size() != kBlindedLength || !IsAllDigits(text))
        RaiseInvalidUserId("SetBlindedId()");
    const int check = (text[0] - '0') * 10 + (text[1] - '0');
    const std::string body = VTDigitScrambler(static_cast<std::uint32_t>(check)).Unscramble(text.substr(2));
    if (PositionalChecksum(body) != check)
        RaiseInvalidUserId("SetBlindedId()");
    m_blindedId = text;
    m_clearId = body.substr(0, kClearLength);
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
    if (m_clearId.size() != kClearLength)
        RaiseInvalidUserId("GetReblindedBlindedId - Failed");
    const int value = salt == kClockSalt ? static_cast<int>(VTCurrentTime() % 10000) : (salt % 10000 + 10000) % 10000;
    char saltDigits[8];
    std::snprintf(saltDigits, sizeof saltDigits, "%0*d", 4, value);
    const std::string body = m_clearId + saltDigits;
    const int check = PositionalChecksum(body);
    char checkDigits[4];
    std::snprintf(checkDigits, sizeof checkDigits, "%02d", check);
    return checkDigits + VTDigitScrambler(static_cast<std::uint32_t>(check)).Scramble(body);
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

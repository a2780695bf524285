#include "vtkit/cdvantrel.h"

#include "tst/tsexcep.h"
#include "tst/tsstrutl.h"
#include "vtkit/cdupc.h"
#include "vtkit/vtcrypt.h"
#include "vtkit/vtcsum.h"
#include "vtkit/vtexcep.h"

#include <array>
#include <cstring>

namespace {

using Buffer = std::array<char, VTVantrelCode::kMaxLength>;
constexpr std::size_t kMaxServerDigits = 9;
constexpr int kSeedTries = 10;

// "0042" -> "42", "000" -> "0".
std::string_view WithoutLeadingZeros(std::string_view digits)
{
    const auto first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? digits.substr(digits.size() - 1) : digits.substr(first);
}

// Writes the code of the two IDs into `out`; its length, or 0 on failure.
std::size_t Encode(std::string_view serverId, std::string_view itemId, Buffer& out)
{
    if (!IsCodeDigits(serverId) || !IsCodeDigits(itemId))
        return 0;
    const std::string_view sid = WithoutLeadingZeros(serverId);
    const std::string_view iid = WithoutLeadingZeros(itemId);
    if (sid.size() > kMaxServerDigits)
        return 0;
    const bool pad = (sid.size() + iid.size()) % 2 == 0;
    const std::size_t bodyLength = 2 + sid.size() + (pad ? 1 : 0) + iid.size();
    // A longer code could never be read back.
    if (1 + bodyLength > out.size())
        return 0;

    char* body = out.data() + 1;
    const bool shortKind = sid == "1" && iid.size() == 1 && iid[0] <= '5';
    body[0] = shortKind ? '2' : '3';
    body[1] = static_cast<char>('0' + sid.size());
    std::memcpy(body + 2, sid.data(), sid.size());
    char* item = body + 2 + sid.size();
    if (pad)
        *item++ = '0';
    std::memcpy(item, iid.data(), iid.size());

    const std::string_view plain(body, bodyLength);
    const int checksum = shortKind ? PositionalChecksum(plain) : PrimeWeightedChecksum(plain);
    Buffer plainCopy;
    std::memcpy(plainCopy.data(), body, bodyLength);
    for (int tries = 0, seed = checksum; tries < kSeedTries; ++tries, ++seed) {
        seed %= 10;
        out[0] = static_cast<char>('0' + seed);
        VTDigitScrambler(static_cast<std::uint32_t>(seed)).Scramble(plainCopy.data(), body, bodyLength);
        const std::string_view candidate(out.data(), 1 + bodyLength);
        if (!VTUpcACode::ValidlyFormed(candidate, false, false) &&
            !VTUpcECode::ValidlyFormed(candidate, false, false))
            return candidate.size();
    }
    return 0;
}

// Splits a code into its IDs (views into `body`, leading zeros removed).
bool Decode(std::string_view code, Buffer& body, std::string_view& serverId, std::string_view& itemId)
{
    if (code.size() < VTVantrelCode::kMinLength || code.size() > VTVantrelCode::kMaxLength ||
        code.size() % 2 != 0 || !IsCodeDigits(code))
        return false;
    const std::size_t bodyLength = code.size() - 1;
    const VTDigitScrambler scrambler(static_cast<std::uint32_t>(code[0] - '0'));
    // Kind and length come first and reject most texts, so they are
    // unscrambled first. Only kinds 2 and 3 are ever written, so nothing else
    // can re-encode to itself.
    scrambler.Unscramble(code.data() + 1, body.data(), 2);
    const auto serverLength = static_cast<std::size_t>(body[1] - '0');
    if ((body[0] != '2' && body[0] != '3') || serverLength == 0 || serverLength >= bodyLength - 2)
        return false;
    scrambler.Unscramble(code.data() + 1, body.data(), bodyLength);
    const std::string_view rawServerId(body.data() + 2, serverLength);
    const std::string_view rawItemId(body.data() + 2 + serverLength, bodyLength - 2 - serverLength);
    serverId = WithoutLeadingZeros(rawServerId);
    itemId = WithoutLeadingZeros(rawItemId);
    // The encoder writes the server ID without leading zeros and puts at most
    // one zero before the item ID; anything else cannot come back (and this
    // spares most texts the full re-encoding).
    if (serverId.size() != serverLength || rawItemId.size() > itemId.size() + 1 || !IsCodeDigits(rawServerId))
        return false;
    Buffer again;
    const std::size_t length = Encode(serverId, itemId, again);
    return length == code.size() && std::memcmp(again.data(), code.data(), length) == 0;
}

} // namespace

VTVantrelCode::~VTVantrelCode() = default;

bool VTVantrelCode::EncodeVantrel(const char* serverId, const char* itemId, std::string& code)
{
    TS_CHECK_NULL(serverId);
    TS_CHECK_NULL(itemId);
    return EncodeVantrel(std::string_view(serverId), std::string_view(itemId), code);
}

bool VTVantrelCode::EncodeVantrel(std::string_view serverId, std::string_view itemId, std::string& code)
{
    Buffer out;
    const std::size_t length = Encode(serverId, itemId, out);
    if (length == 0)
        return false;
    code.assign(out.data(), length);
    return true;
}

bool VTVantrelCode::DecodeVantrel(const char* code, std::string& serverId, std::string& itemId)
{
    TS_CHECK_NULL(code);
    return DecodeVantrel(std::string_view(code), serverId, itemId);
}

bool VTVantrelCode::DecodeVantrel(std::string_view code, std::string& serverId, std::string& itemId)
{
    Buffer body;
    std::string_view sid;
    std::string_view iid;
    if (!Decode(code, body, sid, iid))
        return false;
    serverId = sid;
    itemId = iid;
    return true;
}

bool VTVantrelCode::ValidlyFormed(const char* text, bool strip)
{
    TS_CHECK_NULL(text);
    return ValidlyFormed(std::string_view(text), strip);
}

bool VTVantrelCode::ValidlyFormed(std::string_view text, bool strip)
{
    return TestMaybeStripped(text, strip, [](std::string_view s) {
        Buffer body;
        std::string_view sid;
        std::string_view iid;
        return Decode(s, body, sid, iid);
    });
}

void VTVantrelCode::ConstructCode(const char* serverId, const char* itemId, const char* supplemental)
{
    TS_CHECK_NULL(serverId);
    TS_CHECK_NULL(itemId);
    Reset();
    std::string code;
    if (!EncodeVantrel(serverId, itemId, code))
        RaiseInvalidCode("ConstructCode()");
    SetContents(code.c_str(), serverId, itemId, supplemental, 1);
}

void VTVantrelCode::DecomposeCode(const char* code, const VTCodeFormat&)
{
    TS_CHECK_NULL(code);
    Reset();
    std::string serverId;
    std::string itemId;
    if (!DecodeVantrel(StripSpacesAndDashes(code), serverId, itemId))
        RaiseInvalidCode("DecomposeCode()");
    SetContents(code, serverId.c_str(), itemId.c_str(), nullptr, 1);
}

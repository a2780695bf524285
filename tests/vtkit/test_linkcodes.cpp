#include "tests/vtkit/codetest.h"
#include "vtkit/bcdblock.h"
#include "vtkit/cdnumicode.h"
#include "vtkit/cdupc.h"
#include "vtkit/cdurlcode.h"
#include "vtkit/cdvanity.h"
#include "vtkit/cdvantrel.h"
#include "vtkit/vtcrypt.h"
#include "vtkit/vtcsum.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

namespace {

TEST(UrlCode, ValidityByFirstNonLetter)
{
    const std::pair<const char*, bool> cases[] = {
        {"www.example.com", true},
        {"example.", true},
        {"mailto:someone@example.org", true},
        {"http://example.com/x", true},
        {"svn://", true},
        {"ftp://x", true},
        {"MailTo:x", true},
        {"telnet:h", true},
        {"TELNET:", true},
        {"news:x", false},
        {"abc:/", false},
        {"abc:x/", false},
        {"abc", false},
        {"1abc.com", false},
        {"", false},
        {".com", false},
        {"a_b.com", false},
        {"mailtox:a", false},
        {"ACME/123", false},
        {"a b.com", false},
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(VTUrlCode::ValidlyFormed(text), valid) << text;
    EXPECT_TRUE(IsNullPointerError(
        RaisedMessage([] { VTUrlCode::ValidlyFormed(static_cast<const char*>(nullptr)); })));
}

TEST(UrlCode, SchemesAreFoundAndAdded)
{
    const std::pair<const char*, bool> schemes[] = {
        {"http://x", true},   {"HTTPS://x", true},   {"ftp://a", true},  {"nntp://n", true},
        {"news://n", true},   {"telnet:h", true},    {"mailto:m", true}, {"http://", false},
        {"www.x.com", false}, {"gopher://x", false},
    };
    for (const auto& [text, has] : schemes)
        EXPECT_EQ(VTUrlCode::HasScheme(text), has) << text;

    const std::pair<std::string, std::string> added[] = {
        {"FTP.example.com", "ftp://FTP.example.com"},
        {"ftp.x", "ftp://ftp.x"},
        {"ftpx.com", "http://ftpx.com"},
        {"www.example.com/a", "http://www.example.com/a"},
    };
    for (auto [text, expected] : added) {
        VTUrlCode::AddScheme(text);
        EXPECT_EQ(text, expected);
    }
}

TEST(UrlCode, ConstructAndDecomposeTakeTheAddressAsItemId)
{
    VTUrlCode built;
    built.ConstructCode("ignored", "www.example.com/a b", "ignored");
    VTCodeContents c = built.GetContents();
    EXPECT_EQ(c.GetServerId(), "URL");
    EXPECT_EQ(c.GetCode(), "www.example.com/a%20b");
    EXPECT_EQ(c.GetRawItemId(), "www.example.com/a b");
    EXPECT_EQ(c.GetSupplemental(), "");
    EXPECT_EQ(c.GetCodeType(), kCodeUrl);

    VTUrlCode split;
    split.DecomposeCode("http://x.org", VTCodeFormat());
    EXPECT_EQ(split.GetContents().GetServerId(), "URL");
    EXPECT_EQ(split.GetContents().GetRawItemId(), "http://x.org");
    EXPECT_EQ(split.GetContents().GetCodeType(), kCodeUrl);

    VTUrlCode bad;
    EXPECT_EQ(RaisedMessage([&] { bad.ConstructCode("", "no address", nullptr); }),
              InvalidCode("Invalid format"));
    EXPECT_EQ(RaisedMessage([&] { bad.DecomposeCode("no address", VTCodeFormat()); }),
              InvalidCode("ValidlyFormed()"));
    EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { bad.ConstructCode("", nullptr, nullptr); })));
    EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { bad.DecomposeCode(nullptr, VTCodeFormat()); })));
}

TEST(VanityCode, ValidityAndSeparator)
{
    struct Case {
        const char* text;
        bool strip;
        int separator;
        bool valid;
    };
    const Case cases[] = {
        {"ACME/123", false, 4, true},
        {"AC ME-CO/12 3", false, 8, true},
        {"ACME", false, -1, true},
        {"ACME123", false, -1, true},
        {"12AB", false, -1, true},
        {"ACME/1.5", false, 4, true},  // a dot after the separator is fine
        {"ACME 1.5", false, 6, false}, // a dot as the separator is not
        {"ACME.5", false, 4, false},   // a host name, so a URL
        {"AC ME.5", false, 5, false},  // first separator a dot
        {"12345", false, -1, false},
        {"123/AB", false, 3, false},      // the name is all digits
        {"12 34/AB", true, 5, false},     // ... also once stripped
        {"080442957X", false, -1, false}, // an ISBN
        {"0-8044-2957-X", true, -1, false},
        {"/ACME", false, 0, false},
        {"", false, -1, false},
        {"  ", true, -1, false},
        {"www.acme.com", false, 3, false},
        {"ACME:1", false, 4, true},
        {"ACME\xe9", false, 4, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VTVanityCode::FindSeparator(c.text), c.separator) << c.text;
        EXPECT_EQ(VTVanityCode::ValidlyFormed(c.text, c.strip), c.valid) << c.text;
    }
}

TEST(VanityCode, DecomposeSplitsAtTheSeparatorAndTrimsBlanks)
{
    struct Case {
        const char* text;
        const char* serverId;
        const char* rawServerId;
        const char* itemId;
    };
    const Case cases[] = {
        {"ACME", "ACME", "ACME", ""},        {"AC-ME", "ACME", "AC-ME", ""},
        {"ACME/123", "ACME", "ACME", "123"}, {" ACME / 1 2 ", "ACME", "ACME", "12"},
        {"ACME/", "ACME", "ACME", ""},       {"MY SHOP#A-1", "MYSHOP", "MY SHOP", "A1"},
    };
    for (const auto& c : cases) {
        VTVanityCode code;
        code.DecomposeCode(c.text, VTCodeFormat());
        const VTCodeContents contents = code.GetContents();
        EXPECT_EQ(contents.GetRawCode(), c.text);
        EXPECT_EQ(contents.GetServerId(), c.serverId) << c.text;
        EXPECT_EQ(contents.GetRawServerId(), c.rawServerId) << c.text;
        EXPECT_EQ(contents.GetItemId(), c.itemId) << c.text;
        EXPECT_EQ(contents.GetCodeType(), kCodeVanity);
    }
    VTVanityCode code;
    EXPECT_EQ(RaisedMessage([&] { code.DecomposeCode("123/4", VTCodeFormat()); }),
              InvalidCode("ValidlyFormed()"));
    EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { code.DecomposeCode(nullptr, VTCodeFormat()); })));
}

TEST(VanityCode, ConstructJoinsNameAndItem)
{
    VTVanityCode code;
    code.ConstructCode("ACME", "123", nullptr);
    EXPECT_EQ(code.GetContents().GetCode(), "ACME123");
    EXPECT_EQ(code.GetContents().GetServerId(), "ACME");
    EXPECT_EQ(code.GetContents().GetItemId(), "123");

    VTVanityCode nameOnly;
    nameOnly.ConstructCode("ACME", nullptr, nullptr);
    EXPECT_EQ(nameOnly.GetContents().GetCode(), "ACME");
    EXPECT_EQ(nameOnly.GetContents().GetItemId(), "");

    VTVanityCode bad;
    EXPECT_EQ(RaisedMessage([&] { bad.ConstructCode("123", "A", nullptr); }), InvalidCode("ServerID"));
    EXPECT_EQ(RaisedMessage([&] { bad.ConstructCode("AC.ME", "1", nullptr); }), InvalidCode("Bad character"));
    EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { bad.ConstructCode(nullptr, "1", nullptr); })));
}

TEST(Numicode, OneToFiveDigitsServedByNumi)
{
    const std::pair<const char*, bool> cases[] = {
        {"1", true}, {"12345", true}, {"00000", true}, {"", false}, {"123456", false}, {"12a", false},
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(VTNumicode::ValidlyFormed(text, false), valid) << text;
    EXPECT_TRUE(VTNumicode::ValidlyFormed("12-345", true));
    EXPECT_FALSE(VTNumicode::ValidlyFormed("12-345", false));

    VTNumicode built;
    built.ConstructCode("ignored", "123", nullptr);
    EXPECT_EQ(built.GetContents().GetServerId(), "NUMI");
    EXPECT_EQ(built.GetContents().GetItemId(), "123");
    EXPECT_EQ(built.GetContents().GetCode(), "123");

    VTNumicode split;
    split.DecomposeCode("1-23", VTCodeFormat());
    EXPECT_EQ(split.GetContents().GetServerId(), "NUMI");
    EXPECT_EQ(split.GetContents().GetRawItemId(), "1-23");
    EXPECT_EQ(split.GetContents().GetItemId(), "123");
    EXPECT_EQ(split.GetContents().GetRawCode(), "1-23");

    VTNumicode bad;
    EXPECT_EQ(RaisedMessage([&] { bad.ConstructCode("", "12a", nullptr); }),
              InvalidCode("Invalid character(s) in ItemID"));
    EXPECT_EQ(RaisedMessage([&] { bad.ConstructCode("", "", nullptr); }),
              InvalidCode("Invalid character(s) in ItemID"));
    EXPECT_EQ(RaisedMessage([&] { bad.ConstructCode("", "123456", nullptr); }),
              InvalidCode("Invalid IID length"));
    EXPECT_EQ(RaisedMessage([&] { bad.DecomposeCode("123", MakeFormat(kCodeNumi, 0, 4, 0, 0)); }),
              InvalidCode("Invalid CodeFormat"));
    EXPECT_EQ(RaisedMessage([&] { bad.DecomposeCode("123456", VTCodeFormat()); }),
              InvalidCode("ValidlyFormed()"));
    EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { bad.ConstructCode("", nullptr, nullptr); })));
}

TEST(Checksums, KnownValues)
{
    EXPECT_EQ(PositionalChecksum("2115"), 27);
    EXPECT_EQ(PrimeWeightedChecksum("2115"), 45);
    EXPECT_EQ(PositionalChecksum(""), 0);
    EXPECT_EQ(PrimeWeightedChecksum(""), 0);
    // 1..9 weighted by position: 1 + 4 + ... + 81 = 285.
    EXPECT_EQ(PositionalChecksum("123456789"), 85);
    // Seventeen 1s: the sixteen weights sum to 380, then the first comes again.
    EXPECT_EQ(PrimeWeightedChecksum("11111111111111111"), 81);
    // Positions past 99 still count by their full weight modulo 100.
    EXPECT_EQ(PositionalChecksum(std::string(100, '0') + "1"), 1);
    EXPECT_TRUE(IsAssertion(RaisedMessage([] { PositionalChecksum("12a"); })));
    EXPECT_TRUE(IsAssertion(RaisedMessage([] { PrimeWeightedChecksum("1 2"); })));
    EXPECT_TRUE(
        IsNullPointerError(RaisedMessage([] { PositionalChecksum(static_cast<const char*>(nullptr)); })));
}

std::string Digits(const VTDigitScrambler::Permutation& p)
{
    std::string s;
    for (const auto d : p)
        s.push_back(static_cast<char>('0' + d));
    return s;
}

TEST(DigitScrambler, SeedsGiveTheKnownPermutations)
{
    const VTDigitScrambler zero(0);
    EXPECT_EQ(Digits(zero.P1()), "0365189724");
    EXPECT_EQ(Digits(zero.P2()), "4956820173");
    const VTDigitScrambler one(1);
    EXPECT_EQ(Digits(one.P1()), "1248673059");
    EXPECT_EQ(Digits(one.P2()), "4570623918");
    EXPECT_EQ(one.Scramble("2115"), "1941");
    EXPECT_EQ(one.Unscramble("1941"), "2115");
    // Re-seeding replaces the tables; each call restarts from the seed.
    VTDigitScrambler again(7);
    again.Seed(1);
    EXPECT_EQ(again.Scramble("2115"), "1941");
    EXPECT_EQ(again.Scramble("2115"), "1941");
}

TEST(DigitScrambler, UnscrambleInvertsScrambleForAnySeed)
{
    std::mt19937 rng(11);
    const std::uint32_t seeds[] = {0, 9, 42, 99, 100, 12345, 0x7FFFFFFF, 0xFFFFFFF0, 0xFFFFFFFF};
    for (const auto seed : seeds) {
        const VTDigitScrambler scrambler(seed);
        std::string sorted = Digits(scrambler.P1());
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, "0123456789") << seed;
        for (int i = 0; i < 50; ++i) {
            std::string digits;
            for (int k = 0; k < 1 + i * 3; ++k)
                digits.push_back(static_cast<char>('0' + rng() % 10));
            const std::string scrambled = scrambler.Scramble(digits);
            EXPECT_TRUE(IsAllDigits(scrambled));
            EXPECT_EQ(scrambler.Unscramble(scrambled), digits) << seed;
        }
    }
    EXPECT_TRUE(IsAssertion(RaisedMessage([] { VTDigitScrambler(3).Scramble("12x"); })));
    EXPECT_TRUE(IsAssertion(RaisedMessage([] { VTDigitScrambler(3).Unscramble("-1"); })));
    EXPECT_TRUE(IsNullPointerError(
        RaisedMessage([] { VTDigitScrambler(3).Scramble(static_cast<const char*>(nullptr)); })));
}

struct VantrelVector {
    const char* serverId;
    const char* itemId;
    const char* code;
    const char* decodedServerId;
    const char* decodedItemId;
};

const VantrelVector kVantrelVectors[] = {
    {"1", "5", "237659", "1", "5"},
    {"1", "6", "753673", "1", "6"},
    {"12345", "678", "687813053406", "12345", "678"},
    {"000123", "0042", "13258528", "123", "42"},
    {"987654321", "1", "68907332167071", "987654321", "1"},
    {"1", "3", "237655", "1", "3"},
};

TEST(VantrelCode, KnownVectorsEncodeAndDecode)
{
    for (const auto& v : kVantrelVectors) {
        std::string code;
        ASSERT_TRUE(VTVantrelCode::EncodeVantrel(v.serverId, v.itemId, code))
            << v.serverId << "/" << v.itemId;
        EXPECT_EQ(code, v.code);
        std::string serverId = "x";
        std::string itemId = "x";
        ASSERT_TRUE(VTVantrelCode::DecodeVantrel(v.code, serverId, itemId)) << v.code;
        EXPECT_EQ(serverId, v.decodedServerId);
        EXPECT_EQ(itemId, v.decodedItemId);
        EXPECT_TRUE(VTVantrelCode::ValidlyFormed(v.code, false));
    }
}

TEST(VantrelCode, EncodingFailures)
{
    struct Case {
        const char* serverId;
        const char* itemId;
    };
    const Case cases[] = {
        {"1234567890", "1"}, // ten significant digits
        {"", "1"},
        {"1", ""},
        {"12a", "1"},
        {"1", "1 2"},
        {"123456789", "12345678901"}, // 24 digits: longer than any code that decodes
    };
    for (const auto& c : cases) {
        std::string code = "untouched";
        EXPECT_FALSE(VTVantrelCode::EncodeVantrel(c.serverId, c.itemId, code))
            << c.serverId << "/" << c.itemId;
        EXPECT_EQ(code, "untouched");
    }
    std::string code;
    EXPECT_TRUE(VTVantrelCode::EncodeVantrel("000123456789", "0", code)) << "leading zeros do not count";
    EXPECT_TRUE(VTVantrelCode::EncodeVantrel("0", "0", code)) << "an all-zero ID is 0";
    EXPECT_TRUE(VTVantrelCode::EncodeVantrel("123456789", "1234567890", code));
    EXPECT_EQ(code.size(), 22u);
}

TEST(VantrelCode, DecodingRejectsMalformedCodes)
{
    const char* cases[] = {"", "23765", "2376590", "23765x", "2376 59", "12345678901234567890123", "000000"};
    for (const char* text : cases) {
        std::string serverId = "untouched";
        std::string itemId = "untouched";
        EXPECT_FALSE(VTVantrelCode::DecodeVantrel(text, serverId, itemId)) << text;
        EXPECT_EQ(serverId, "untouched");
        EXPECT_FALSE(VTVantrelCode::ValidlyFormed(text, false)) << text;
    }
    EXPECT_TRUE(VTVantrelCode::ValidlyFormed("2376-59", true));
    EXPECT_FALSE(VTVantrelCode::ValidlyFormed("2376-59", false));
}

// Counts the one-digit changes of a code that still decode, checking that
// none decodes to the code's own IDs.
int CountDecodingChanges(const std::string& code, const std::string& serverId, const std::string& itemId,
                         int& changes)
{
    int decoded = 0;
    for (std::size_t at = 0; at < code.size(); ++at) {
        for (char digit = '0'; digit <= '9'; ++digit) {
            if (digit == code[at])
                continue;
            std::string changed = code;
            changed[at] = digit;
            std::string sid;
            std::string iid;
            ++changes;
            if (!VTVantrelCode::DecodeVantrel(changed, sid, iid))
                continue;
            ++decoded;
            EXPECT_FALSE(sid == serverId && iid == itemId) << changed << " still reads as " << code;
        }
    }
    return decoded;
}

// A changed digit never yields the same IDs and mostly no code at all, but
// the seed digit is the only check, so about one change in twelve gives
// another valid code: 237655, one digit from 237659 (1 and 5), is the code
// of 1 and 3, and 13258529 (one from 123 and 42) that of 123 and 45.
TEST(VantrelCode, ChangedDigitsNeverKeepTheIdsAndMostlyFailToDecode)
{
    int changes = 0;
    int decoded = 0;
    for (const auto& v : kVantrelVectors)
        decoded += CountDecodingChanges(v.code, v.decodedServerId, v.decodedItemId, changes);
    std::mt19937 rng(5);
    for (int i = 0; i < 2000; ++i) {
        const std::string serverId = std::to_string(1 + rng() % 999999);
        const std::string itemId = std::to_string(rng() % 99999);
        std::string code;
        ASSERT_TRUE(VTVantrelCode::EncodeVantrel(serverId, itemId, code));
        decoded += CountDecodingChanges(code, serverId, itemId, changes);
    }
    EXPECT_GT(changes, 100000);
    // Measured: about 8 percent decode.
    EXPECT_LT(decoded * 100, changes * 12) << decoded << " of " << changes << " changed codes decoded";
    std::string serverId;
    std::string itemId;
    ASSERT_TRUE(VTVantrelCode::DecodeVantrel("237655", serverId, itemId));
    EXPECT_EQ(serverId + "/" + itemId, "1/3");
    ASSERT_TRUE(VTVantrelCode::DecodeVantrel("13258529", serverId, itemId));
    EXPECT_EQ(serverId + "/" + itemId, "123/45");
}

TEST(VantrelCode, RandomIdsRoundTripAndNeverReadAsUpc)
{
    std::mt19937 rng(2024);
    const auto randomDigits = [&](std::size_t count) {
        std::string s;
        for (std::size_t i = 0; i < count; ++i)
            s.push_back(static_cast<char>('0' + rng() % 10));
        return s;
    };
    int encoded = 0;
    for (int i = 0; i < 30000; ++i) {
        const std::string serverId = randomDigits(1 + rng() % 9);
        const std::string itemId = randomDigits(rng() % 13);
        const std::string sid = StripLeadingZeros(serverId);
        const std::string iid = itemId.empty() ? "" : StripLeadingZeros(itemId);
        const std::size_t digits = 3 + sid.size() + iid.size();
        const std::size_t length = digits + digits % 2;
        std::string code;
        if (!VTVantrelCode::EncodeVantrel(serverId, itemId, code)) {
            EXPECT_TRUE(itemId.empty() || length > VTVantrelCode::kMaxLength) << serverId << "/" << itemId;
            continue;
        }
        ++encoded;
        EXPECT_EQ(code.size(), length) << serverId << "/" << itemId;
        std::string decodedServerId;
        std::string decodedItemId;
        ASSERT_TRUE(VTVantrelCode::DecodeVantrel(code, decodedServerId, decodedItemId)) << code;
        EXPECT_EQ(decodedServerId, sid);
        EXPECT_EQ(decodedItemId, iid);
        EXPECT_FALSE(VTUpcACode::ValidlyFormed(code, false, false)) << code;
        EXPECT_FALSE(VTUpcECode::ValidlyFormed(code, false, false)) << code;
    }
    EXPECT_GT(encoded, 20000);
}

TEST(VantrelCode, ConstructKeepsIdsAsGivenAndDecomposeStripsThem)
{
    VTVantrelCode built;
    built.ConstructCode("000123", "0042", "7");
    EXPECT_EQ(built.GetContents().GetCode(), "13258528");
    EXPECT_EQ(built.GetContents().GetServerId(), "000123");
    EXPECT_EQ(built.GetContents().GetItemId(), "0042");
    EXPECT_EQ(built.GetContents().GetSupplemental(), "7");

    VTVantrelCode split;
    split.DecomposeCode("1325-8528", VTCodeFormat());
    EXPECT_EQ(split.GetContents().GetRawCode(), "1325-8528");
    EXPECT_EQ(split.GetContents().GetCode(), "13258528");
    EXPECT_EQ(split.GetContents().GetServerId(), "123");
    EXPECT_EQ(split.GetContents().GetItemId(), "42");

    VTVantrelCode bad;
    EXPECT_EQ(RaisedMessage([&] { bad.ConstructCode("1234567890", "1", nullptr); }),
              InvalidCode("ConstructCode()"));
    EXPECT_EQ(RaisedMessage([&] { bad.DecomposeCode("13258520", VTCodeFormat()); }),
              InvalidCode("DecomposeCode()"));
    EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { bad.ConstructCode("1", nullptr, nullptr); })));
    EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { bad.DecomposeCode(nullptr, VTCodeFormat()); })));
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> bytes;
    for (const int v : values)
        bytes.push_back(static_cast<std::uint8_t>(v));
    return bytes;
}

TEST(BarcodeDataBlock, ParsesRecordsUpToTheClosingZero)
{
    struct Case {
        std::vector<std::uint8_t> bytes;
        bool ok;
        std::vector<VTBarcodeDataBlockEntry> entries;
    };
    const Case cases[] = {
        {Bytes({5, 'B', '1', '2', '3', '4', 0}), true, {{kScanTypeUPC, "1234"}}},
        {Bytes({5, 'B', '1', '2', '3', '4'}), false, {}},
        {Bytes({0}), true, {}},
        {Bytes({}), false, {}},
        {Bytes({1, 'A', 0}), false, {}},
        {Bytes({0, 0}), false, {}},
        {Bytes({2, 'A', '7', 2, 'H', '8', 0}), true, {{kScanTypeCode128, "7"}, {kScanTypeEAN8, "8"}}},
        {Bytes({3, 'E', '1', '2', 3, 'Z', 'x', 'y', 3, 'a', '0', '0', 0}),
         true,
         {{kScanTypeUPCA, "12"}, {kScanTypeUnknown, "xy"}, {kScanTypeUnknown, "00"}}},
        {Bytes({2, 'C', 0, 2, 'D', 0xff, 0}),
         true,
         {{kScanTypeEAN, std::string(1, '\0')}, {kScanTypeUPCOrEAN, "\xff"}}},
        {Bytes({2, 'F', '1', 3, 'G', '1', 0}), false, {}}, // the second record runs into the end
        {Bytes({2, 'F', '1', 0, 7}), false, {}},           // bytes after the closing zero
        {Bytes({255, 'A'}), false, {}},
    };
    for (const auto& c : cases) {
        VTBarcodeDataBlock block;
        EXPECT_EQ(block.Parse(c.bytes.data(), c.bytes.size()), c.ok) << testing::PrintToString(c.bytes);
        EXPECT_EQ(block.Entries(), c.entries) << testing::PrintToString(c.bytes);
    }
}

TEST(BarcodeDataBlock, LettersMapToScanTypes)
{
    const std::pair<char, ScanType> letters[] = {
        {'A', kScanTypeCode128}, {'B', kScanTypeUPC},     {'C', kScanTypeEAN},     {'D', kScanTypeUPCOrEAN},
        {'E', kScanTypeUPCA},    {'F', kScanTypeUPCE},    {'G', kScanTypeEAN13},   {'H', kScanTypeEAN8},
        {'Z', kScanTypeUnknown}, {'I', kScanTypeUnknown}, {'a', kScanTypeUnknown}, {'@', kScanTypeUnknown}};
    for (const auto& [letter, type] : letters)
        EXPECT_EQ(VTBarcodeDataBlock::ScanTypeOfLetter(static_cast<std::uint8_t>(letter)), type) << letter;
}

// What another program sends parses back to the same entries; a text a
// length byte cannot carry makes no block.
TEST(BarcodeDataBlock, FormatIsWhatParseReads)
{
    const std::vector<VTBarcodeDataBlockEntry> entries = {
        {kScanTypeUPC, "1234"},
        {kScanTypeEAN8, "02103822"},
        {kScanTypeUnknown, "V12"},
        {kScanTypeCode128, "x"},
        {kScanTypeUPCOrEAN, std::string(VTBarcodeDataBlock::kMaxText, '7')}};
    const auto bytes = VTBarcodeDataBlock::Format(entries);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->substr(0, 6), std::string("\x05"
                                               "B1234"));
    VTBarcodeDataBlock block;
    ASSERT_TRUE(block.Parse(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
    EXPECT_EQ(block.Entries(), entries);
    EXPECT_EQ(VTBarcodeDataBlock::Format({}), std::string(1, '\0'));
    EXPECT_FALSE(VTBarcodeDataBlock::Format({{kScanTypeUPC, ""}}));
    EXPECT_FALSE(
        VTBarcodeDataBlock::Format({{kScanTypeUPC, std::string(VTBarcodeDataBlock::kMaxText + 1, '7')}}));
    for (std::int32_t type = 0; type <= 8; ++type)
        EXPECT_EQ(VTBarcodeDataBlock::ScanTypeOfLetter(
                      VTBarcodeDataBlock::LetterOfScanType(static_cast<ScanType>(type))),
                  type);
    EXPECT_EQ(VTBarcodeDataBlock::LetterOfScanType(static_cast<ScanType>(9)), 'Z');
}

TEST(BarcodeDataBlock, FailureLeavesNoEntriesAndIndexIsChecked)
{
    VTBarcodeDataBlock block;
    const auto good = Bytes({3, 'E', '1', '2', 0});
    ASSERT_TRUE(block.Parse(good.data(), good.size()));
    EXPECT_EQ(block[0].text, "12");
    EXPECT_THROW(block[1], std::out_of_range);
    const auto bad = Bytes({3, 'E', '1', '2', 9, 'A'});
    EXPECT_FALSE(block.Parse(bad.data(), bad.size()));
    EXPECT_EQ(block.Size(), 0u);
    EXPECT_FALSE(block.Parse(nullptr, 0));
    EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { block.Parse(nullptr, 3); })));
}

} // namespace

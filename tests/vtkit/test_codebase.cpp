#include "tests/vtkit/codetest.h"
#include "tst/tsstrmap.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/cdean.h"
#include "vtkit/cdupc.h"
#include "vtkit/cdurlcode.h"
#include "vtkit/vtexcep.h"

#include <gtest/gtest.h>

namespace {

TEST(CodeTypes, NamesParseCaseInsensitivelyWithUpcAlias)
{
    const std::pair<const char*, VTCodeType> cases[] = {
        {"upc", kCodeUpcA},        {"Upce", kCodeUpcE},       {"UPCA", kCodeUpcA},
        {"", kCodeUnknown},        {"vantrel", kCodeVantrel}, {"ean8", kCodeEan8},
        {"EaN13", kCodeEan13},     {"isbn", kCodeIsbn},       {"BookLand", kCodeBookLand},
        {"VANITY", kCodeVanity},   {"numi", kCodeNumi},       {"Url", kCodeUrl},
        {"UNKNOWN", kCodeUnknown}, {"UPC-A", kCodeUnknown},   {"EAN 13", kCodeUnknown},
        {"URLS", kCodeUnknown},
    };
    for (const auto& [name, type] : cases)
        EXPECT_EQ(CodeTypeFromName(name), type) << name;
    EXPECT_TRUE(
        IsNullPointerError(RaisedMessage([] { CodeTypeFromName(static_cast<const char*>(nullptr)); })));
}

TEST(CodeTypes, NameOfEveryTypeWithAndWithoutUpcMerging)
{
    const char* const plain[] = {"UNKNOWN", "VANTREL", "UPCA",     "UPCE", "EAN13", "EAN8",
                                 "ISBN",    "VANITY",  "BOOKLAND", "NUMI", "URL"};
    for (int type = 0; type <= kCodeTypeLast; ++type) {
        EXPECT_STREQ(CodeTypeName(type, false), plain[type]);
        const bool upc = type == kCodeUpcA || type == kCodeUpcE;
        EXPECT_STREQ(CodeTypeName(type, true), upc ? "UPC" : plain[type]);
        // Every name reads back as its type, except the alias and UNKNOWN.
        if (type != kCodeUnknown) {
            EXPECT_EQ(CodeTypeFromName(plain[type]), type);
        }
    }
    for (const int bad : {11, -1, 1000}) {
        const std::string message = RaisedMessage([bad] { CodeTypeName(bad, false); });
        EXPECT_TRUE(message.starts_with("code type out of range at cdanalyze line ")) << message;
    }
}

TEST(CodeTypes, ExactlyTheRetailTypesRequireAFormat)
{
    for (int type = -1; type <= kCodeTypeLast + 1; ++type) {
        const bool expected = type == kCodeUpcA || type == kCodeEan13 || type == kCodeEan8 ||
                              type == kCodeIsbn || type == kCodeBookLand;
        EXPECT_EQ(RequiresCodeFormat(type), expected) << type;
    }
}

TEST(CodeContents, FreshCodeObjectHoldsTypeZeroUntilSet)
{
    VTEan13Code code;
    EXPECT_EQ(code.GetCodeType(), kCodeEan13);
    EXPECT_EQ(code.GetContents().GetCodeType(), kCodeUnknown);
    EXPECT_EQ(code.HoldsValue(), 0);
    code.SetContents("4006381333931", "400638", "133393", nullptr, 1);
    EXPECT_EQ(code.GetContents().GetCodeType(), kCodeEan13);
    EXPECT_EQ(code.HoldsValue(), 1);
    code.Reset();
    EXPECT_EQ(code.GetContents().GetCodeType(), kCodeUnknown);
    EXPECT_EQ(code.GetContents().GetCode(), "");
    EXPECT_EQ(code.HoldsValue(), 0);
}

TEST(CodeContents, SetContentsKeepsRawFormsAndStripsTheOthers)
{
    VTUpcACode code;
    code.SetContents("0-12345-67890-5", "012345", "67890", nullptr, 1);
    const VTCodeContents c = code.GetContents();
    EXPECT_EQ(c.GetRawCode(), "0-12345-67890-5");
    EXPECT_EQ(c.GetScannedCode(), "012345678905");
    EXPECT_EQ(c.GetCode(), "012345678905");
    EXPECT_EQ(c.GetServerId(), "012345");
    EXPECT_EQ(c.GetItemId(), "67890");
    EXPECT_EQ(c.GetSupplemental(), "");
    EXPECT_EQ(c.GetCodeType(), kCodeUpcA);

    VTUpcACode spaced;
    spaced.SetContents("1", " 01-2 ", "6 7-8", "12", 1);
    EXPECT_EQ(spaced.GetContents().GetServerId(), "012");
    EXPECT_EQ(spaced.GetContents().GetRawServerId(), " 01-2 ");
    EXPECT_EQ(spaced.GetContents().GetItemId(), "678");
    EXPECT_EQ(spaced.GetContents().GetRawItemId(), "6 7-8");
    EXPECT_EQ(spaced.GetContents().GetSupplemental(), "12");
}

TEST(CodeContents, NullItemAndSupplementalLeaveFieldsAsTheyWere)
{
    VTUpcACode code;
    code.SetContents("1", "2", "3", "44", 1);
    code.SetContents("5", "6", nullptr, nullptr, 1);
    EXPECT_EQ(code.GetContents().GetCode(), "5");
    EXPECT_EQ(code.GetContents().GetItemId(), "3");
    EXPECT_EQ(code.GetContents().GetRawItemId(), "3");
    EXPECT_EQ(code.GetContents().GetSupplemental(), "44");

    EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { code.SetContents(nullptr, "1", "2", nullptr, 1); })));
    EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { code.SetContents("1", nullptr, "2", nullptr, 1); })));
    VTCodeContents contents;
    EXPECT_TRUE(
        IsNullPointerError(RaisedMessage([&] { contents.SetRawCode(static_cast<const char*>(nullptr)); })));
    EXPECT_TRUE(IsNullPointerError(
        RaisedMessage([&] { contents.SetRawServerId(static_cast<const char*>(nullptr)); })));
    EXPECT_TRUE(
        IsNullPointerError(RaisedMessage([&] { contents.SetRawItemId(static_cast<const char*>(nullptr)); })));
}

TEST(CodeContents, UpcECanonicalCodeIsItsExpansion)
{
    VTUpcECode code;
    code.SetContents("0425-2614", "042100", "00526", nullptr, 1);
    EXPECT_EQ(code.GetContents().GetScannedCode(), "04252614");
    EXPECT_EQ(code.GetContents().GetCode(), "042100005264");

    // A text that does not expand leaves the canonical code as it was.
    VTUpcECode bad;
    bad.SetContents("04252615", "042100", "00526", nullptr, 1);
    EXPECT_EQ(bad.GetContents().GetScannedCode(), "04252615");
    EXPECT_EQ(bad.GetContents().GetCode(), "");
}

TEST(CodeContents, UrlCodesEscapeBlanksAndUnprintableBytes)
{
    const std::pair<std::string, std::string> cases[] = {
        {"http://a.b/x y", "http://a.b/x%20y"},
        {"www.my-site.com/100%", "www.my-site.com/100%"},
        {"a.b/\t\r\n\x7f", "a.b/%09%0d%0a%7f"},
        {"a.b/caf\xc3\xa9", "a.b/caf%c3%a9"},
    };
    for (const auto& [raw, escaped] : cases) {
        VTUrlCode code;
        code.SetContents(raw.c_str(), "URL", raw.c_str(), nullptr, 1);
        EXPECT_EQ(code.GetContents().GetRawCode(), raw);
        EXPECT_EQ(code.GetContents().GetScannedCode(), escaped);
        EXPECT_EQ(code.GetContents().GetCode(), escaped);
    }
}

TEST(CodeContents, ExportToGivesTheTenKeys)
{
    VTUpcECode code;
    code.SetContents("04252614", "042100", "00526", "12", 1);
    TSStringMap map;
    code.GetContents().ExportTo(map);
    EXPECT_EQ(map.Size(), 10u);
    const std::pair<const char*, const char*> expected[] = {
        {"TYPE", "UPC"},          {"CODETYPE", "UPCE"},  {"SID", "042100"},     {"IID", "00526"},
        {"CODE", "042100005264"}, {"SCODE", "04252614"}, {"RCODE", "04252614"}, {"RSID", "042100"},
        {"RIID", "00526"},        {"XID", "12"},
    };
    for (const auto& [key, value] : expected) {
        std::string got;
        EXPECT_TRUE(map.Get(key, got)) << key;
        EXPECT_EQ(got, value) << key;
    }
}

TEST(CodeFormat, MatchesWhenTheStrippedCodeHoldsBothIds)
{
    struct Case {
        int routingOffset, routingLength, itemOffset, itemLength;
        const char* text;
        bool matches;
    };
    const Case cases[] = {
        {2, 5, 0, 0, "123456", false},
        {2, 5, 0, 0, "1234567", true},
        {2, 5, 0, 0, "12-34 567", true},
        {0, 0, 0, 0, "", true},
        {0, 0, 0, 0, "anything at all", true},
        {0, 6, 6, 6, "012345678901", true},
        {0, 6, 6, 7, "012345678901", false},
        // Formats come from servers: negative numbers match nothing.
        {-1, 3, 0, 1, "012345678901", false},
        {0, -3, 0, 1, "012345678901", false},
        {0, 1, -5, 2, "012345678901", false},
        {0, 1, 0, -1, "012345678901", false},
        {2147483647, 1, 0, 1, "012345678901", false},
    };
    for (const auto& c : cases) {
        const VTCodeFormat format =
            MakeFormat(kCodeUpcA, c.routingOffset, c.routingLength, c.itemOffset, c.itemLength);
        EXPECT_EQ(format.Matches(c.text), c.matches)
            << c.text << " " << c.routingOffset << "," << c.routingLength;
    }
    EXPECT_TRUE(
        IsNullPointerError(RaisedMessage([] { VTCodeFormat().Matches(static_cast<const char*>(nullptr)); })));
}

TEST(CodeFormat, CopiesTakeEverythingButThePlaceholder)
{
    VTCodeFormat source = MakeFormat(kCodeIsbn, 1, 2, 3, 4);
    source.SetLowCode("0");
    source.SetHighCode("9");
    source.SetExpiry(12345);
    source.SetDisplayTemplate("#-#");
    source.SetPlaceholder('#');

    const VTCodeFormat copy(source);
    EXPECT_EQ(copy.GetPlaceholder(), 'X');
    EXPECT_EQ(copy.GetDisplayTemplate(), "#-#");
    EXPECT_EQ(copy.GetExpiry(), 12345u);
    EXPECT_EQ(copy.GetItemIdLength(), 4);

    VTCodeFormat target;
    target.SetPlaceholder('*');
    target = source;
    EXPECT_EQ(target.GetPlaceholder(), '*');
    EXPECT_EQ(target.GetHighCode(), "9");
    EXPECT_EQ(target.GetRoutingIdOffset(), 1);

    // Equality looks at type and low code only.
    VTCodeFormat other = MakeFormat(kCodeIsbn, 9, 9, 9, 9);
    other.SetLowCode("0");
    EXPECT_TRUE(other == source);
    other.SetCodeType(kCodeEan8);
    EXPECT_FALSE(other == source);
}

TEST(CodeFormat, NewFormatExpiresNow)
{
    const VTTime before = VTCurrentTime();
    const VTCodeFormat format;
    EXPECT_GE(format.GetExpiry(), before);
    EXPECT_LE(format.GetExpiry(), VTCurrentTime());
    EXPECT_EQ(format.GetCodeType(), kCodeUnknown);
    EXPECT_EQ(format.GetPlaceholder(), 'X');
    // 2020-01-01 in the toolkit's time lies past 1 January 1901 by 119 years.
    EXPECT_GT(before, 1577836800u + kVTTimeFrom1970 - 1);
}

TEST(ToolkitException, MessageIsClassTextAndDetail)
{
    const std::pair<int, const char*> texts[] = {
        {0, "Invalid state"},
        {1, "Invalid code"},
        {2, "Invalid character"},
        {3, "Invalid user id"},
        {4, "Invalid authentication string"},
        {5, "Not supported"},
    };
    for (const auto& [code, text] : texts) {
        const VTToolkitException plain(code);
        EXPECT_EQ(plain.GetCode(), code);
        EXPECT_EQ(plain.GetMessage(), std::string("VTToolkitException: ") + text);
        EXPECT_EQ(VTToolkitException(code, "why").GetMessage(),
                  std::string("VTToolkitException: ") + text + ": why");
    }
    EXPECT_EQ(RaisedMessage([] { RaiseInvalidUserId("GetBlindedId()"); }),
              "VTToolkitException: Invalid user id: GetBlindedId()");
    EXPECT_EQ(RaisedMessage([] { RaiseInvalidState(); }), "VTToolkitException: Invalid state");
    EXPECT_EQ(RaisedMessage([] { RaiseInvalidCode(""); }), "VTToolkitException: Invalid code");
    for (const int bad : {-1, 6}) {
        const std::string message = RaisedMessage([bad] { VTToolkitException e(bad); });
        EXPECT_TRUE(message.starts_with("unknown toolkit error code at vtexcep line ")) << message;
    }
    // It is a runtime error of the library family.
    try {
        RaiseInvalidCode("x");
    } catch (const TSRuntimeException& e) {
        EXPECT_EQ(e.GetMessage(), "VTToolkitException: Invalid code: x");
    }
}

} // namespace

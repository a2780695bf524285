#include "tests/vtkit/codetest.h"
#include "vtkit/cdean.h"
#include "vtkit/cdisbn.h"
#include "vtkit/cdupc.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

TEST(RetailCheckDigits, KnownNumbers)
{
    EXPECT_EQ(VTUpcACode::CheckDigit("03600029145"), '2');
    EXPECT_EQ(VTUpcACode::CheckDigit("036000291452"), '2'); // reads the first 11 only
    EXPECT_EQ(VTUpcACode::CheckDigit("04210000526"), '4');
    EXPECT_EQ(VTEan8Code::CheckDigit("9638507"), '4');
    EXPECT_EQ(VTEan13Code::CheckDigit("400638133393"), '1');
    EXPECT_EQ(VTEan13Code::CheckDigit("978030640615"), '7');
    EXPECT_EQ(VTIsbnCode::CheckDigit("080442957"), 'X');
    EXPECT_EQ(VTIsbnCode::CheckDigit("030640615"), '2');
    EXPECT_EQ(VTIsbnCode::CheckDigit("000000000"), '0');
    EXPECT_EQ(VTUpcACode::CheckDigit("00000000000"), '0');

    EXPECT_TRUE(IsAssertion(RaisedMessage([] { VTUpcACode::CheckDigit("0360002914a"); })));
    EXPECT_TRUE(IsAssertion(RaisedMessage([] { VTEan13Code::CheckDigit("4006381"); })));
    EXPECT_TRUE(IsAssertion(RaisedMessage([] { VTIsbnCode::CheckDigit("08044295"); })));
    EXPECT_TRUE(IsAssertion(RaisedMessage([] { VTEan8Code::CheckDigit("96 8507"); })));
}

enum class Family { UpcA, UpcE, Ean8, Ean13, BookLand, Isbn };

bool Valid(Family test, const char* text, bool strip, bool supplemental)
{
    switch (test) {
    case Family::UpcA:
        return VTUpcACode::ValidlyFormed(text, strip, supplemental);
    case Family::UpcE:
        return VTUpcECode::ValidlyFormed(text, strip, supplemental);
    case Family::Ean8:
        return VTEan8Code::ValidlyFormed(text, strip);
    case Family::Ean13:
        return VTEan13Code::ValidlyFormed(text, strip, supplemental);
    case Family::BookLand:
        return VTBookLandCode::ValidlyFormed(text, strip, supplemental);
    case Family::Isbn:
        return VTIsbnCode::ValidlyFormed(text, strip);
    }
    return false;
}

TEST(RetailValidity, LengthsPrefixesAddOnsAndCheckDigits)
{
    struct Case {
        Family test;
        const char* text;
        bool strip, supplemental, valid;
    };
    const Case cases[] = {
        {Family::UpcA, "036000291452", false, false, true},
        {Family::UpcA, "036000291453", false, false, false},
        {Family::UpcA, "03600029145212", false, false, false},
        {Family::UpcA, "03600029145212", false, true, true},
        {Family::UpcA, "03600029145212345", false, true, true},
        {Family::UpcA, "036000291452123", false, true, false},
        {Family::UpcA, "0-36000-29145-2", true, false, true},
        {Family::UpcA, "0-36000-29145-2", false, false, false},
        {Family::UpcA, "", true, true, false},
        {Family::UpcA, "03600029145X", false, false, false},
        {Family::UpcA, "03600029145212 ", true, true, true},
        {Family::UpcA, "0360002914521x", false, true, false},
        {Family::UpcE, "04252614", false, false, true},
        {Family::UpcE, "14252614", false, false, false},
        {Family::UpcE, "04252615", false, false, false},
        {Family::UpcE, "0425261412", false, false, false},
        {Family::UpcE, "0425261412", false, true, true},
        {Family::UpcE, "0425261412345", false, true, false},
        {Family::UpcE, "0425 2614", true, false, true},
        {Family::UpcE, "0", false, true, false},
        {Family::UpcE, "", false, true, false},
        {Family::UpcE, "0425261a", false, false, false},
        {Family::Ean8, "96385074", false, false, true},
        {Family::Ean8, "96385075", false, false, false},
        {Family::Ean8, "9638-5074", true, false, true},
        {Family::Ean8, "963850742", false, false, false},
        {Family::Ean13, "4006381333931", false, false, true},
        {Family::Ean13, "4006381333932", false, false, false},
        {Family::Ean13, "400638133393112", false, false, false},
        {Family::Ean13, "400638133393112", false, true, true},
        {Family::Ean13, "400638133393112345", false, true, true},
        {Family::Ean13, "9780306406157", false, false, false},
        {Family::Ean13, "4 006381 333931", true, false, true},
        {Family::BookLand, "9780306406157", false, false, true},
        {Family::BookLand, "978-0-306-40615-7", true, false, true},
        {Family::BookLand, "9780306406158", false, false, false},
        {Family::BookLand, "978030640615712", false, true, true},
        {Family::BookLand, "978030640615712", false, false, false},
        {Family::BookLand, "4006381333931", false, false, false},
        {Family::BookLand, "9790306406154", false, false, false},
        {Family::Isbn, "080442957X", false, false, true},
        {Family::Isbn, "080442957x", false, false, true},
        {Family::Isbn, "0-8044-2957-X", true, false, true},
        {Family::Isbn, "0-8044-2957-X", false, false, false},
        {Family::Isbn, "0306406152", false, false, true},
        {Family::Isbn, "0306406153", false, false, false},
        {Family::Isbn, "080442957Y", false, false, false},
        {Family::Isbn, "08044295X7", false, false, false},
        {Family::Isbn, "80442957X", false, false, false},
        {Family::Isbn, "", false, false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Valid(c.test, c.text, c.strip, c.supplemental), c.valid)
            << static_cast<int>(c.test) << " " << c.text << " strip " << c.strip << " supp "
            << c.supplemental;

    EXPECT_TRUE(IsNullPointerError(
        RaisedMessage([] { VTUpcACode::ValidlyFormed(static_cast<const char*>(nullptr), false, false); })));
    EXPECT_TRUE(IsNullPointerError(
        RaisedMessage([] { VTIsbnCode::ValidlyFormed(static_cast<const char*>(nullptr), true); })));
}

TEST(RetailValidity, NoTenCharacterTextBeginning978IsAnIsbn)
{
    // 978 followed by seven digits, whatever the check character.
    std::mt19937 rng(978);
    for (int i = 0; i < 2000; ++i) {
        std::string text = "978";
        for (int k = 0; k < 6; ++k)
            text.push_back(static_cast<char>('0' + rng() % 10));
        const std::string check(1, VTIsbnCode::CheckDigit(text));
        EXPECT_FALSE(VTIsbnCode::ValidlyFormed(text + check, false)) << text + check;
    }
}

TEST(RetailAddOns, RemoveSupplementalSplitsOnlyTheKnownLengths)
{
    struct Case {
        std::function<bool(std::string&, std::string&)> remove;
        const char* code;
        bool ok;
        const char* main;
        const char* addOn;
    };
    const Case cases[] = {
        {VTUpcACode::RemoveSupplemental, "036000291452", true, "036000291452", ""},
        {VTUpcACode::RemoveSupplemental, "03600029145212", true, "036000291452", "12"},
        {VTUpcACode::RemoveSupplemental, "03600029145212345", true, "036000291452", "12345"},
        {VTUpcACode::RemoveSupplemental, "0360002914521", false, "0360002914521", "keep"},
        {VTUpcECode::RemoveSupplemental, "04252614", true, "04252614", ""},
        {VTUpcECode::RemoveSupplemental, "0425261412", true, "04252614", "12"},
        {VTUpcECode::RemoveSupplemental, "0425261412345", false, "0425261412345", "keep"},
        {VTEan13Code::RemoveSupplemental, "400638133393112", true, "4006381333931", "12"},
        {VTEan13Code::RemoveSupplemental, "400638133393112345", true, "4006381333931", "12345"},
        {VTEan13Code::RemoveSupplemental, "40063813339311", false, "40063813339311", "keep"},
        {VTBookLandCode::RemoveSupplemental, "978030640615700001", true, "9780306406157", "00001"},
        {VTBookLandCode::RemoveSupplemental, "", false, "", "keep"},
    };
    for (const auto& c : cases) {
        std::string code = c.code;
        std::string addOn = "keep";
        EXPECT_EQ(c.remove(code, addOn), c.ok) << c.code;
        EXPECT_EQ(code, c.main) << c.code;
        EXPECT_EQ(addOn, c.addOn) << c.code;
    }
}

TEST(UpcE, ExpansionOfEveryLastDigitClass)
{
    const std::pair<const char*, const char*> cases[] = {
        {"04252614", "042100005264"},   // D6 = 1: manufacturer ends in 100
        {"01234505", "012000003455"},   // D6 = 0
        {"01234523", "012200003453"},   // D6 = 2
        {"01234531", "012300000451"},   // D6 = 3
        {"01234543", "012340000053"},   // D6 = 4
        {"01234558", "012345000058"},   // D6 = 5
        {"01234596", "012345000096"},   // D6 = 9
        {"0425261412", "042100005264"}, // only the first eight count
    };
    for (const auto& [upcE, upcA] : cases) {
        std::string expanded = "untouched";
        EXPECT_TRUE(VTUpcECode::ExpandUpcE(upcE, expanded)) << upcE;
        EXPECT_EQ(expanded, upcA) << upcE;
        EXPECT_TRUE(VTUpcACode::ValidlyFormed(upcA, false, false)) << upcA;
    }
    for (const char* bad : {"0425261", "", "042526X4", "04252615", "0425a614"}) {
        std::string expanded = "untouched";
        EXPECT_FALSE(VTUpcECode::ExpandUpcE(bad, expanded)) << bad;
        EXPECT_EQ(expanded, "untouched") << bad;
    }
}

struct ConstructCase {
    std::function<std::unique_ptr<VTCodeBase>()> make;
    const char* serverId;
    const char* itemId;
    const char* code;   // expected code, or nullptr on failure
    const char* detail; // failure detail
};

void RunConstructCases(const std::vector<ConstructCase>& cases)
{
    for (const auto& c : cases) {
        auto code = c.make();
        const std::string message =
            RaisedMessage([&] { code->ConstructCode(c.serverId, c.itemId, nullptr); });
        const std::string where =
            std::string(CodeTypeName(code->GetCodeType(), false)) + " " + c.serverId + "/" + c.itemId;
        if (c.code) {
            EXPECT_EQ(message, "") << where;
            const VTCodeContents contents = code->GetContents();
            EXPECT_EQ(contents.GetScannedCode(), c.code) << where;
            EXPECT_EQ(contents.GetServerId(), c.serverId) << where;
            EXPECT_EQ(contents.GetItemId(), c.itemId) << where;
            EXPECT_EQ(contents.GetCodeType(), code->GetCodeType()) << where;
        } else {
            EXPECT_EQ(message, InvalidCode(c.detail)) << where;
        }
    }
}

template <class T> std::unique_ptr<VTCodeBase> Make()
{
    return std::make_unique<T>();
}

TEST(RetailConstruct, BuildsCodesAndRejectsInOrder)
{
    RunConstructCases({
        {Make<VTUpcACode>, "03600", "029145", "036000291452", nullptr},
        {Make<VTUpcACode>, "", "029145", nullptr, "Invalid character(s) in ServerID"},
        {Make<VTUpcACode>, "0360a", "029145", nullptr, "Invalid character(s) in ServerID"},
        {Make<VTUpcACode>, "03600", "", nullptr, "Invalid character(s) in ItemID"},
        {Make<VTUpcACode>, "03600", "02914 5", nullptr, "Invalid character(s) in ItemID"},
        {Make<VTUpcACode>, "03600", "0291452", nullptr, "Invalid code length"},
        {Make<VTUpcECode>, "042100", "00526", "04252614", nullptr},
        {Make<VTUpcECode>, "012300", "00045", "01234531", nullptr},
        {Make<VTUpcECode>, "012340", "00005", "01234543", nullptr},
        {Make<VTUpcECode>, "012345", "00009", "01234596", nullptr},
        {Make<VTUpcECode>, "042100", "10526", nullptr, "Invalid code format"},
        {Make<VTUpcECode>, "012300", "00145", nullptr, "Invalid code format"},
        {Make<VTUpcECode>, "012340", "00015", nullptr, "Invalid code format"},
        {Make<VTUpcECode>, "012345", "00004", nullptr, "Invalid code format"},
        {Make<VTUpcECode>, "142100", "00526", nullptr, "Invalid Server ID"},
        {Make<VTUpcECode>, "04210", "00526", nullptr, "Invalid SID length"},
        {Make<VTUpcECode>, "04210x", "00526", nullptr, "Invalid character(s) in ServerID"},
        {Make<VTUpcECode>, "042100", "0526", nullptr, "Invalid IID length"},
        {Make<VTUpcECode>, "042100", "", nullptr, "Invalid character(s) in ItemID"},
        {Make<VTEan8Code>, "9638", "507", "96385074", nullptr},
        {Make<VTEan8Code>, "9638", "5070", nullptr, "Invalid length"},
        {Make<VTEan8Code>, "96-38", "507", nullptr, "Invalid character(s) in ServerID"},
        {Make<VTEan8Code>, "9638", "", nullptr, "Invalid character(s) in ItemID"},
        {Make<VTEan13Code>, "400638", "133393", "4006381333931", nullptr},
        {Make<VTEan13Code>, "400638", "13339", nullptr, "Invalid length"},
        {Make<VTEan13Code>, "400638", "1333a3", nullptr, "Invalid character(s) in ItemID"},
        {Make<VTBookLandCode>, "030640", "615", "9780306406157", nullptr},
        {Make<VTBookLandCode>, "030640", "61", nullptr, "Invalid length"},
        {Make<VTBookLandCode>, "030640", "6x5", nullptr, "Invalid character(s) in ServerID"},
        {Make<VTIsbnCode>, "0804", "42957", "080442957X", nullptr},
        {Make<VTIsbnCode>, "0804", "4295", nullptr, "Invalid length"},
        {Make<VTIsbnCode>, "0804", "4295X", nullptr, "Invalid character(s) in ServerID"},
    });
}

TEST(RetailConstruct, NullIdsAreInternalErrors)
{
    for (auto make : {Make<VTUpcACode>, Make<VTUpcECode>, Make<VTEan8Code>, Make<VTEan13Code>,
                      Make<VTBookLandCode>, Make<VTIsbnCode>}) {
        auto code = make();
        EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { code->ConstructCode(nullptr, "1", nullptr); })));
        EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { code->ConstructCode("1", nullptr, nullptr); })));
    }
}

TEST(RetailConstruct, SupplementalIsKeptAsGiven)
{
    VTEan13Code code;
    code.ConstructCode("400638", "133393", "12");
    EXPECT_EQ(code.GetContents().GetSupplemental(), "12");
    EXPECT_EQ(code.GetContents().GetCode(), "4006381333931");
}

// Every UPC-A number that UPC-E can hold comes back from the UPC-E code
// built of it, whichever of several UPC-E spellings the text used.
TEST(UpcE, ConstructionRebuildsTheExpansionOfEveryDecomposedCode)
{
    std::mt19937 rng(6);
    for (int i = 0; i < 20000; ++i) {
        std::string text = "0";
        for (int k = 0; k < 7; ++k)
            text.push_back(static_cast<char>('0' + rng() % 10));
        // Exactly one check digit makes the expansion valid.
        std::string expanded;
        for (char c = '0'; c <= '9' && expanded.empty(); ++c) {
            text.back() = c;
            VTUpcECode::ExpandUpcE(text, expanded);
        }
        ASSERT_TRUE(VTUpcECode::ValidlyFormed(text, false, false)) << text;
        VTUpcECode decomposed;
        decomposed.DecomposeCode(text.c_str(), VTCodeFormat());
        const VTCodeContents parts = decomposed.GetContents();
        EXPECT_EQ(parts.GetServerId() + parts.GetItemId(), expanded.substr(0, 11)) << text;
        VTUpcECode rebuilt;
        rebuilt.ConstructCode(parts.GetServerId().c_str(), parts.GetItemId().c_str(), nullptr);
        EXPECT_EQ(rebuilt.GetContents().GetCode(), expanded) << text;
    }
}

struct DecomposeCase {
    std::function<std::unique_ptr<VTCodeBase>()> make;
    const char* text;
    VTCodeFormat format;
    const char* detail; // nullptr on success
    const char* rawCode = nullptr;
    const char* code = nullptr;
    const char* serverId = nullptr;
    const char* itemId = nullptr;
    const char* supplemental = nullptr;
};

TEST(RetailDecompose, CutsIdsByFormatAndRejectsInOrder)
{
    const VTCodeFormat upc = MakeFormat(kCodeUpcA, 0, 6, 6, 5);
    const DecomposeCase cases[] = {
        {Make<VTUpcACode>, "036000291452", upc, nullptr, "036000291452", "036000291452", "036000", "29145",
         ""},
        {Make<VTUpcACode>, "0-36000-29145-2 12", upc, nullptr, "036000291452", "036000291452", "036000",
         "29145", "12"},
        {Make<VTUpcACode>, "03600029145212", MakeFormat(kCodeUpcA, 12, 2, 0, 1), nullptr, "036000291452",
         "036000291452", "12", "0", "12"},
        {Make<VTUpcACode>, "036000291452", MakeFormat(kCodeUpcA, 0, 6, 6, 7), "Invalid CodeFormat"},
        {Make<VTUpcACode>, "036000291453", upc, "ValidlyFormed()"},
        {Make<VTUpcACode>, "036000291452", MakeFormat(kCodeUpcA, 0, 0, 6, 5), "Routing ID length"},
        {Make<VTUpcACode>, "036000291452", MakeFormat(kCodeUpcA, 0, 6, 6, 0), "Item ID length"},
        {Make<VTUpcACode>, "036000291452", MakeFormat(kCodeUpcA, -1, 6, 6, 5), "Invalid CodeFormat"},
        {Make<VTEan13Code>, "4006381333931", MakeFormat(kCodeEan13, 0, 0, 0, 0), nullptr, "4006381333931",
         "4006381333931", "", "", ""},
        {Make<VTEan13Code>, "4006381333931 12345", MakeFormat(kCodeEan13, 0, 6, 6, 6), nullptr,
         "4006381333931", "4006381333931", "400638", "133393", "12345"},
        {Make<VTEan13Code>, "9780306406157", MakeFormat(kCodeEan13, 0, 6, 6, 6), "ValidlyFormed()"},
        {Make<VTBookLandCode>, "978-0-306-40615-7", MakeFormat(kCodeBookLand, 3, 6, 9, 3), nullptr,
         "9780306406157", "9780306406157", "030640", "615", ""},
        {Make<VTEan8Code>, " 9638-5074", MakeFormat(kCodeEan8, 0, 4, 4, 3), nullptr, " 9638-5074", "96385074",
         "9638", "507", ""},
        {Make<VTEan8Code>, "96385074", MakeFormat(kCodeEan8, 0, 4, 4, 5), "Invalid CodeFormat"},
        {Make<VTEan8Code>, "9638507412", MakeFormat(kCodeEan8, 0, 4, 4, 3), "ValidlyFormed()"},
        {Make<VTIsbnCode>, "0-8044-2957-x", MakeFormat(kCodeIsbn, 0, 1, 1, 5), nullptr, "0-8044-2957-x",
         "080442957x", "0", "80442", ""},
        {Make<VTIsbnCode>, "0804429570", MakeFormat(kCodeIsbn, 0, 1, 1, 5), "ValidlyFormed()"},
        {Make<VTUpcECode>, "0425-2614", MakeFormat(kCodeUpcE, 0, 99, 0, 99), nullptr, "04252614",
         "042100005264", "042100", "00526", ""},
        {Make<VTUpcECode>, "0425261412", VTCodeFormat(), nullptr, "04252614", "042100005264", "042100",
         "00526", "12"},
        {Make<VTUpcECode>, "04252615", VTCodeFormat(), "ValidlyFormed()"},
    };
    for (const auto& c : cases) {
        auto code = c.make();
        const std::string message = RaisedMessage([&] { code->DecomposeCode(c.text, c.format); });
        const std::string where = std::string(CodeTypeName(code->GetCodeType(), false)) + " '" + c.text + "'";
        if (c.detail) {
            EXPECT_EQ(message, InvalidCode(c.detail)) << where;
            continue;
        }
        ASSERT_EQ(message, "") << where;
        const VTCodeContents contents = code->GetContents();
        EXPECT_EQ(contents.GetRawCode(), c.rawCode) << where;
        EXPECT_EQ(contents.GetCode(), c.code) << where;
        EXPECT_EQ(contents.GetServerId(), c.serverId) << where;
        EXPECT_EQ(contents.GetItemId(), c.itemId) << where;
        EXPECT_EQ(contents.GetSupplemental(), c.supplemental) << where;
        EXPECT_EQ(contents.GetCodeType(), code->GetCodeType()) << where;
    }
}

TEST(RetailDecompose, NullTextIsAnInternalError)
{
    for (auto make : {Make<VTUpcACode>, Make<VTUpcECode>, Make<VTEan8Code>, Make<VTEan13Code>,
                      Make<VTBookLandCode>, Make<VTIsbnCode>}) {
        auto code = make();
        EXPECT_TRUE(IsNullPointerError(RaisedMessage([&] { code->DecomposeCode(nullptr, VTCodeFormat()); })));
    }
}

} // namespace

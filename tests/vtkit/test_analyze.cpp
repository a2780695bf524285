#include "tests/vtkit/codetest.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/cdean.h"
#include "vtkit/cdisbn.h"
#include "vtkit/cdupc.h"
#include "vtkit/cdvantrel.h"
#include "vtkit/vtexcep.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

std::string Analyze(const char* text, ScanType scanType, bool scanned)
{
    std::vector<VTCodeType> candidates{kCodeUrl}; // cleared by the analysis
    AnalyzeCode(text, candidates, scanType, scanned);
    return Names(candidates);
}

TEST(AnalyzeCode, TypedAndScannedTexts)
{
    struct Case {
        const char* text;
        bool scanned;
        const char* candidates;
    };
    const Case cases[] = {
        {"", false, ""},
        {"", true, ""},
        {"0-12345-67890-5", false, "UPCA"},
        {"012345678905", false, "UPCA"},
        {"012345678906", false, ""},
        {"01234567890512", true, "UPCA"},
        {"01234567890512", false, ""},
        {"0123456789051234 5", true, "UPCA"},
        {"080442957X", false, "ISBN"},
        {"0-8044-2957-x", false, "ISBN"},
        {"080442957X", true, ""},
        {"12345", false, "NUMI"},
        {"12345", true, ""},
        {"1", false, "NUMI"},
        {"ACME/123", false, "VANITY"},
        {"ACME/123", true, "VANITY"},
        {"acme", false, "VANITY"},
        {"www.example.com", false, "URL"},
        {"http://example.com/a-b", true, "URL"},
        {"mailto:x@y.z", false, "URL"},
        {"!!!", false, ""},
        {"12 34/56", false, ""},
        // Several readings, most specific first.
        {"00000000", false, "UPCE EAN8"},
        {"02103822", false, "VANTREL EAN8"},
        {"4361670358", false, "VANTREL ISBN"},
        {"4361670358", true, "VANTREL"},
        {"0237785832", true, "VANTREL UPCE"},
        {"9780306406157", false, "BOOKLAND"},
        {"978-0-306-40615-7-12", true, "BOOKLAND"},
        {"978030640615712", false, ""},
        {"4006381333931", false, "EAN13"},
        {"237659", false, "VANTREL"},
        {"2376-59", true, "VANTREL"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Analyze(c.text, kScanTypeUnknown, c.scanned), c.candidates)
            << "'" << c.text << "' " << (c.scanned ? "scanned" : "typed");
    EXPECT_TRUE(IsNullPointerError(RaisedMessage([] {
        std::vector<VTCodeType> v;
        AnalyzeCode(static_cast<const char*>(nullptr), v, kScanTypeUnknown, false);
    })));
}

TEST(AnalyzeCode, ScanTypeNarrowsTheFamiliesTried)
{
    // Candidates for scan types 0 to 8, then for 9 and -1 (which match no
    // family), all scanned.
    struct Case {
        const char* text;
        std::array<const char*, 11> byScanType;
    };
    const Case cases[] = {
        {"036000291452", {"UPCA", "", "UPCA", "", "UPCA", "UPCA", "", "", "", "", ""}},
        {"04252614", {"UPCE", "", "UPCE", "", "UPCE", "", "UPCE", "", "", "", ""}},
        {"96385074", {"EAN8", "", "", "EAN8", "EAN8", "", "", "", "EAN8", "", ""}},
        {"4006381333931", {"EAN13", "", "", "EAN13", "EAN13", "", "", "EAN13", "", "", ""}},
        {"9780306406157", {"BOOKLAND", "", "", "BOOKLAND", "BOOKLAND", "", "", "BOOKLAND", "", "", ""}},
        {"237659", {"VANTREL", "VANTREL", "", "", "", "", "", "", "", "", ""}},
        {"02103822", {"VANTREL EAN8", "VANTREL", "", "EAN8", "EAN8", "", "", "", "EAN8", "", ""}},
        {"0237785832", {"VANTREL UPCE", "VANTREL", "UPCE", "", "UPCE", "", "UPCE", "", "", "", ""}},
        // A failed exact symbology still runs the vanity and URL tests.
        {"ACME/1",
         {"VANITY", "VANITY", "VANITY", "VANITY", "VANITY", "VANITY", "VANITY", "VANITY", "VANITY", "VANITY",
          "VANITY"}},
        {"a.b", {"URL", "URL", "URL", "URL", "URL", "URL", "URL", "URL", "URL", "URL", "URL"}},
    };
    const std::int32_t scanTypes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, -1};
    for (const auto& c : cases)
        for (std::size_t i = 0; i < std::size(scanTypes); ++i)
            EXPECT_EQ(Analyze(c.text, static_cast<ScanType>(scanTypes[i]), true), c.byScanType[i])
                << "'" << c.text << "' scan type " << scanTypes[i];
}

TEST(DecomposeAs, FillsContentsOrRaisesWithoutDetail)
{
    VTCodeContents contents;
    DecomposeAs("036000291452", kCodeUpcA, MakeFormat(kCodeUpcA, 0, 6, 6, 5), contents);
    EXPECT_EQ(contents.GetServerId(), "036000");
    EXPECT_EQ(contents.GetItemId(), "29145");
    EXPECT_EQ(contents.GetCodeType(), kCodeUpcA);

    const std::pair<const char*, int> rejected[] = {
        {"036000291453", kCodeUpcA}, {"036000291452", kCodeEan13}, {"123456", kCodeNumi},
        {"13258520", kCodeVantrel},  {"123", kCodeVanity},         {"no address", kCodeUrl},
    };
    for (const auto& [text, type] : rejected) {
        const std::string message = RaisedMessage([&] {
            DecomposeAs(text, type, MakeFormat(static_cast<VTCodeType>(type), 0, 1, 1, 1), contents);
        });
        EXPECT_EQ(message, "VTToolkitException: Invalid code") << text;
    }
    // The contents from before stay when nothing is decomposed.
    for (const int type : {0, 11, -1}) {
        DecomposeAs("036000291452", type, VTCodeFormat(), contents);
        EXPECT_EQ(contents.GetServerId(), "036000") << type;
    }
    EXPECT_TRUE(IsNullPointerError(
        RaisedMessage([&] { DecomposeAs(nullptr, kCodeUpcA, VTCodeFormat(), contents); })));
}

TEST(DecomposeAs, CreateCodeMakesTheObjectOfEachType)
{
    for (int type = -1; type <= kCodeTypeLast + 1; ++type) {
        const auto code = CreateCode(type);
        if (type < 1 || type > kCodeTypeLast) {
            EXPECT_EQ(code, nullptr) << type;
            continue;
        }
        ASSERT_NE(code, nullptr) << type;
        EXPECT_EQ(code->GetCodeType(), type);
    }
}

// Whatever the analysis offers, decomposing as that type accepts: the two
// never disagree about a text.
TEST(AnalyzeCode, EveryCandidateDecomposes)
{
    std::mt19937 rng(12);
    const auto digits = [&](std::size_t count) {
        std::string s;
        for (std::size_t i = 0; i < count; ++i)
            s.push_back(static_cast<char>('0' + rng() % 10));
        return s;
    };
    const auto withCheck = [](std::string body, char check) { return body + check; };
    const auto sprinkle = [&](std::string text) {
        for (int i = 0; i < 2; ++i)
            if (rng() % 3 == 0)
                text.insert(rng() % (text.size() + 1), 1, rng() % 2 ? ' ' : '-');
        return text;
    };
    std::set<VTCodeType> seen;
    for (int i = 0; i < 3000; ++i) {
        std::string upcA = digits(11);
        std::string ean8 = digits(7);
        std::string ean13 = "4" + digits(11);
        std::string book = "978" + digits(9);
        std::string isbn = "1" + digits(8);
        std::string vantrel;
        VTVantrelCode::EncodeVantrel(digits(1 + rng() % 9), digits(1 + rng() % 8), vantrel);
        std::string upcE = "0" + digits(7);
        const std::string texts[] = {
            withCheck(upcA, VTUpcACode::CheckDigit(upcA)) + digits(rng() % 3 == 0 ? 2 : 0),
            withCheck(ean8, VTEan8Code::CheckDigit(ean8)),
            withCheck(ean13, VTEan13Code::CheckDigit(ean13)) + digits(rng() % 3 == 0 ? 5 : 0),
            withCheck(book, VTEan13Code::CheckDigit(book)),
            withCheck(isbn, VTIsbnCode::CheckDigit(isbn)),
            vantrel,
            upcE + digits(rng() % 2 ? 2 : 0),
            digits(1 + rng() % 5),
            "ACME" + digits(rng() % 3) + "/" + digits(3),
            "www.x" + digits(2) + ".com",
            digits(10 + rng() % 4),
        };
        for (const auto& plain : texts) {
            const std::string text = sprinkle(plain);
            for (const bool scanned : {false, true}) {
                std::vector<VTCodeType> candidates;
                AnalyzeCode(text, candidates, kScanTypeUnknown, scanned);
                for (const auto type : candidates) {
                    seen.insert(type);
                    const VTCodeFormat format =
                        type == kCodeUpcA ? MakeFormat(type, 0, 1, 1, 1) : MakeFormat(type, 0, 0, 0, 0);
                    VTCodeContents contents;
                    const std::string message =
                        RaisedMessage([&] { DecomposeAs(text.c_str(), type, format, contents); });
                    EXPECT_EQ(message, "") << "'" << text << "' as " << CodeTypeName(type, false);
                    EXPECT_EQ(contents.GetCodeType(), type) << "'" << text << "'";
                }
            }
        }
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kCodeTypeLast)) << "every type was offered at least once";
}

} // namespace

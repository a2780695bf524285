#include "client/scode.h"

#include "client/config.h"
#include "client/langmgr.h"
#include "client/uitextids.h"
#include "platform/codepage.h"
#include "tests/support/filelimit.h"
#include "tests/support/tempdir.h"
#include "vtkit/vtbatchlist.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <tuple>
#include <utility>

namespace {

using Status = CListLoadResult::Status;

// 2000-01-01 00:00:00 as the list stores it (the tests run in UTC).
constexpr const char* kY2k = "125911584000000000";

std::string Line(const std::vector<std::string>& fields)
{
    std::string line;
    for (const auto& field : fields)
        line += field + "\t";
    return line + "\n";
}

class StoredCodes : public ::testing::Test {
protected:
    StoredCodes() : m_codes(m_language, m_settings)
    {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        m_codes.SetClock([this] { return m_now; });
    }

    CListLoadResult Read(const std::string& text, bool append = false)
    {
        std::istringstream in(text);
        return m_codes.Read(in, append);
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& entry : m_codes.Entries())
            texts.push_back(entry.codeText);
        return texts;
    }
    CStoredCode Code(const std::string& text, int type)
    {
        CStoredCode code;
        code.codeText = text;
        code.codeType = type;
        code.genericDescription = m_codes.TypeName(type);
        return code;
    }

    std::chrono::system_clock::time_point m_now = std::chrono::system_clock::from_time_t(946684800);
    CLanguageMgr m_language;
    CClientSettings m_settings;
    CStoredCodeMgr m_codes;
    TempDir m_dir;
};

TEST_F(StoredCodes, CurrentFormatRoundTrip)
{
    const std::string text = "Version Format: 2.0\n" +
                             Line({"2", "036000291452", "2", "0", "1234", "3", "UPCA Code", "Soup", "Lunch",
                                   "125911584001230000", kY2k}) +
                             Line({"1", "ACME/123", "7", "", "", "1", "", "", "", "", kY2k});
    ASSERT_TRUE(Read(text).Ok());
    ASSERT_EQ(Texts(), (std::vector<std::string>{"ACME/123", "036000291452"})) << "ordered by number";
    const CStoredCode& vanity = m_codes.Entries()[0];
    EXPECT_EQ(vanity.number, 1u);
    EXPECT_EQ(vanity.genericDescription, "Lumora Code") << "no description at all: the type's name";
    const CStoredCode& upc = m_codes.Entries()[1];
    EXPECT_EQ(upc.status, CStoredCode::kShown);
    EXPECT_EQ(upc.ShownDescription(), "Lunch");
    EXPECT_EQ(upc.lastAccessed, "125911584001230000");

    const std::string saved = m_codes.FormatList();
    EXPECT_EQ(saved, "Version Format: 2.0\n" +
                         Line({"1", "ACME/123", "7", "", "", "1", "Lumora Code", "", "", "", kY2k}) +
                         Line({"2", "036000291452", "2", "0", "1234", "3", "UPCA Code", "Soup", "Lunch",
                               "125911584001230000", kY2k}));

    ASSERT_TRUE(m_codes.EditDescription(1, "tab\there\nand a line"));
    EXPECT_NE(m_codes.FormatList().find("\ttab here and a line\t"), std::string::npos)
        << "a description cannot split its line";
}

TEST_F(StoredCodes, ListOf250LinesKeepsTheFirst200)
{
    std::string text = "Version Format: 2.0\n";
    for (int i = 1; i <= 250; ++i)
        text += Line({std::to_string(i), "code" + std::to_string(i), "9", "", "", "1", "", "", "", "", kY2k});
    ASSERT_TRUE(Read(text).Ok());
    ASSERT_EQ(m_codes.Entries().size(), 200u);
    EXPECT_EQ(m_codes.Entries().front().codeText, "code1");
    EXPECT_EQ(m_codes.Entries().back().codeText, "code200");
    EXPECT_EQ(m_codes.Entries().back().number, 200u);

    std::string plain;
    for (int i = 1; i <= 250; ++i)
        plain += "plain" + std::to_string(i) + ",9,s\n";
    ASSERT_TRUE(Read(plain).Ok());
    EXPECT_EQ(m_codes.Entries().size(), 200u);
}

TEST_F(StoredCodes, RepeatedCodeIsKeptOnce)
{
    const std::string text = "Version Format: 2.0\n" +
                             Line({"1", "ABC-1", "7", "", "", "1", "", "", "", "", ""}) +
                             Line({"2", " abc-1 ", "7", "", "", "1", "", "", "", "", ""}) +
                             Line({"3", "ABC-1", "10", "", "", "1", "", "", "", "", ""});
    ASSERT_TRUE(Read(text).Ok());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"ABC-1", "ABC-1"})) << "same text, other type: two codes";
    EXPECT_EQ(m_codes.Entries()[1].codeType, 10);
}

TEST_F(StoredCodes, OlderListTypesStatusesAndDescriptions)
{
    struct Case {
        std::string code;
        int oldType;
        int oldStatus;
        int kind;
        int type;
        int status;
        const char* generic;
        const char* item;
        const char* user;
    } const cases[] = {
        {"c0", 0, 0, 0, 0, CStoredCode::kShown, "UNKNOWN", "", ""},
        {"c1", 1, 1, 0, 0, CStoredCode::kNotShown, "UNKNOWN", "", ""},
        {"c2", 2, 2, 0, 0, CStoredCode::kInvalid, "INVALID", "", ""},
        {"c3", 3, 3, 1, 1, CStoredCode::kNew, "INVALID", "", ""},
        {"01234565", 4, 3, 2, 3, CStoredCode::kNew, "", "", "text"}, // eight characters: UPC-E
        {"036000291452", 4, 3, 3, 2, CStoredCode::kNew, "", "text", ""},
        {"c5", 5, 3, 4, 4, CStoredCode::kNew, "text", "", ""},
        {"c6", 6, 3, 0, 5, CStoredCode::kNew, "EAN8 Code", "", ""},
        {"c7", 7, 3, 0, 7, CStoredCode::kNew, "Lumora Code", "", ""},
    };
    std::string text = "Stored list Version Format: 1.0\n";
    for (const auto& c : cases)
        text += c.code + "\x03" + std::to_string(c.oldType) + "\x03sid\x03iid\x03" +
                std::to_string(c.oldStatus) + "\x03" + std::to_string(c.kind) + "\x03text\x03" + kY2k + "\n";
    ASSERT_TRUE(Read(text).Ok());
    ASSERT_EQ(m_codes.Entries().size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const auto& entry = m_codes.Entries()[i];
        SCOPED_TRACE(c.code);
        EXPECT_EQ(entry.codeType, c.type);
        EXPECT_EQ(entry.status, c.status);
        EXPECT_EQ(entry.genericDescription, c.generic);
        EXPECT_EQ(entry.itemDescription, c.item);
        EXPECT_EQ(entry.userDescription, c.user);
        EXPECT_EQ(entry.serverId, "sid");
        EXPECT_EQ(entry.enterDate, kY2k);
    }
}

TEST_F(StoredCodes, PlainLists)
{
    ASSERT_TRUE(Read("036000291452,4,100\n"
                     "ACME/1,7,,ignored type\n"
                     "9780306406157, 4 , 200, a note, with commas\n")
                    .Ok());
    ASSERT_EQ(m_codes.Entries().size(), 3u);
    EXPECT_EQ(m_codes.Entries()[0].codeType, 2);
    EXPECT_EQ(m_codes.Entries()[0].genericDescription, "UPCA Code");
    EXPECT_EQ(m_codes.Entries()[0].status, CStoredCode::kNew);
    EXPECT_EQ(m_codes.Entries()[0].enterDate, kY2k);
    EXPECT_EQ(m_codes.Entries()[1].codeType, 0) << "an empty third field";
    EXPECT_EQ(m_codes.Entries()[2].userDescription, "a note, with commas");
    EXPECT_EQ(m_codes.Entries()[2].genericDescription, "");
}

TEST_F(StoredCodes, BadFilesStopWithTheirMessage)
{
    ASSERT_TRUE(Read("a,9,s\nb,9,s\n").Ok());
    const CListLoadResult wrong = Read("Version Format: 3.1\nx,9,s\n");
    EXPECT_EQ(wrong.status, Status::WrongFormat);
    EXPECT_EQ(wrong.messageId, kStrListFileWrongFormat);
    EXPECT_EQ(wrong.errorCode, 8);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"a", "b"})) << "a refused file changes nothing";

    struct Case {
        std::string text;
        std::size_t line;
    } const cases[] = {
        {"c1,9,s\nc2,9\nc3,9,s\n", 2},
        {"c1,9,s\nc2,nine,s\n", 2},
        {"Version Format: 2.0\n" + Line({"1", "c1", "9"}) + Line({"x", "c2", "9"}), 3},
        {"Version Format: 2.0\n" + Line({"1", "c0", "9"}) + Line({"2", "c1", "11"}), 3},
        {"Version Format: 2.0\n" + Line({"1", "c0", "9"}) + Line({"2", "c1", "9", "", "", "4"}), 3},
        {"Version Format: 1.0\nc1\x03"
         "3\x03s\nc2\x03"
         "3\n",
         3},
        {"c1,9,s\n" + std::string(CStoredCodeMgr::kMaxLineBytes + 1, 'x') + ",9,s\n", 2},
    };
    for (const auto& c : cases) {
        const CListLoadResult bad = Read(c.text);
        EXPECT_EQ(bad.status, Status::BadLine) << c.text.substr(0, 60);
        EXPECT_EQ(bad.messageId, kStrListFileBadLine);
        EXPECT_EQ(bad.errorCode, 540);
        EXPECT_EQ(bad.line, c.line) << c.text.substr(0, 60);
        EXPECT_EQ(m_codes.Entries().size(), 1u) << "what came before the bad line stays";
    }
    EXPECT_TRUE(Read("\n\nc1,9,s\n\r\n\nc2,9,s\r\n").Ok()) << "empty lines are passed over";
    EXPECT_EQ(Texts(), (std::vector<std::string>{"c1", "c2"}));
    EXPECT_EQ(m_codes.Load(m_dir / "absent.dat").status, Status::CannotOpen);
}

TEST_F(StoredCodes, InterruptedSaveLeavesThePreviousListLoadable)
{
    const auto file = m_dir / "123456789012345Codes.dat";
    ASSERT_TRUE(Read("a,9,s\nb,9,s\n").Ok());
    ASSERT_TRUE(m_codes.Save(file));
    const std::string before = TempDir::ReadFile(file);

    ASSERT_TRUE(m_codes.AddEntry(Code("newest", 9), false));
    const std::string after = m_codes.FormatList();
    for (std::size_t limit = 0; limit < after.size(); limit += 7) {
        {
            FileSizeLimit disk(limit);
            std::string error;
            EXPECT_FALSE(m_codes.Save(file, &error));
            EXPECT_NE(error.find("Codes.dat"), std::string::npos) << error;
        }
        EXPECT_EQ(TempDir::ReadFile(file), before) << "stopped after " << limit << " bytes";
        CStoredCodeMgr reader(m_language, m_settings);
        ASSERT_TRUE(reader.Load(file).Ok());
        EXPECT_EQ(reader.Entries().size(), 2u);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}), 1)
        << "no temporary file left behind";
    ASSERT_TRUE(m_codes.Save(file));
    EXPECT_EQ(TempDir::ReadFile(file), after);
}

TEST_F(StoredCodes, DamagedStoredListIsKeptBeforeItIsSavedOver)
{
    const std::string damaged = "Version Format: 2.0\n" + Line({"1", "kept", "9"}) + "garbage line\n" +
                                Line({"3", "would be lost", "9"});
    const auto file = m_dir.WriteFile("Codes.dat", damaged);
    EXPECT_EQ(m_codes.Load(file).status, Status::BadLine);
    EXPECT_EQ(Texts(), std::vector<std::string>{"kept"});
    ASSERT_TRUE(m_codes.Save(file));
    EXPECT_EQ(TempDir::ReadFile(m_dir / "Codes.dat.damaged"), damaged);
    ASSERT_TRUE(m_codes.Save(file));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "Codes.dat.damaged.1")) << "kept once";
}

TEST_F(StoredCodes, AddingMovesToTopAndKeeps200)
{
    for (int i = 1; i <= 200; ++i)
        ASSERT_TRUE(m_codes.AddEntry(Code("n" + std::to_string(i), 9), false));
    EXPECT_EQ(m_codes.Entries().front().codeText, "n200");
    ASSERT_TRUE(m_codes.AddEntry(Code("n201", 9), false));
    EXPECT_EQ(m_codes.Entries().size(), 200u);
    EXPECT_EQ(m_codes.Entries().back().codeText, "n2") << "the oldest went first";

    m_codes.EditDescription(101, "mine"); // n101
    ASSERT_TRUE(m_codes.AddEntry(Code("N101 ", 9), false));
    EXPECT_EQ(m_codes.Entries().size(), 200u);
    EXPECT_EQ(m_codes.Entries()[0].codeText, "N101 ");
    EXPECT_EQ(m_codes.Entries()[0].number, 1u);
    EXPECT_EQ(m_codes.Entries()[0].userDescription, "") << "a new entry, not the old one's texts";
    EXPECT_EQ(m_codes.Entries()[1].codeText, "n201");
    EXPECT_EQ(m_codes.Entries()[100].codeText, "n102") << "those above the old place move down";
    EXPECT_EQ(m_codes.Entries()[101].codeText, "n100") << "those below it keep their place";
    EXPECT_EQ(m_codes.Entries()[101].number, 102u);
    EXPECT_EQ(m_codes.Entries()[0].enterDate, kY2k);

    EXPECT_FALSE(m_codes.AddEntry(Code("zero", 0), false));
    EXPECT_TRUE(m_codes.AddEntry(Code("zero", 0), true)) << "type 0 only for the first code";
    EXPECT_FALSE(m_codes.AddEntry(Code("eleven", 11), true));
}

TEST_F(StoredCodes, AddingAgainTakesOverTextsOnlyWhenNothingFetchesThem)
{
    ASSERT_TRUE(m_codes.AddEntry(Code("x", 9), false));
    m_codes.EditDescription(1, "kept");
    m_settings.autoDescriptions = 0;
    m_settings.autoGo = 2;
    ASSERT_TRUE(m_codes.AddEntry(Code("x", 9), false));
    EXPECT_EQ(m_codes.Entries()[0].userDescription, "kept");

    m_codes.SetRefreshingAccessTimes(true);
    m_now += std::chrono::seconds(1);
    CStoredCode again = Code("x", 9);
    again.userDescription = "other";
    ASSERT_TRUE(m_codes.AddEntry(again, false));
    EXPECT_EQ(m_codes.Entries()[0].userDescription, "kept");
    EXPECT_EQ(m_codes.Entries()[0].lastAccessed, "125911584010000000") << "only the access time";
}

TEST_F(StoredCodes, TakingCodesIn)
{
    const std::map<std::string, std::vector<int>> kinds = {
        {"036000291452", {2}}, {"12345", {9, 7}}, {"www.example.com", {10}},
        {"ACME/1", {7}},       {"nothing", {}},   {"nothing else", {}},
    };
    CCodeRecognizer recognizer;
    recognizer.analyze = [&](std::string_view text, int, bool) { return kinds.at(std::string(text)); };
    recognizer.completeUrl = [](std::string_view url) { return "http://" + std::string(url); };
    std::vector<std::pair<std::string, std::vector<int>>> asked;
    std::optional<int> answer = 7;
    const CTypeChooser choose = [&](std::string_view text, const std::vector<int>& types) {
        asked.emplace_back(std::string(text), types);
        return answer;
    };

    ASSERT_TRUE(m_codes.AddEntry(Code("acme/1", 7), false));
    m_codes.EditDescription(1, "the user's");
    ASSERT_TRUE(m_codes.AddEntry(Code("other", 9), false));

    std::vector<CPendingCode> codes(5);
    codes[0].text = "036000291452";
    codes[1].text = "12345";
    codes[2].text = "www.example.com";
    codes[3].text = "ACME/1";
    codes[4].text = "typed already";
    codes[4].type = 9;
    const CTakeCodesResult result = m_codes.TakeCodes(codes, recognizer, choose, false);
    EXPECT_FALSE(result.canceled);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(codes[0].type, 2);
    EXPECT_EQ(codes[1].type, 7) << "the user's choice";
    ASSERT_EQ(asked.size(), 1u) << "asked only where several types fit";
    EXPECT_EQ(asked[0].second, (std::vector<int>{9, 7}));
    EXPECT_EQ(codes[2].text, "http://www.example.com");
    EXPECT_EQ(codes[3].text, "acme/1") << "a known vanity code takes the stored text";
    EXPECT_EQ(codes[3].userDescription, "the user's");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"typed already", "acme/1", "http://www.example.com", "12345",
                                                 "036000291452", "other"}));
    EXPECT_EQ(m_codes.Entries()[1].userDescription, "the user's") << "moved with what it holds";
    EXPECT_EQ(m_codes.Entries()[3].genericDescription, "Lumora Code");

    answer.reset();
    std::vector<CPendingCode> ambiguous(2);
    ambiguous[0].text = "12345";
    ambiguous[1].text = "nothing";
    const CTakeCodesResult canceled = m_codes.TakeCodes(ambiguous, recognizer, choose, true);
    EXPECT_TRUE(canceled.canceled);
    EXPECT_EQ(ambiguous[0].type, 0);
    EXPECT_EQ(m_codes.Entries()[1].codeText, "12345");
    EXPECT_EQ(m_codes.Entries()[1].codeType, 0);
    EXPECT_EQ(m_codes.Entries()[1].genericDescription, "Ambiguous Code");
    EXPECT_EQ(m_codes.Entries()[0].codeText, "nothing")
        << "a first code that fits nothing is kept as unknown";

    std::vector<CPendingCode> notFirst(1);
    notFirst[0].text = "nothing else";
    EXPECT_EQ(m_codes.TakeCodes(notFirst, recognizer, choose, false).failed,
              std::vector<std::string>{"nothing else"});
}

TEST_F(StoredCodes, TakingCodesInWithTheCodeModel)
{
    std::vector<std::pair<std::string, std::vector<int>>> asked;
    const CTypeChooser takeTheLast = [&](std::string_view text, const std::vector<int>& types) {
        asked.emplace_back(std::string(text), types);
        return std::optional<int>(types.back());
    };
    std::vector<CPendingCode> codes(4);
    codes[0].text = "036000291452";
    codes[1].text = "www.example.com";
    codes[2].text = "ftp.example.com";
    codes[3].text = "01234565"; // a UPC-E or an EAN-8
    const CTakeCodesResult result = m_codes.TakeCodes(codes, CodeModelRecognizer(), takeTheLast, false);
    EXPECT_TRUE(result.failed.empty());
    EXPECT_EQ(codes[0].type, 2);
    EXPECT_EQ(codes[1].text, "http://www.example.com");
    EXPECT_EQ(codes[2].text, "ftp://ftp.example.com");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].second, (std::vector<int>{3, 5}));
    EXPECT_EQ(codes[3].type, 5);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"01234565", "ftp://ftp.example.com",
                                                 "http://www.example.com", "036000291452"}));
    EXPECT_EQ(m_codes.Entries()[0].genericDescription, "EAN8 Code");
}

TEST_F(StoredCodes, ResultsOfProcessing)
{
    for (const char* text : {"bad", "free", "linked", "shown"})
        ASSERT_TRUE(m_codes.AddEntry(Code(text, 9), false));
    m_codes.EditDescription(2, "stale"); // "linked"
    m_now += std::chrono::milliseconds(1500);
    const std::vector<CProcessedCode> results = {
        {"bad", 9, CProcessedCode::Outcome::Invalid, "", "", "", "", false},
        {"free", 9, CProcessedCode::Outcome::Unlinked, "S1", "I1", "", "", false},
        {"LINKED", 9, CProcessedCode::Outcome::Linked, "S2", "I2", "Acme", "A book", false},
        {"shown", 9, CProcessedCode::Outcome::Linked, "S3", "I3", "", "A page", true},
        {"unknown", 9, CProcessedCode::Outcome::Linked, "S4", "I4", "", "", true},
    };
    m_codes.UpdateAfterProcessing(results, true);
    const auto& e = m_codes.Entries();
    EXPECT_EQ(e[3].status, CStoredCode::kInvalid);
    EXPECT_EQ(e[3].genericDescription, "INVALID");
    EXPECT_EQ(e[2].status, CStoredCode::kNotShown);
    EXPECT_EQ(e[2].genericDescription, "Numicode Unlinked");
    EXPECT_EQ(e[2].serverId, "S1");
    EXPECT_EQ(e[1].itemDescription, "A book");
    EXPECT_EQ(e[1].genericDescription, "Acme Numicode");
    EXPECT_EQ(e[1].userDescription, "") << "a refresh empties the user's description";
    EXPECT_EQ(e[0].status, CStoredCode::kShown);
    EXPECT_EQ(e[0].lastAccessed, "125911584015000000");
    EXPECT_EQ(e.size(), 4u);
}

TEST_F(StoredCodes, BatchListHandedToTheProcessor)
{
    CStoredCode known = Code("known", 9);
    known.itemDescription = "A book";
    known.userDescription = "mine";
    ASSERT_TRUE(m_codes.AddEntry(known, false));
    ASSERT_TRUE(m_codes.AddEntry(Code("ACME-BOOKS", 7), false));

    VTBatchCodeList list;
    list.Add(VTBatchCode(kCodeUnknown, "036000291452", VTBatchCode::kDescribe));
    list.Add(VTBatchCode(kCodeUnknown, "www.example.com", VTBatchCode::kAddressOnly));
    list.Add(VTBatchCode(kCodeNumi, "known", VTBatchCode::kDescribe));
    list.Add(VTBatchCode(kCodeVanity, "acme-books", VTBatchCode::kDescribe));
    list.Add(VTBatchCode(kCodeUnknown, "01234565", VTBatchCode::kDescribe)); // UPC-E or EAN-8
    const CTypeChooser cancel = [](std::string_view, const std::vector<int>&) {
        return std::optional<int>();
    };
    const CTakeCodesResult result = m_codes.TakeCodes(list, CodeModelRecognizer(), cancel, true);
    EXPECT_TRUE(result.canceled);

    EXPECT_EQ(list.Get(0).GetCodeType(), kCodeUpcA);
    EXPECT_EQ(list.Get(0).GetDescriptionMode(), VTBatchCode::kDescribe);
    EXPECT_EQ(list.Get(1).GetCodeType(), kCodeUrl);
    EXPECT_EQ(list.Get(1).GetRawCode(), "http://www.example.com");
    EXPECT_EQ(list.Get(1).GetDescriptionMode(), VTBatchCode::kAddressOnly);
    EXPECT_EQ(list.Get(2).GetDescription(), "A book") << "stored descriptions go with the code";
    EXPECT_EQ(list.Get(2).GetUserDescription(), "mine");
    EXPECT_EQ(list.Get(3).GetRawCode(), "ACME-BOOKS") << "a vanity code keeps its stored text";
    EXPECT_EQ(list.Get(4).GetCodeType(), kCodeUnknown) << "a cancelled choice leaves the type unknown";
    EXPECT_EQ(Texts(), (std::vector<std::string>{"01234565", "ACME-BOOKS", "known", "http://www.example.com",
                                                 "036000291452"}));
    EXPECT_EQ(m_codes.Entries()[0].genericDescription, "Ambiguous Code");
}

TEST_F(StoredCodes, ResultsReadFromTheProcessedBatchList)
{
    struct Case {
        const char* text;
        std::int32_t status;
        std::optional<CProcessedCode::Outcome> outcome; // none: left out
    };
    using Outcome = CProcessedCode::Outcome;
    const Case cases[] = {
        {"done", VTBatchCode::kDone, Outcome::Linked},
        {"typeless", VTBatchCode::kTypeUnknown, Outcome::Invalid},
        {"invalid", VTBatchCode::kInvalidCode, Outcome::Invalid},
        {"no-format", VTBatchCode::kNoFormat, Outcome::Unlinked},
        {"no-template", VTBatchCode::kNoTemplate, Outcome::Unlinked},
        {"no-address", VTBatchCode::kAddressFailed, Outcome::Unlinked},
        {"routed", VTBatchCode::kRouted, Outcome::Linked},
        {"nameless", VTBatchCode::kNoDescription, Outcome::Linked},
        {"offline", VTBatchCode::kOfflineNoDescription, Outcome::Linked},
        {"cancelled", VTBatchCode::kCancelled, std::nullopt},
        {"failed", VTBatchCode::kFailed, std::nullopt},
        {"waiting", VTBatchCode::kWaitingForTemplate, std::nullopt},
    };
    VTBatchCodeList list;
    VTServerData server(kCodeNumi, "77");
    server.SetName("Acme");
    for (const Case& c : cases) {
        VTBatchCode code(kCodeNumi, c.text, VTBatchCode::kDescribe);
        VTCodeContents contents = code.GetContents();
        contents.SetServerId("77");
        contents.SetItemId(std::string("item-") + c.text);
        code.SetContents(contents);
        code.SetServerData(server);
        code.SetDescription(std::string("about ") + c.text);
        code.SetStatus(c.status);
        list.Add(code);
    }
    const std::vector<CProcessedCode> results = CStoredCodeMgr::ProcessedCodes(list, true);
    std::size_t next = 0;
    for (const Case& c : cases) {
        if (!c.outcome)
            continue;
        ASSERT_LT(next, results.size());
        const CProcessedCode& r = results[next++];
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.outcome, *c.outcome) << c.text;
        EXPECT_EQ(r.itemId, std::string("item-") + c.text);
        const bool linked = *c.outcome == Outcome::Linked;
        EXPECT_EQ(r.itemDescription, linked ? std::string("about ") + c.text : "") << c.text;
        EXPECT_EQ(r.serverDescription, linked ? "Acme" : "") << c.text;
        EXPECT_EQ(r.pageOpened, std::string(c.text) == "done") << "only the first code's page was opened";
    }
    EXPECT_EQ(next, results.size());

    // Codes the processor did not finish keep what their entries had.
    CStoredCode cancelled = Code("cancelled", 9);
    cancelled.itemDescription = "kept";
    ASSERT_TRUE(m_codes.AddEntry(cancelled, false));
    ASSERT_TRUE(m_codes.AddEntry(Code("done", 9), false));
    m_codes.UpdateAfterProcessing(results, false);
    EXPECT_EQ(m_codes.Entries()[0].status, CStoredCode::kShown);
    EXPECT_EQ(m_codes.Entries()[0].itemDescription, "about done");
    EXPECT_EQ(m_codes.Entries()[1].itemDescription, "kept");
    EXPECT_EQ(m_codes.Entries()[1].status, CStoredCode::kNew);
}

TEST_F(StoredCodes, SortingKeepsNumberOrderForEqualKeys)
{
    for (const char* text : {"b", "A", "b", "c"}) {
        CStoredCode code = Code(text, std::string(text) == "b" && m_codes.Entries().empty() ? 7 : 9);
        ASSERT_TRUE(m_codes.AddEntry(code, false));
    }
    // Numbers: 1 "c"(9), 2 "b"(9), 3 "A"(9), 4 "b"(7)
    const auto order = [&] {
        std::vector<std::string> seen;
        for (const CStoredCode* entry : m_codes.SortedEntries())
            seen.push_back(entry->codeText + std::to_string(entry->number));
        return seen;
    };
    m_codes.Sort(kColumnCode, true);
    EXPECT_EQ(order(), (std::vector<std::string>{"A3", "b2", "b4", "c1"}));
    m_codes.Sort(kColumnCode, false);
    EXPECT_EQ(order(), (std::vector<std::string>{"c1", "b2", "b4", "A3"}));
    m_codes.Sort(kColumnType, true);
    EXPECT_EQ(order(), (std::vector<std::string>{"b4", "c1", "b2", "A3"})) << "Lumora Code before Numicode";
    m_codes.Sort(kColumnNumber, false);
    EXPECT_EQ(order(), (std::vector<std::string>{"b4", "A3", "b2", "c1"}));
}

TEST_F(StoredCodes, UndoOfTheLastListChange)
{
    ASSERT_TRUE(Read("a,9,s\nb,9,s\nc,9,s\n").Ok());
    EXPECT_EQ(m_codes.UndoTextId(), 0);
    m_codes.Select(2, true);
    EXPECT_EQ(m_codes.DeleteSelected(), 1u);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(m_codes.UndoTextId(), kStrUndoDelete);
    ASSERT_TRUE(m_codes.Undo());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_FALSE(m_codes.Undo()) << "one level only";

    const auto list = m_dir.WriteFile("more.codelist", "d,9,s\na,9,s\n");
    ASSERT_TRUE(m_codes.Insert(list).Ok());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(m_codes.UndoTextId(), kStrUndoInsert);
    ASSERT_TRUE(m_codes.Replace(list).Ok());
    EXPECT_EQ(m_codes.UndoTextId(), kStrUndoReplace);
    ASSERT_TRUE(m_codes.Undo());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"a", "b", "c", "d"}));

    m_codes.EditDescription(1, "new");
    EXPECT_EQ(m_codes.UndoTextId(), kStrUndoDescription);
    ASSERT_TRUE(m_codes.AddEntry(Code("scanned", 9), false));
    EXPECT_EQ(m_codes.UndoTextId(), 0) << "another change ends the undo: it would lose the new code";
}

TEST_F(StoredCodes, ExportAsText)
{
    const std::string text = "Version Format: 2.0\n" +
                             Line({"1", "036000291452", "2", "0", "1234", "3", "", "Soup", "", "", kY2k}) +
                             Line({"2", "never", "9", "", "", "1", "", "", "", "", kY2k});
    ASSERT_TRUE(Read(text).Ok());
    const auto path = m_dir / "list.txt";
    ASSERT_TRUE(m_codes.ExportText(path));
    EXPECT_EQ(TempDir::ReadFile(path),
              "  Stored Codes\n"
              "  ============\n"
              "\n"
              " # \tCode\tType\tDescription\tEnter Date\tLast Accessed\tItem ID\tServer ID\t@\t\n"
              "\n"
              "1\t036000291452\tUPCA Code\tSoup\t2000-01-01 00:00:00\t-none-\t1234\t0\tShown\n"
              "2\tnever\tNumicode\tNumicode\t2000-01-01 00:00:00\t-none-\t\t\tNew\n");
}

// Each field of a CSV row, read back as RFC 4180 says: quoted fields may
// hold separators, doubled quotes and line breaks.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field.push_back(text[++i]);
            else if (c == '"')
                quoted = false;
            else
                field.push_back(c);
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(std::exchange(field, {}));
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            rows.back().push_back(std::exchange(field, {}));
            rows.emplace_back();
            ++i;
        } else {
            field.push_back(c);
        }
    }
    EXPECT_TRUE(field.empty() && rows.back().empty()) << "every row ends with CR LF";
    rows.pop_back();
    return rows;
}

TEST_F(StoredCodes, ExportAsCsv)
{
    // Descriptions the way users and servers write them.
    const std::string text =
        "Version Format: 2.0\n" +
        Line({"1", "036000291452", "2", "0", "1234", "3", "", "Soup, hot", "", "", kY2k}) +
        Line({"2", "ACME/1", "7", "", "", "1", "", "", "say \"hi\"", "", kY2k}) +
        Line({"3", "12345", "9", "", "", "2", "", "=HYPERLINK(\"x\")", "", "", kY2k}) +
        Line({"4", "978", "6", "", "", "0", "", "", "Café Ñandú", kY2k, kY2k}) +
        Line({"5", "-5", "9", "", "", "1", "", "", "@home +1", "", kY2k});
    ASSERT_TRUE(Read(text).Ok());
    m_codes.EditDescription(2, "two\nlines");
    const auto rows = ParseCsv(m_codes.FormatCsv());
    const std::vector<std::vector<std::string>> expected = {
        {"#", "Code", "Description", "Type", "Enter Date", "Last Accessed", "Item ID", "Server ID", "@"},
        {"1", "036000291452", "Soup, hot", "UPCA Code", "2000-01-01 00:00:00", "", "1234", "0", "Shown"},
        {"2", "ACME/1", "two\nlines", "Lumora Code", "2000-01-01 00:00:00", "", "", "", "New"},
        // A formula stays text in a spreadsheet.
        {"3", "12345", "'=HYPERLINK(\"x\")", "Numicode", "2000-01-01 00:00:00", "", "", "", "Not Shown"},
        {"4", "978", "Café Ñandú", "ISBN Code", "2000-01-01 00:00:00", "2000-01-01 00:00:00", "", "",
         "Invalid"},
        {"5", "'-5", "'@home +1", "Numicode", "2000-01-01 00:00:00", "", "", "", "New"},
    };
    EXPECT_EQ(rows, expected);
    EXPECT_NE(m_codes.FormatCsv().find("\"two\nlines\""), std::string::npos) << "a line break is quoted";

    // The rows follow the list's sort; the file is the same text.
    m_codes.Sort(kColumnCode, false);
    const auto sorted = ParseCsv(m_codes.FormatCsv());
    std::vector<std::string> codes;
    for (std::size_t i = 1; i < sorted.size(); ++i)
        codes.push_back(sorted[i][1]);
    EXPECT_EQ(codes, (std::vector<std::string>{"ACME/1", "978", "12345", "036000291452", "'-5"}));
    const auto path = m_dir / "list.csv";
    ASSERT_TRUE(m_codes.Export(path, CListFileKind::kCsv));
    EXPECT_EQ(TempDir::ReadFile(path), m_codes.FormatCsv());
}

TEST_F(StoredCodes, ExportKindsAndFilter)
{
    EXPECT_EQ(m_codes.ExportFilter(),
              "Code Files (*.codelist)|*.codelist|Text Files (*.txt)|*.txt|CSV Files (*.csv)|*.csv||");
    const std::tuple<const char*, std::size_t, CListFileKind> cases[] = {
        {"a.codelist", 2, CListFileKind::kCodeList}, // the name wins over the filter
        {"a.TXT", 0, CListFileKind::kText},
        {"a.Csv", 0, CListFileKind::kCsv},
        {"a", 0, CListFileKind::kCodeList},
        {"a", 1, CListFileKind::kText},
        {"a", 2, CListFileKind::kCsv},
        {"a.list", 7, CListFileKind::kCodeList},
    };
    for (const auto& [name, index, kind] : cases)
        EXPECT_EQ(CStoredCodeMgr::ExportKind(name, index), kind) << name << " " << index;

    ASSERT_TRUE(m_codes.AddEntry(Code("12345", 9), false));
    for (const auto kind : {CListFileKind::kCodeList, CListFileKind::kText, CListFileKind::kCsv}) {
        const auto path = m_dir / "export";
        ASSERT_TRUE(m_codes.Export(path, kind));
        const std::string written = TempDir::ReadFile(path);
        EXPECT_EQ(written, kind == CListFileKind::kCodeList ? m_codes.FormatList()
                           : kind == CListFileKind::kText   ? m_codes.FormatText()
                                                            : m_codes.FormatCsv());
    }
}

TEST(StoredCodeTimes, FileTimes)
{
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const auto when = std::chrono::system_clock::from_time_t(946684800) + std::chrono::milliseconds(250);
    EXPECT_EQ(CStoredCodeMgr::FileTimeText(when, true), kY2k);
    EXPECT_EQ(CStoredCodeMgr::FileTimeText(when, false), "125911584002500000");
    EXPECT_EQ(CStoredCodeMgr::DateText(kY2k), "2000-01-01 00:00:00");
    EXPECT_EQ(CStoredCodeMgr::DateText("soon"), "soon");
    ::setenv("TZ", "EST5", 1);
    ::tzset();
    EXPECT_EQ(CStoredCodeMgr::FileTimeText(when, true), "125911404000000000")
        << "local time, five hours behind";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}

// The stored list in the delivered languages: translated type and status
// names joined with descriptions from servers and users, all UTF-8.
class StoredCodesTranslated : public ::testing::TestWithParam<const char*> {
protected:
    StoredCodesTranslated() : m_codes(m_language, m_settings)
    {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        m_program.WriteFile("lumora", "");
        std::filesystem::copy_file(LUMORA_LIB_POR, m_program / "lumorapor.so");
        std::filesystem::copy_file(LUMORA_LIB_SPA, m_program / "lumoraspa.so");
        m_language.Initialize(m_program / "lumora");
    }

    static void ExpectUtf8(const CStoredCode& entry)
    {
        for (const std::string* text :
             {&entry.codeText, &entry.serverId, &entry.itemId, &entry.genericDescription,
              &entry.itemDescription, &entry.userDescription})
            EXPECT_TRUE(platform::IsUtf8(*text)) << testing::PrintToString(*text);
    }

    TempDir m_program;
    CLanguageMgr m_language;
    CClientSettings m_settings;
    CStoredCodeMgr m_codes;
};

TEST_P(StoredCodesTranslated, TypeNamesJoinDescriptionsInOneEncoding)
{
    const std::string language = GetParam();
    ASSERT_TRUE(m_language.SelectByCode(language));
    const bool pt = language == "pt";
    const std::string upca = "Código UPCA";
    const std::string unlinked = pt ? "Sem ligação" : "Sin vínculo";
    const std::string invalid = pt ? "INVÁLIDO" : "NO VÁLIDO";
    const std::string shown = "Mostrado";
    const std::string title = pt ? "Códigos guardados" : "Códigos almacenados";
    EXPECT_EQ(m_codes.TypeName(2), upca);

    for (const char* text : {"036000291452", "042100005264", "012345678905"}) {
        CStoredCode code;
        code.codeText = text;
        code.codeType = 2;
        code.genericDescription = m_codes.TypeName(2);
        ASSERT_TRUE(m_codes.AddEntry(code, false));
    }
    // Descriptions arrive in UTF-8, as the servers' XML is read.
    m_codes.UpdateAfterProcessing(
        {
            {"036000291452", 2, CProcessedCode::Outcome::Linked, "0", "29145", "Café Ñandú", "Açúcar", true},
            {"042100005264", 2, CProcessedCode::Outcome::Unlinked, "0", "42100", "", "", false},
            {"012345678905", 2, CProcessedCode::Outcome::Invalid, "", "", "", "", false},
        },
        false);
    const auto& e = m_codes.Entries();
    EXPECT_EQ(e[2].genericDescription, "Café Ñandú " + upca);
    EXPECT_EQ(e[2].itemDescription, "Açúcar");
    EXPECT_EQ(e[1].genericDescription, upca + " " + unlinked);
    EXPECT_EQ(e[0].genericDescription, invalid);
    for (const CStoredCode& entry : e)
        ExpectUtf8(entry);
    EXPECT_EQ(m_codes.StatusName(e[2].status), shown);

    const std::string list = m_codes.FormatList();
    EXPECT_TRUE(platform::IsUtf8(list));
    const std::string text = m_codes.FormatText();
    EXPECT_TRUE(platform::IsUtf8(text));
    // One accented letter in either title: one '=' fewer than its bytes.
    EXPECT_TRUE(text.starts_with("  " + title + "\n  " + std::string(title.size() - 1, '=') + "\n"))
        << "one '=' per character of the title:\n"
        << text;

    // What was saved reads back the same.
    std::istringstream in(list);
    CStoredCodeMgr again(m_language, m_settings);
    ASSERT_TRUE(again.Read(in, false).Ok());
    EXPECT_EQ(again.FormatList(), list);
}

INSTANTIATE_TEST_SUITE_P(Delivered, StoredCodesTranslated, ::testing::Values("pt", "es"),
                         [](const auto& info) { return std::string(info.param); });

// Lists written by older programs, and by this one before its texts were
// all UTF-8, hold Windows-1252, sometimes beside UTF-8 in one line.
TEST_F(StoredCodes, OlderListsInWindows1252ReadAsUtf8)
{
    const std::string text = "Version Format: 2.0\n" + Line({"1", "036000291452", "2", "0", "1234", "3",
                                                             "Caf\xC3\xA9 C\xF3"
                                                             "digo UPCA",
                                                             "A\xE7\xFA"
                                                             "car",
                                                             "Espa\xF1"
                                                             "a",
                                                             "", kY2k});
    ASSERT_TRUE(Read(text).Ok());
    ASSERT_EQ(m_codes.Entries().size(), 1u);
    const CStoredCode& entry = m_codes.Entries()[0];
    EXPECT_EQ(entry.genericDescription, "Café Código UPCA");
    EXPECT_EQ(entry.itemDescription, "Açúcar");
    EXPECT_EQ(entry.userDescription, "España");

    ASSERT_TRUE(Read("Version Format: 1.0\n036000291452\x03"
                     "2\x03"
                     "0\x03"
                     "1234\x03"
                     "0\x03"
                     "2\x03"
                     "Ni\xF1o\x03\n")
                    .Ok());
    EXPECT_EQ(m_codes.Entries()[0].userDescription, "Niño");
    ASSERT_TRUE(Read("caf\xE9,9,s,Men\xFA\n").Ok());
    EXPECT_EQ(m_codes.Entries()[0].codeText, "café");
    EXPECT_EQ(m_codes.Entries()[0].userDescription, "Menú");
}

// Replays what the stored list tells onto its own copy, as a table model
// would, and checks the calls keep the rules such a model lives by: an
// "about to" call while the list is still as the copy knows it, its pair
// right after, ranges inside the list, moves that move something, and
// changed rows that did change.
class ReplayingListener : public CStoredCodeListener {
public:
    enum class Kind { Insert, Remove, Move, Reset };
    struct Pending {
        Kind kind;
        std::size_t first, last, destination;
    };

    explicit ReplayingListener(const CStoredCodeMgr& codes) : m_codes(codes), m_copy(codes.Entries()) {}

    void OnRowsAboutToBeInserted(std::size_t first, std::size_t last) override
    {
        Begin({Kind::Insert, first, last, 0});
        EXPECT_LE(first, m_copy.size());
        EXPECT_LE(first, last);
    }
    void OnRowsInserted(std::size_t first, std::size_t last) override
    {
        End({Kind::Insert, first, last, 0});
        const auto& now = m_codes.Entries();
        ASSERT_LT(last, now.size());
        m_copy.insert(m_copy.begin() + Offset(first), now.begin() + Offset(first),
                      now.begin() + Offset(last + 1));
        ++m_inserted;
        EXPECT_EQ(m_copy.size(), now.size());
    }
    void OnRowsAboutToBeRemoved(std::size_t first, std::size_t last) override
    {
        Begin({Kind::Remove, first, last, 0});
        EXPECT_LE(first, last);
        EXPECT_LT(last, m_copy.size());
    }
    void OnRowsRemoved(std::size_t first, std::size_t last) override
    {
        End({Kind::Remove, first, last, 0});
        ASSERT_LT(last, m_copy.size());
        m_copy.erase(m_copy.begin() + Offset(first), m_copy.begin() + Offset(last + 1));
        ++m_removed;
        EXPECT_EQ(m_copy.size(), m_codes.Entries().size());
    }
    void OnRowsAboutToBeMoved(std::size_t first, std::size_t last, std::size_t destination) override
    {
        Begin({Kind::Move, first, last, destination});
        EXPECT_LE(first, last);
        EXPECT_LT(last, m_copy.size());
        EXPECT_LE(destination, m_copy.size());
        EXPECT_FALSE(destination >= first && destination <= last + 1) << "a move onto itself";
    }
    void OnRowsMoved(std::size_t first, std::size_t last, std::size_t destination) override
    {
        End({Kind::Move, first, last, destination});
        ASSERT_LT(last, m_copy.size());
        const auto begin = m_copy.begin() + Offset(first);
        const auto end = m_copy.begin() + Offset(last + 1);
        if (destination < first)
            std::rotate(m_copy.begin() + Offset(destination), begin, end);
        else
            std::rotate(begin, end, m_copy.begin() + Offset(destination));
        ++m_moved;
    }
    void OnRowsChanged(std::size_t first, std::size_t last) override
    {
        EXPECT_FALSE(m_pending) << "a change told between an \"about to\" and its pair";
        const auto& now = m_codes.Entries();
        ASSERT_LE(first, last);
        ASSERT_LT(last, now.size());
        ASSERT_EQ(m_copy.size(), now.size());
        for (std::size_t row = first; row <= last; ++row) {
            EXPECT_FALSE(Same(m_copy[row], now[row])) << "row " << row << " told as changed but is not";
            m_copy[row] = now[row];
        }
        m_changed += last - first + 1;
    }
    void OnAboutToReset() override { Begin({Kind::Reset, 0, 0, 0}); }
    void OnReset() override
    {
        End({Kind::Reset, 0, 0, 0});
        m_copy = m_codes.Entries();
        ++m_resets;
    }
    void OnSortChanged(int column, bool ascending) override
    {
        EXPECT_EQ(column, m_codes.SortColumn());
        EXPECT_EQ(ascending, m_codes.SortAscending());
        ++m_sorts;
    }

    // The copy, with every call replayed, is the list.
    void ExpectFollowed() const
    {
        EXPECT_FALSE(m_pending) << "an \"about to\" without its pair";
        EXPECT_TRUE(InStep()) << "the replayed copy differs from the list";
    }

    std::size_t m_inserted = 0, m_removed = 0, m_moved = 0, m_changed = 0, m_resets = 0, m_sorts = 0;

private:
    static std::ptrdiff_t Offset(std::size_t row) { return static_cast<std::ptrdiff_t>(row); }
    // The selection is the view's and is not told.
    static bool Same(CStoredCode a, CStoredCode b)
    {
        a.selected = b.selected = false;
        return a == b;
    }
    bool InStep() const
    {
        const auto& now = m_codes.Entries();
        return now.size() == m_copy.size() && std::equal(now.begin(), now.end(), m_copy.begin(), Same);
    }
    void Begin(const Pending& call)
    {
        EXPECT_FALSE(m_pending) << "two \"about to\" calls without a pair between them";
        EXPECT_TRUE(InStep()) << "the list changed before the listener heard it would";
        m_pending = call;
    }
    void End(const Pending& call)
    {
        ASSERT_TRUE(m_pending) << "a second call without an \"about to\"";
        EXPECT_EQ(m_pending->kind, call.kind);
        EXPECT_EQ(m_pending->first, call.first);
        EXPECT_EQ(m_pending->last, call.last);
        EXPECT_EQ(m_pending->destination, call.destination);
        m_pending.reset();
    }

    const CStoredCodeMgr& m_codes;
    std::vector<CStoredCode> m_copy;
    std::optional<Pending> m_pending;
};

// Every change of the list, told to a listener that follows it row by row.
TEST_F(StoredCodes, ListenerFollowsEveryChange)
{
    const auto list = m_dir.WriteFile("more.codelist", "d,9,s\na,9,s\nnew1,9,s\nnew2,9,s\n");
    const auto numbered = [&](int count) {
        for (int i = count; i >= 1; --i)
            ASSERT_TRUE(m_codes.AddEntry(Code("n" + std::to_string(i), 9), false));
    };
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::function<void()> change;
        bool reset = false; // the only changes that may replace the whole list
    };
    const std::vector<CProcessedCode> results = {
        {"n2", 9, CProcessedCode::Outcome::Linked, "S", "I", "Acme", "A book", true},
        {"n4", 9, CProcessedCode::Outcome::Unlinked, "S", "I", "", "", false},
        {"n5", 9, CProcessedCode::Outcome::Invalid, "", "", "", "", false},
        {"gone", 9, CProcessedCode::Outcome::Linked, "S", "I", "", "", false},
    };
    const Case cases[] = {
        {"add at the top", [&] { numbered(5); },
         [&] { ASSERT_TRUE(m_codes.AddEntry(Code("new", 9), false)); }},
        {"add to an empty list", [] {}, [&] { ASSERT_TRUE(m_codes.AddEntry(Code("new", 9), false)); }},
        {"add again moves to the top", [&] { numbered(5); },
         [&] { ASSERT_TRUE(m_codes.AddEntry(Code("N4", 9), false)); }},
        {"add again what is at the top", [&] { numbered(5); },
         [&] { ASSERT_TRUE(m_codes.AddEntry(Code("n1", 9), false)); }},
        {"add to a full list drops the oldest", [&] { numbered(200); },
         [&] { ASSERT_TRUE(m_codes.AddEntry(Code("new", 9), false)); }},
        {"refreshing access times",
         [&] {
             numbered(5);
             m_codes.SetRefreshingAccessTimes(true);
             m_now += std::chrono::seconds(5);
         },
         [&] { ASSERT_TRUE(m_codes.AddEntry(Code("n3", 9), false)); }},
        {"taking codes in", [&] { numbered(5); },
         [&] {
             std::vector<CPendingCode> codes(3);
             const char* texts[] = {"n3", "fresh", "n5"};
             for (std::size_t i = 0; i < codes.size(); ++i) {
                 codes[i].text = texts[i];
                 codes[i].type = 9;
             }
             CCodeRecognizer recognizer;
             recognizer.analyze = [](std::string_view, ScanType, bool) { return std::vector<int>{9}; };
             EXPECT_TRUE(m_codes.TakeCodes(codes, recognizer, {}, false).failed.empty());
         }},
        {"delete selected",
         [&] {
             numbered(8);
             for (unsigned number : {1u, 3u, 4u, 8u})
                 m_codes.Select(number, true);
         },
         [&] { EXPECT_EQ(m_codes.DeleteSelected(), 4u); }},
        {"delete all", [&] { numbered(5); }, [&] { m_codes.DeleteAll(); }},
        {"load", [&] { numbered(5); }, [&] { ASSERT_TRUE(m_codes.Load(list).Ok()); }, true},
        {"replace", [&] { numbered(5); }, [&] { ASSERT_TRUE(m_codes.Replace(list).Ok()); }, true},
        {"read with a bad line keeps what came before it", [&] { numbered(5); },
         [&] { EXPECT_FALSE(Read("x,9,s\ny\n").Ok()); }, true},
        {"insert from a file", [&] { numbered(5); }, [&] { ASSERT_TRUE(m_codes.Insert(list).Ok()); }},
        {"insert into a nearly full list", [&] { numbered(198); },
         [&] { ASSERT_TRUE(m_codes.Insert(list).Ok()); }},
        {"sort", [&] { numbered(5); }, [&] { m_codes.Sort(kColumnCode, false); }},
        {"edit a description", [&] { numbered(5); },
         [&] { ASSERT_TRUE(m_codes.EditDescription(3, "mine")); }},
        {"update from batch results",
         [&] {
             numbered(5);
             m_codes.EditDescription(2, "stale");
         },
         [&] { m_codes.UpdateAfterProcessing(results, true); }},
        {"undo",
         [&] {
             numbered(5);
             m_codes.Select(2, true);
             m_codes.DeleteSelected();
         },
         [&] { ASSERT_TRUE(m_codes.Undo()); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_codes.SetListener(nullptr);
        m_codes.DeleteAll();
        m_codes.SetRefreshingAccessTimes(false);
        c.arrange();
        ReplayingListener listener(m_codes);
        m_codes.SetListener(&listener);
        c.change();
        listener.ExpectFollowed();
        EXPECT_EQ(listener.m_resets > 0, c.reset) << "told row by row, not as a new list";
    }
    m_codes.SetListener(nullptr);
}

// What a table model is told for the common changes, call by call.
TEST_F(StoredCodes, ListenerHearsPreciseRanges)
{
    for (int i = 5; i >= 1; --i)
        ASSERT_TRUE(m_codes.AddEntry(Code("n" + std::to_string(i), 9), false));
    ReplayingListener listener(m_codes);
    m_codes.SetListener(&listener);

    ASSERT_TRUE(m_codes.AddEntry(Code("n4", 9), false));
    EXPECT_EQ(listener.m_moved, 1u) << "a known code moves; it is not removed and inserted";
    EXPECT_EQ(listener.m_inserted + listener.m_removed, 0u);
    EXPECT_EQ(listener.m_changed, 4u) << "its new texts, and the numbers of the three it passed";

    m_codes.Sort(kColumnType, true);
    EXPECT_EQ(listener.m_sorts, 1u);
    EXPECT_EQ(listener.m_changed, 4u) << "sorting changes no row";

    ASSERT_TRUE(m_codes.EditDescription(5, "mine"));
    EXPECT_EQ(listener.m_changed, 5u);
    m_codes.UpdateAfterProcessing({{"n1", 9, CProcessedCode::Outcome::Linked, "S", "I", "", "", false}},
                                  false);
    EXPECT_EQ(listener.m_changed, 6u) << "one result, one row";
    listener.ExpectFollowed();
    m_codes.SetListener(nullptr);
}

} // namespace

#include "tools/cli/cliargs.h"
#include "tools/cli/cliinput.h"
#include "tools/cli/clijson.h"
#include "tools/cli/clitable.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(CliArgs, OptionsFlagsAndPositionalsInAnyOrder)
{
    std::string error;
    auto args = CliArgs::Parse({"--type", "UPCA", "12", "--scanned", "--scan-type=3", "--json", "--", "--x"},
                               {"--type", "--scan-type"}, {"--scanned"}, error);
    ASSERT_TRUE(args) << error;
    EXPECT_EQ(args->Value("--type"), "UPCA");
    EXPECT_EQ(args->Value("--scan-type"), "3");
    EXPECT_FALSE(args->Value("--format"));
    EXPECT_TRUE(args->Has("--scanned"));
    EXPECT_TRUE(args->Json());
    EXPECT_EQ(args->Positional(), (std::vector<std::string>{"12", "--x"}));
}

TEST(CliArgs, BadUsageIsReported)
{
    std::string error;
    EXPECT_FALSE(CliArgs::Parse({"--nope"}, {}, {}, error));
    EXPECT_EQ(error, "unknown option --nope");
    EXPECT_FALSE(CliArgs::Parse({"--type"}, {"--type"}, {}, error));
    EXPECT_EQ(error, "option --type needs a value");
    EXPECT_FALSE(CliArgs::Parse({"--scanned=1"}, {}, {"--scanned"}, error));
    // A lone "-" is a word (standard input); any other text that begins
    // with "-" is one only after "--".
    EXPECT_FALSE(CliArgs::Parse({"-5"}, {}, {}, error));
    EXPECT_EQ(error, "unknown option -5 (a text that begins with '-' goes after '--')");
    auto args = CliArgs::Parse({"-", "--", "-5", "--"}, {}, {}, error);
    ASSERT_TRUE(args) << error;
    EXPECT_EQ(args->Positional(), (std::vector<std::string>{"-", "-5", "--"}));
    EXPECT_FALSE(CliArgs::Parse({"--json", "--tsv"}, {}, {}, error));
    EXPECT_EQ(error, "--json and --tsv do not go together");
}

TEST(CliArgs, ParseLong)
{
    EXPECT_EQ(ParseLong("42"), 42);
    EXPECT_EQ(ParseLong("-7"), -7);
    EXPECT_FALSE(ParseLong(""));
    EXPECT_FALSE(ParseLong("4x"));
    EXPECT_FALSE(ParseLong("99999999999999999999999"));
}

TEST(CliCodeLines, BlanksStayAndBlankLinesGo)
{
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"\n \n\t\n0 36000 29145 2 \n\n", {"0 36000 29145 2 "}},
        {"\xEF\xBB\xBF"
         "036000291452\r\n",
         {"036000291452"}},
        {"\xEF\xBB\xBF\n\xEF\xBB\xBF"
         "1\n",
         {"\xEF\xBB\xBF"
          "1"}}, // only the file's first bytes
        {"a\rb\n", {"a\rb"}},
        {"", {}},
    };
    for (const auto& [text, lines] : cases) {
        std::istringstream in(text);
        EXPECT_EQ(ReadCodeLines(in), lines) << testing::PrintToString(text);
    }
}

TEST(CliJson, QuotingKeepsEveryByte)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "\"plain\""},
        {"q\"b\\", "\"q\\\"b\\\\\""},
        {"a\tb\nc\r", "\"a\\tb\\nc\\r\""},
        {std::string("\x01\x7f", 2), "\"\\u0001\\u007f\""},
        {"Espa\xC3\xB1ol", "\"Espa\xC3\xB1ol\""},     // valid UTF-8 passes
        {"Espa\xF1ol", "\"Espa\\u00f1ol\""},          // Windows-1252 byte
        {"\xE2\x82", "\"\\u00e2\\u0082\""},           // cut-off sequence
        {"\xC0\xAF", "\"\\u00c0\\u00af\""},           // overlong form
        {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""}, // four bytes
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(JsonQuote(in), out);
}

TEST(CliJson, ObjectKeepsKeyOrder)
{
    JsonObject object;
    object.Add("text", "12").Add("candidates", std::vector<std::string>{"UPCA", "EAN13"}).Add("status", 19);
    object.AddRaw("nested", JsonObject().Add("a", "b").Str());
    EXPECT_EQ(object.Str(), R"({"text":"12","candidates":["UPCA","EAN13"],"status":19,"nested":{"a":"b"}})");
    EXPECT_EQ(JsonObject().Add("empty", std::vector<std::string>{}).Str(), R"({"empty":[]})");
}

TEST(CliTable, ColumnsAreAligned)
{
    std::ostringstream out;
    PrintTable(out, {"TEXT", "TYPE"}, {{"012345678905", "UPCA"}, {"1", ""}});
    EXPECT_EQ(out.str(), "TEXT          TYPE\n012345678905  UPCA\n1             -\n");
}

TEST(CliTable, CellsAreEscapedAndMeasuredInCharacters)
{
    struct Case {
        std::string text;
        std::string shown;
        std::size_t width;
    };
    const Case cases[] = {
        {"plain", "plain", 5},
        {"Caf\xC3\xA9/\xC3\x9Cn\xC3\xAF", "Caf\xC3\xA9/\xC3\x9Cn\xC3\xAF", 8}, // two-byte letters
        {"e\xCC\x81", "e\xCC\x81", 1},                                         // a combining accent
        {"\xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x97\xA5\xE6\x9C\xAC", 4},           // wide characters
        {"a\x1b[31mred", "a\\e[31mred", 10}, // ESC cannot colour the terminal
        {"bell\a cr\r lf\n tab\t", "bell\\a cr\\r lf\\n tab\\t", 22},
        {std::string("nul\0x", 5), "nul\\x00x", 8},
        {"del\x7f c1\xC2\x85", "del\\x7f c1\\x85", 14},
        {"latin1 \xE9", "latin1 \\xe9", 11}, // a byte that is not UTF-8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(EscapeCell(c.text), c.shown);
        EXPECT_EQ(DisplayWidth(EscapeCell(c.text)), c.width);
    }
}

TEST(CliTable, ShorteningNeverSplitsACharacter)
{
    const std::pair<std::string, std::string> cases[] = {
        {"abcdef", "abc\u2026"},
        {"abcd", "abcd"},
        {"Caf\xC3\xA9/\xC3\x9Cn", "Caf\u2026"},
        {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", "\xC3\xA9\xC3\xA9\xC3\xA9\u2026"},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
         "\xE6\x97\xA5\u2026"}, // a wide character does not fit in half
    };
    for (const auto& [text, shortened] : cases) {
        EXPECT_EQ(ShortenToWidth(text, 4), shortened);
        EXPECT_LE(DisplayWidth(ShortenToWidth(text, 4)), 4u);
    }
}

TEST(CliTable, CappedTablesShortenTheWidestColumn)
{
    const std::vector<std::vector<std::string>> rows = {
        {"036000291452", "http://127.0.0.1:8470/item?type=UPCA&sid=036000&iid=29145", "Oat Crunch"},
        {"\xC3\xA9t\xC3\xA9", "", "Caf\xC3\xA9 cr\xC3\xA8me"},
    };
    std::ostringstream capped;
    PrintTable(capped, {"CODE", "URL", "DESCRIPTION"}, rows, TableStyle{false, 40});
    EXPECT_EQ(capped.str(), "CODE          URL            DESCRIPTION\n"
                            "036000291452  http://127.0\u2026  Oat Crunch\n"
                            "\xC3\xA9t\xC3\xA9           -              Caf\xC3\xA9 cr\xC3\xA8me\n");
    std::istringstream lines(capped.str());
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(DisplayWidth(line), 40u) << line;

    std::ostringstream uncapped;
    PrintTable(uncapped, {"CODE", "URL", "DESCRIPTION"}, rows);
    EXPECT_NE(uncapped.str().find(rows[0][1]), std::string::npos) << "a pipe gets whole values";
}

TEST(CliTable, TabSeparatedValuesKeepEmptyCellsEmpty)
{
    std::ostringstream out;
    PrintTable(out, {"CODE", "ERROR"}, {{"a\tb", ""}, {"c", "no format"}}, TableStyle{true, 0});
    EXPECT_EQ(out.str(), "CODE\tERROR\na\\tb\t\nc\tno format\n");
}

} // namespace

#include "tools/cli/cliargs.h"
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
    // A lone "-" and negative numbers are positional words.
    auto args = CliArgs::Parse({"-", "-5"}, {}, {}, error);
    ASSERT_TRUE(args);
    EXPECT_EQ(args->Positional().size(), 2u);
}

TEST(CliArgs, ParseLong)
{
    EXPECT_EQ(ParseLong("42"), 42);
    EXPECT_EQ(ParseLong("-7"), -7);
    EXPECT_FALSE(ParseLong(""));
    EXPECT_FALSE(ParseLong("4x"));
    EXPECT_FALSE(ParseLong("99999999999999999999999"));
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
    EXPECT_EQ(out.str(), "TEXT          TYPE\n012345678905  UPCA\n1\n");
}

} // namespace

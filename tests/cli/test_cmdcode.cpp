// analyze, construct and decompose run as a user runs them: the built
// lumora-cli with its output and exit status.
#include "tests/support/runprogram.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    std::vector<std::string> args;
    int exitStatus;
    std::string out;     // exact standard output
    std::string errPart; // expected within standard error ("" = empty)
};

void RunCases(const std::vector<Case>& cases)
{
    for (const auto& c : cases) {
        const ProgramResult result = RunProgram(LUMORA_CLI_PATH, c.args);
        const std::string where = testing::PrintToString(c.args);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << where << "\n" << result.err;
        EXPECT_EQ(result.out, c.out) << where;
        if (c.errPart.empty())
            EXPECT_EQ(result.err, "") << where;
        else
            EXPECT_NE(result.err.find(c.errPart), std::string::npos) << where << "\n" << result.err;
    }
}

TEST(CliAnalyze, JsonLinePerTextInAnalysisOrder)
{
    RunCases({
        {{"analyze", "--json", "0-12345-67890-5", "02103822", "12345", "!nothing", ""},
         1,
         "{\"text\":\"0-12345-67890-5\",\"candidates\":[\"UPCA\"]}\n"
         "{\"text\":\"02103822\",\"candidates\":[\"VANTREL\",\"EAN8\"]}\n"
         "{\"text\":\"12345\",\"candidates\":[\"NUMI\"]}\n"
         "{\"text\":\"!nothing\",\"candidates\":[]}\n"
         "{\"text\":\"\",\"candidates\":[]}\n",
         ""},
        {{"analyze", "--json", "036000291452", "0-12345-67890-5"},
         0,
         "{\"text\":\"036000291452\",\"candidates\":[\"UPCA\"]}\n"
         "{\"text\":\"0-12345-67890-5\",\"candidates\":[\"UPCA\"]}\n",
         ""},
        {{"analyze", "--scanned", "--json", "12345", "01234567890512", "0237785832"},
         1,
         "{\"text\":\"12345\",\"candidates\":[]}\n"
         "{\"text\":\"01234567890512\",\"candidates\":[\"UPCA\"]}\n"
         "{\"text\":\"0237785832\",\"candidates\":[\"VANTREL\",\"UPCE\"]}\n",
         ""},
        {{"analyze", "--json", "--scan-type", "5", "4006381333931", "ACME/1"},
         1,
         "{\"text\":\"4006381333931\",\"candidates\":[]}\n"
         "{\"text\":\"ACME/1\",\"candidates\":[\"VANITY\"]}\n",
         ""},
        {{"analyze", "--json", "--scan-type=8", "02103822"},
         0,
         "{\"text\":\"02103822\",\"candidates\":[\"EAN8\"]}\n",
         ""},
        {{"analyze", "--json", "caf\xc3\xa9\t1"},
         1,
         "{\"text\":\"caf\xc3\xa9\\t1\",\"candidates\":[]}\n",
         "'\xc3\xa9' (U+00E9) is not a character codes are written in"},
    });
}

TEST(CliAnalyze, ReadableTable)
{
    RunCases({
        {{"analyze", "ACME/123", "4361670358", "!x"},
         1,
         "TEXT        CANDIDATES\n"
         "ACME/123    VANITY\n"
         "4361670358  VANTREL ISBN\n"
         "!x          -\n",
         ""},
    });
}

TEST(CliAnalyze, BadUsage)
{
    RunCases({
        {{"analyze"}, 2, "", "no text to analyse"},
        {{"analyze", "--json"}, 2, "", "no text to analyse"},
        {{"analyze", "--scan-type", "five", "1"}, 2, "", "--scan-type needs a whole number"},
        {{"analyze", "--scan-type", "99999999999", "1"}, 2, "", "--scan-type needs a whole number"},
        {{"analyze", "--scan-type"}, 2, "", "option --scan-type needs a value"},
        {{"analyze", "--typed", "1"}, 2, "", "unknown option --typed"},
    });
}

TEST(CliConstruct, ContentsObjectOrErrorWithExitOne)
{
    RunCases({
        {{"construct", "--json", "--type", "UPCE", "042100", "00526", "12"},
         0,
         "{\"SCODE\":\"04252614\",\"RCODE\":\"04252614\",\"CODE\":\"042100005264\",\"SID\":\"042100\","
         "\"RSID\":\"042100\",\"IID\":\"00526\",\"RIID\":\"00526\",\"XID\":\"12\",\"TYPE\":\"UPC\","
         "\"CODETYPE\":\"UPCE\"}\n",
         ""},
        {{"construct", "--json", "--type", "vantrel", "000123", "0042"},
         0,
         "{\"SCODE\":\"13258528\",\"RCODE\":\"13258528\",\"CODE\":\"13258528\",\"SID\":\"000123\","
         "\"RSID\":\"000123\",\"IID\":\"0042\",\"RIID\":\"0042\",\"XID\":\"\",\"TYPE\":\"VANTREL\","
         "\"CODETYPE\":\"VANTREL\"}\n",
         ""},
        {{"construct", "--json", "--type", "UPCE", "042100", "10526"},
         1,
         "{\"error\":\"VTToolkitException: Invalid code: Invalid code format\"}\n",
         "VTToolkitException: Invalid code: Invalid code format"},
        {{"construct", "--type", "upc", "", "1"},
         1,
         "",
         "VTToolkitException: Invalid code: Invalid character(s) in ServerID"},
        {{"construct", "--type", "BookLand", "030640", "615"},
         0,
         "FIELD     VALUE\n"
         "SCODE     9780306406157\n"
         "RCODE     9780306406157\n"
         "CODE      9780306406157\n"
         "SID       030640\n"
         "RSID      030640\n"
         "IID       615\n"
         "RIID      615\n"
         "XID       -\n"
         "TYPE      BOOKLAND\n"
         "CODETYPE  BOOKLAND\n",
         ""},
    });
}

TEST(CliConstruct, BadUsage)
{
    RunCases({
        {{"construct", "1", "2"}, 2, "", "--type NAME is required"},
        {{"construct", "--type", "UNKNOWN", "1", "2"}, 2, "", "unknown code type 'UNKNOWN'"},
        {{"construct", "--type", "EAN14", "1", "2"}, 2, "", "unknown code type 'EAN14'"},
        {{"construct", "--type", "EAN8", "1"}, 2, "", "needs SID, IID and an optional XID"},
        {{"construct", "--type", "EAN8", "1", "2", "3", "4"}, 2, "", "needs SID, IID and an optional XID"},
    });
}

TEST(CliDecompose, ContentsWithDisplayText)
{
    RunCases({
        {{"decompose", "--json", "--type", "UPCA", "--format", "000000000000,099999999999,0,6,6,5",
          "0-36000-29145-2"},
         0,
         "{\"SCODE\":\"036000291452\",\"RCODE\":\"036000291452\",\"CODE\":\"036000291452\",\"SID\":"
         "\"036000\","
         "\"RSID\":\"036000\",\"IID\":\"29145\",\"RIID\":\"29145\",\"XID\":\"\",\"TYPE\":\"UPC\","
         "\"CODETYPE\":\"UPCA\",\"display\":\"0 36000 29145 2\"}\n",
         ""},
        {{"decompose", "--json", "--type", "isbn", "--format", "0,9,0,1,1,5,X.XXXXXX.XX,X", "080442957x"},
         0,
         "{\"SCODE\":\"080442957x\",\"RCODE\":\"080442957x\",\"CODE\":\"080442957x\",\"SID\":\"0\","
         "\"RSID\":\"0\",\"IID\":\"80442\",\"RIID\":\"80442\",\"XID\":\"\",\"TYPE\":\"ISBN\","
         "\"CODETYPE\":\"ISBN\",\"display\":\"0.804429.57,x\"}\n",
         ""},
        {{"decompose", "--json", "--type", "VANTREL", "6878-1305-3406"},
         0,
         "{\"SCODE\":\"687813053406\",\"RCODE\":\"6878-1305-3406\",\"CODE\":\"687813053406\",\"SID\":"
         "\"12345\","
         "\"RSID\":\"12345\",\"IID\":\"678\",\"RIID\":\"678\",\"XID\":\"\",\"TYPE\":\"VANTREL\","
         "\"CODETYPE\":\"VANTREL\",\"display\":\"6878-1305-3406\"}\n",
         ""},
        {{"decompose", "--json", "--type", "VANITY", "ACME / 12"},
         0,
         "{\"SCODE\":\"ACME/12\",\"RCODE\":\"ACME / 12\",\"CODE\":\"ACME/12\",\"SID\":\"ACME\","
         "\"RSID\":\"ACME\",\"IID\":\"12\",\"RIID\":\"12\",\"XID\":\"\",\"TYPE\":\"VANITY\","
         "\"CODETYPE\":\"VANITY\",\"display\":\"ACME / 12\"}\n",
         ""},
        {{"decompose", "--type", "UPCE", "0425261412"},
         0,
         "FIELD     VALUE\n"
         "SCODE     04252614\n"
         "RCODE     04252614\n"
         "CODE      042100005264\n"
         "SID       042100\n"
         "RSID      042100\n"
         "IID       00526\n"
         "RIID      00526\n"
         "XID       12\n"
         "TYPE      UPC\n"
         "CODETYPE  UPCE\n"
         "display   0 425261 412\n",
         ""},
        {{"decompose", "--json", "--type", "UPCA", "036000291452"},
         1,
         "{\"error\":\"VTToolkitException: Invalid code: Routing ID length\"}\n",
         "Routing ID length"},
        {{"decompose", "--json", "--type", "EAN13", "--format", "0,9,0,1,1,20", "4006381333931"},
         1,
         "{\"error\":\"VTToolkitException: Invalid code: Invalid CodeFormat\"}\n",
         "Invalid CodeFormat"},
    });
}

TEST(CliDecompose, BadUsage)
{
    RunCases({
        {{"decompose", "036000291452"}, 2, "", "--type NAME is required"},
        {{"decompose", "--type", "UPCA"}, 2, "", "needs exactly one TEXT"},
        {{"decompose", "--type", "UPCA", "1", "2"}, 2, "", "needs exactly one TEXT"},
        {{"decompose", "--type", "UPCA", "--format", "0,9,0,6,6", "036000291452"}, 2, "", "--format needs"},
        {{"decompose", "--type", "UPCA", "--format", "0,9,a,6,6,5", "036000291452"}, 2, "", "--format needs"},
        {{"decompose", "--type", "UPCA", "--format", "0,9,0,6,6,99999999999", "1"}, 2, "", "--format needs"},
    });
}

// A code is written in printable ASCII: any other character is named, and
// nothing is split off in front of it.
TEST(CliCodes, TextsOutsidePrintableAsciiAreRefusedNamingTheCharacter)
{
    const std::string accent =
        "'\xC3\xA9' (U+00E9) is not a character codes are written in (printable ASCII)";
    RunCases({
        {{"decompose", "--json", "--type", "VANITY",
          "Caf\xC3\xA9/\xC3\x9Cn\xC3\xAF"
          "code"},
         1,
         "{\"error\":\"'Caf\xC3\xA9/\xC3\x9Cn\xC3\xAF"
         "code': " +
             accent + "\"}\n",
         accent},
        {{"construct", "--type", "VANITY", "ACME", "\xF0\x9F\x98\x80"},
         1,
         "",
         "'\xF0\x9F\x98\x80' (U+1F600) is not a character codes are written in"},
        {{"construct", "--json", "--type", "VANITY", "Caf\xE9", "x"},
         1,
         "{\"error\":\"'Caf\\\\xe9': the byte \\\\xe9 is not UTF-8, and codes are written in ASCII\"}\n",
         "'Caf\\xe9': the byte \\xe9 is not UTF-8"},
        {{"analyze", "--tsv", "x\x01y"},
         1,
         "TEXT\tCANDIDATES\nx\\x01y\t\n",
         "'x\\x01y': '\\x01' (U+0001) is not a character codes are written in"},
    });
}

} // namespace

// The help a user asks for, in every form, and the names of the code types
// as the options take them.
#include "tests/support/runprogram.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const std::vector<std::string> kCommands = {"analyze", "attach", "construct", "decompose",
                                            "resolve", "scan",   "send"};

TEST(CliHelp, EverySubcommandHasItsHelpInEveryForm)
{
    for (const std::string& command : kCommands) {
        SCOPED_TRACE(command);
        const ProgramResult asked = RunProgram(LUMORA_CLI_PATH, {"help", command});
        EXPECT_EQ(asked.exitStatus, 0);
        EXPECT_EQ(asked.err, "");
        EXPECT_TRUE(asked.out.starts_with("usage: lumora-cli " + command + " ")) << asked.out;
        EXPECT_NE(asked.out.find("--json"), std::string::npos);
        EXPECT_NE(asked.out.find("Exit status: 0 success"), std::string::npos);
        // The same help after the subcommand, wherever the flag stands
        // before "--"; the other words are not looked at.
        const std::vector<std::vector<std::string>> forms = {
            {command, "-h"},
            {command, "--help"},
            {command, "--json", "x", "--help"},
            {command, "--bogus", "-h"},
        };
        for (const auto& form : forms) {
            const ProgramResult result = RunProgram(LUMORA_CLI_PATH, form);
            EXPECT_EQ(result.exitStatus, 0) << testing::PrintToString(form);
            EXPECT_EQ(result.out, asked.out) << testing::PrintToString(form);
            EXPECT_EQ(result.err, "");
        }
    }
}

TEST(CliHelp, EveryOptionOfASubcommandIsExplained)
{
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"analyze", {"--scanned", "--scan-type N", "--file FILE", "--tsv"}},
        {"attach", {"--server-dat FILE", "--password-stdin"}},
        {"construct", {"--type NAME"}},
        {"decompose", {"--type NAME", "--format"}},
        {"resolve",
         {"--descriptions", "--offline", "--server-dat FILE", "--cache-dir DIR", "--uid BLINDED",
          "--proxy HOST:PORT", "--proxy-user U", "--proxy-password P", "--file FILE"}},
        {"scan", {"--scanner N", "--port COMn|DEVICE", "--detect", "--once", "--timeout SECONDS"}},
        {"send", {"--type LETTER"}},
    };
    for (const auto& [command, options] : cases) {
        const std::string help = RunProgram(LUMORA_CLI_PATH, {command, "--help"}).out;
        const std::string usage = help.substr(0, help.find('\n'));
        const std::string body = help.substr(usage.size());
        for (const std::string& option : options) {
            const std::string name = option.substr(0, option.find(' '));
            EXPECT_NE(usage.find(name), std::string::npos) << command << " usage lacks " << name;
            EXPECT_NE(body.find(option), std::string::npos) << command << " help lacks " << option;
        }
    }
}

TEST(CliHelp, OverviewListsTheSubcommandsWithALineEach)
{
    const ProgramResult overview = RunProgram(LUMORA_CLI_PATH, {"help"});
    EXPECT_EQ(overview.exitStatus, 0);
    for (const std::string& command : kCommands)
        EXPECT_NE(overview.out.find("\n  " + command + " "), std::string::npos) << command;
    for (const char* form : {"--help", "-h"}) {
        const ProgramResult result = RunProgram(LUMORA_CLI_PATH, {form});
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.out, overview.out);
    }

    // Bad usage shows the overview on standard error, never on standard output.
    const std::vector<std::vector<std::string>> bad = {{}, {"frobnicate"}, {"help", "frobnicate"}};
    for (const auto& args : bad) {
        const ProgramResult result = RunProgram(LUMORA_CLI_PATH, args);
        EXPECT_EQ(result.exitStatus, 2) << testing::PrintToString(args);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("Commands:\n"), std::string::npos) << result.err;
    }
}

// The types as the toolkit names them, in any case and with dashes; an
// unknown name is refused with the list.
TEST(CliHelp, CodeTypeNames)
{
    const std::pair<std::string, std::string> accepted[] = {
        {"UPCA", "UPCA"},
        {"upc-a", "UPCA"},
        {"UPC", "UPCA"},
        {"Ean-13", "EAN13"},
        {"ean8", "EAN8"},
        {"BookLand", "BOOKLAND"},
        {"V-A-N-T-R-E-L", "VANTREL"},
    };
    const std::map<std::string, std::vector<std::string>> ids = {
        {"UPCA", {"036000", "29145"}},   {"EAN13", {"4006381", "33393"}}, {"EAN8", {"9638", "507"}},
        {"BOOKLAND", {"030640", "615"}}, {"VANTREL", {"000123", "0042"}},
    };
    for (const auto& [name, type] : accepted) {
        std::vector<std::string> args{"construct", "--json", "--type", name};
        args.insert(args.end(), ids.at(type).begin(), ids.at(type).end());
        const ProgramResult result = RunProgram(LUMORA_CLI_PATH, args);
        EXPECT_EQ(result.exitStatus, 0) << name << ": " << result.err;
        EXPECT_NE(result.out.find("\"CODETYPE\":\"" + type + "\""), std::string::npos) << name << result.out;
    }
    for (const std::string name : {"EAN14", "-", "QR"}) {
        const ProgramResult result = RunProgram(LUMORA_CLI_PATH, {"decompose", "--type", name, "1"});
        EXPECT_EQ(result.exitStatus, 2) << name;
        EXPECT_NE(result.err.find("unknown code type '" + name +
                                  "'; the types are VANTREL, UPCA, UPCE, EAN13, "
                                  "EAN8, ISBN, VANITY, BOOKLAND, NUMI, URL"),
                  std::string::npos)
            << result.err;
    }
}

// A text that begins with "-" is a code only after "--".
TEST(CliHelp, DashedTextsGoAfterTheEndOfOptions)
{
    const ProgramResult refused = RunProgram(LUMORA_CLI_PATH, {"analyze", "-12345"});
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_NE(refused.err.find("unknown option -12345 (a text that begins with '-' goes after '--')"),
              std::string::npos)
        << refused.err;
    const ProgramResult taken = RunProgram(LUMORA_CLI_PATH, {"analyze", "--json", "--", "-12345", "--help"});
    EXPECT_EQ(taken.exitStatus, 0) << taken.err;
    EXPECT_EQ(taken.out, "{\"text\":\"-12345\",\"candidates\":[\"NUMI\"]}\n"
                         "{\"text\":\"--help\",\"candidates\":[\"VANITY\"]}\n");
}

} // namespace

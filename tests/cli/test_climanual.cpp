// The manual page as the build leaves it: it formats without a warning and
// covers every subcommand with its options, its JSON keys and the exit
// statuses, as the program itself has them.
#include "tests/support/runprogram.h"
#include "tests/support/scopedenv.h"
#include "tests/support/temphome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

const std::filesystem::path kSource = std::filesystem::path(LUMORA_SOURCE_DIR) / "docs/lumora-cli.1";

bool Installed(const char* program)
{
    return RunProgram("/bin/sh", {"-c", std::string("command -v ") + program}).exitStatus == 0;
}

// The page as man shows it, in ASCII, neither hyphenated nor justified.
std::string Rendered()
{
    ScopedEnv locale("LC_ALL", "C");
    ScopedEnv width("MANWIDTH", "100");
    const ProgramResult man = RunProgram("/usr/bin/env", {"man", "--nh", "--nj", "-l", LUMORA_CLI_MANPAGE});
    EXPECT_EQ(man.exitStatus, 0) << man.err;
    return man.out;
}

// The text of a subcommand's part of COMMANDS: its heading line to the next heading.
std::string Section(const std::string& page, const std::string& command)
{
    const auto start = page.find("\n   " + command + " ");
    if (start == std::string::npos)
        return "";
    std::smatch next;
    const std::string rest = page.substr(start + 1);
    const std::regex heading("\n(   )?[^ \n]");
    return std::regex_search(rest, next, heading) ? rest.substr(0, next.position(0)) : rest;
}

// The options a usage line names: "[--type NAME]" gives "--type".
std::set<std::string> UsageOptions(const std::string& usage)
{
    std::set<std::string> options;
    const std::regex option("--[a-z][a-z-]*");
    for (std::sregex_iterator it(usage.begin(), usage.end(), option), end; it != end; ++it)
        options.insert(it->str());
    return options;
}

// The keys of the JSON objects in `lines`.
std::set<std::string> JsonKeys(const std::string& lines)
{
    std::set<std::string> keys;
    const std::regex key("[{,]\"([A-Za-z]+)\":");
    for (std::sregex_iterator it(lines.begin(), lines.end(), key), end; it != end; ++it)
        keys.insert((*it)[1].str());
    return keys;
}

TEST(CliManual, FormatsWithoutWarnings)
{
    if (!Installed("groff"))
        GTEST_SKIP() << "groff is not installed";
    for (const char* device : {"-Tutf8", "-Tascii"}) {
        const ProgramResult result =
            RunProgram("/usr/bin/env", {"groff", "-man", device, "-ww", "-z", kSource.string()});
        EXPECT_EQ(result.exitStatus, 0) << device;
        EXPECT_EQ(result.err, "") << device;
    }
}

TEST(CliManual, CoversEverySubcommandItsOptionsKeysAndExitStatuses)
{
    if (!Installed("man"))
        GTEST_SKIP() << "man is not installed";
    const TempHome home;
    const std::string page = Rendered();
    ASSERT_NE(page.find("LUMORA-CLI(1)"), std::string::npos) << page;

    // What the program prints, run offline where it needs no server.
    const std::string serverDat = (std::filesystem::path(LUMORA_SOURCE_DIR) / "data/Server.dat").string();
    const std::map<std::string, std::string> printed = {
        {"analyze", RunProgram(LUMORA_CLI_PATH, {"analyze", "--json", "036000291452"}).out},
        {"construct",
         RunProgram(LUMORA_CLI_PATH, {"construct", "--json", "--type", "EAN8", "9638", "507"}).out},
        {"decompose", RunProgram(LUMORA_CLI_PATH, {"decompose", "--json", "--type", "EAN8", "96385074"}).out},
        {"resolve", RunProgram(LUMORA_CLI_PATH,
                               {"resolve", "--json", "--offline", "--uid", "116306380970205", "--server-dat",
                                serverDat, "--cache-dir", (home.Dir() / "caches").string(), "#1"})
                        .out},
        {"attach", R"({"attached":1,"uid":"1","appid":"PC","login":"demo"})"},
        {"scan", R"({"type":4,"text":"5901234123457"}{"found":1})"},
        {"send", R"({"type":0,"text":"V12"})"},
    };
    for (const auto& [command, output] : printed) {
        SCOPED_TRACE(command);
        const std::string section = Section(page, command);
        ASSERT_FALSE(section.empty()) << "no part for " << command;
        const std::string help = RunProgram(LUMORA_CLI_PATH, {"help", command}).out;
        for (const std::string& option : UsageOptions(help.substr(0, help.find('\n'))))
            if (option != "--json" && option != "--tsv") {
                EXPECT_NE(section.find(option), std::string::npos) << option << "\n" << section;
            }
        const std::set<std::string> keys = JsonKeys(output);
        EXPECT_FALSE(keys.empty()) << output;
        for (const std::string& key : keys)
            EXPECT_NE(section.find("\"" + key + "\":"), std::string::npos) << key << "\n" << section;
    }
    for (const char* common : {"--json", "--tsv", "--help", "--file", "EXIT STATUS", "CODE TYPES"})
        EXPECT_NE(page.find(common), std::string::npos) << common;
    // The type names the program knows, as its refusal lists them.
    const std::string refusal = RunProgram(LUMORA_CLI_PATH, {"construct", "--type", "nothing", "1", "2"}).err;
    const std::string types = page.substr(page.find("\nCODE TYPES"));
    const std::regex name("[A-Z][A-Z0-9]+");
    const auto listStart = refusal.find("the types are ");
    ASSERT_NE(listStart, std::string::npos) << refusal;
    const std::string listed = refusal.substr(listStart, refusal.find('\n') - listStart);
    for (std::sregex_iterator it(listed.begin(), listed.end(), name), end; it != end; ++it)
        EXPECT_NE(types.find(it->str()), std::string::npos) << it->str();
    const auto exits = page.substr(page.find("\nEXIT STATUS"));
    for (const char* status : {"\n       0 ", "\n       1 ", "\n       2 "})
        EXPECT_NE(exits.find(status), std::string::npos) << status << exits;
}

} // namespace

// Tables as a person sees them on a terminal and as a script reads them
// from a pipe: capped to the terminal, whole in a pipe, tab-separated values
// that Python's csv module reads back.
#include "tests/cli/cliprocess.h"
#include "tests/cli/clirefserver.h"
#include "tests/support/scopedenv.h"
#include "tools/cli/clitable.h"

#include <filesystem>

namespace {

const std::vector<std::string> kCodes = {"036000291452", "PRINTSHOP/SPRING", "4006381333931", "#1"};

class CliOutput : public RefServerCliTest {
protected:
    std::vector<std::string> ResolveArgs(const std::vector<std::string>& extra) const
    {
        std::vector<std::string> args{
            "resolve",          "--uid", kDemoUser, "--server-dat", m_serverDat.string(), "--cache-dir",
            m_cacheDir.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), kCodes.begin(), kCodes.end());
        return args;
    }

    std::filesystem::path m_cacheDir = m_home.Dir() / "caches";
};

// The lines a terminal showed, without the CR its line discipline adds.
std::vector<std::string> TerminalLines(const std::string& shown)
{
    std::vector<std::string> lines = Lines(shown);
    for (std::string& line : lines)
        if (line.ends_with('\r'))
            line.pop_back();
    return lines;
}

TEST_F(CliOutput, TablesFitTheTerminalAndStayWholeInAPipe)
{
    CliProcess terminal(ResolveArgs({"--descriptions"}), CliStreams{false, "", 80});
    EXPECT_EQ(terminal.Wait(), 1) << terminal.Stdout();
    const auto shown = TerminalLines(terminal.Stdout());
    ASSERT_GE(shown.size(), kCodes.size() + 1) << terminal.Stdout();
    EXPECT_TRUE(shown[0].starts_with("CODE")) << shown[0];
    for (std::size_t i = 0; i <= kCodes.size(); ++i) {
        EXPECT_LE(DisplayWidth(shown[i]), 80u) << shown[i];
        if (i > 0) {
            EXPECT_TRUE(shown[i].starts_with(kCodes[i - 1].substr(0, 4))) << shown[i];
        }
    }
    EXPECT_NE(terminal.Stdout().find("\u2026"), std::string::npos) << "long values are shortened";
    EXPECT_NE(terminal.Stdout().find("3 of 4 codes linked; 1 failed: see the ERROR column"),
              std::string::npos)
        << terminal.Stdout();

    // In a pipe nothing is cut: each row holds the whole address and description.
    CliProcess pipe(ResolveArgs({"--descriptions"}));
    EXPECT_EQ(pipe.Wait(), 1) << pipe.Stderr();
    const auto rows = Lines(pipe.Stdout());
    ASSERT_EQ(rows.size(), kCodes.size() + 1) << pipe.Stdout();
    EXPECT_EQ(pipe.Stdout().find("\u2026"), std::string::npos);
    EXPECT_NE(rows[1].find(m_base + "item?type=UPCA&sid=036000&iid=29145&user="), std::string::npos)
        << rows[1];
    EXPECT_NE(rows[1].find("Oat Crunch cereal, 500 g"), std::string::npos) << rows[1];
    EXPECT_GT(DisplayWidth(rows[1]), 80u);
    EXPECT_NE(rows[4].find("1 no type"), std::string::npos)
        << "statuses by name beside the number: " << rows[4];
    EXPECT_NE(rows[4].find("  -  "), std::string::npos) << "empty cells show '-': " << rows[4];
}

// What a script reads back with Python's csv module is what the JSON
// lines say, empty cells empty, one row per code.
TEST_F(CliOutput, TabSeparatedValuesReadBackWithPythonsCsvModule)
{
    CliProcess tsv(ResolveArgs({"--tsv"}));
    EXPECT_EQ(tsv.Wait(), 1) << tsv.Stderr();
    CliProcess json(ResolveArgs({"--json"}));
    EXPECT_EQ(json.Wait(), 1) << json.Stderr();
    const std::string file = m_home.Dir().WriteFile("out.tsv", tsv.Stdout()).string();
    // Each cell as "COLUMN=value", a row a line.
    const std::string reader = "import csv, sys\n"
                               "rows = list(csv.DictReader(open(sys.argv[1], newline=''), delimiter='\\t',\n"
                               "                           quoting=csv.QUOTE_NONE))\n"
                               "for row in rows:\n"
                               "    print('|'.join(k + '=' + v for k, v in row.items()))\n";
    const ProgramResult read = RunProgram("/usr/bin/env", {"python3", "-c", reader, file});
    ASSERT_EQ(read.exitStatus, 0) << read.err;
    const auto rows = Lines(read.out);
    const auto objects = Lines(json.Stdout());
    ASSERT_EQ(rows.size(), kCodes.size()) << read.out;
    ASSERT_EQ(objects.size(), kCodes.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i]);
        const std::string status = Field(objects[i], "status");
        for (const auto& [column, key] : std::vector<std::pair<std::string, std::string>>{{"CODE", "code"},
                                                                                          {"TYPE", "type"},
                                                                                          {"SID", "sid"},
                                                                                          {"IID", "iid"},
                                                                                          {"URL", "url"},
                                                                                          {"ERROR", "error"}})
            EXPECT_NE(("|" + rows[i] + "|").find("|" + column + "=" + Field(objects[i], key) + "|"),
                      std::string::npos)
                << column;
        EXPECT_NE(rows[i].find("|STATUS=" + status + " "), std::string::npos);
    }
    EXPECT_NE(rows[3].find("|SID=|"), std::string::npos) << "an empty cell stays empty";
}

// Control characters in what the table shows are escapes, so a code cannot
// move the cursor or recolour the terminal; JSON keeps the text as it is.
TEST_F(CliOutput, ControlCharactersInCellsAreEscaped)
{
    const std::string code = "ab\x1b[31m\a\rcd";
    for (const std::string& flag : {std::string("--tsv"), std::string()}) {
        std::vector<std::string> args{"analyze"};
        if (!flag.empty())
            args.push_back(flag);
        args.push_back(code);
        const ProgramResult result = RunProgram(LUMORA_CLI_PATH, args);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(Lines(result.out).at(1).substr(0, 14), "ab\\e[31m\\a\\rcd") << result.out;
        EXPECT_EQ(result.out.find_first_of("\x1b\a\r"), std::string::npos) << result.out;
        EXPECT_EQ(result.err.find_first_of("\x1b\a\r"), std::string::npos) << result.err;
    }
    const ProgramResult json = RunProgram(LUMORA_CLI_PATH, {"analyze", "--json", code});
    EXPECT_EQ(json.out, "{\"text\":\"ab\\u001b[31m\\u0007\\rcd\",\"candidates\":[]}\n");
}

// The README's pipe example, as a reader copies it, with lumora-cli on PATH
// and the user's own Server.dat pointing at the test's reference server.
TEST_F(CliOutput, ReadmePipeExampleRuns)
{
    if (RunProgram("/bin/sh", {"-c", "command -v jq"}).exitStatus != 0)
        GTEST_SKIP() << "jq is not installed (scripts/install-deps.sh installs it)";
    const std::string readme = TempDir::ReadFile(std::filesystem::path(LUMORA_SOURCE_DIR) / "README.md");
    const auto section = readme.find("\n## The command line\n");
    ASSERT_NE(section, std::string::npos);
    const auto start = readme.find("```sh\n", section);
    ASSERT_NE(start, std::string::npos);
    const auto end = readme.find("```\n", start + 6);
    const std::string example = readme.substr(start + 6, end - start - 6);
    ASSERT_NE(example.find("lumora-cli resolve --json - | jq "), std::string::npos) << example;

    m_home.Dir().WriteFile("home/.local/share/lumora/Server.dat", TempDir::ReadFile(m_serverDat));
    const std::string path = std::filesystem::path(LUMORA_CLI_PATH).parent_path().string() + ":" +
                             (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    ScopedEnv onPath("PATH", path.c_str());
    const ProgramResult run = RunProgram("/bin/bash", {"-eu", "-c", example});
    // One code has no type: resolve exits 1, the pipe's status is jq's, and
    // the addresses of the others come through.
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out << run.err;
    const std::pair<std::string, std::string> expected[] = {
        {"036000291452", "item?type=UPCA&sid=036000&iid=29145&user="},
        {"4006381333931", "item?type=EAN13&sid=4006381&iid=33393&user="},
        {"PRINTSHOP / SPRING", "item?type=VANITY&sid=PRINTSHOP&iid=SPRING&user="},
    };
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].starts_with(expected[i].first + "\t" + m_base + expected[i].second)) << lines[i];
    EXPECT_NE(run.err.find("3 of 4 codes linked; 1 failed"), std::string::npos) << run.err;
}

} // namespace

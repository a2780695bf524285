// Codes for analyze and resolve from a file or a pipe, as scripts feed them.
#include "tests/cli/cliprocess.h"
#include "tests/cli/clirefserver.h"

#include <chrono>
#include <filesystem>

namespace {

// Sample codes of the reference data, over and over: a long list of codes
// the server knows, some written with blanks.
const std::vector<std::string> kCodes = {"036000291452", "UPCE:04252614",    "4006381333931",   "96385074",
                                         "080442957X",   "PRINTSHOP/SPRING", "0 36000 29145 2", "NUMI:42"};

class CliInput : public RefServerCliTest {
protected:
    std::vector<std::string> ResolveArgs(std::vector<std::string> extra) const
    {
        std::vector<std::string> args{
            "resolve",          "--uid", kDemoUser, "--server-dat", m_serverDat.string(), "--cache-dir",
            m_cacheDir.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    // `count` codes, one a line, in a file of the test's.
    std::string CodeFile(std::size_t count, const std::string& name = "codes.txt") const
    {
        std::string lines;
        for (std::size_t i = 0; i < count; ++i)
            lines += kCodes[i % kCodes.size()] + "\n";
        return m_home.Dir().WriteFile(name, lines).string();
    }

    // Runs lumora-cli with standard input from `input`; records how long it took.
    static int Run(CliProcess& cli, const std::string& what)
    {
        const auto start = std::chrono::steady_clock::now();
        const int status = cli.Wait(CliProcess::Ms(120000));
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        testing::Test::RecordProperty(what + "_seconds", std::to_string(took.count()));
        std::cout << what << ": " << took.count() << " s\n";
        return status;
    }

    std::filesystem::path m_cacheDir = m_home.Dir() / "caches";
};

// Thousands of codes, more than a command line could hold, from standard
// input ("-", or no CODE at all) and from --file: every one comes back, in order.
TEST_F(CliInput, FiveThousandCodesFromAPipeOrAFile)
{
    constexpr std::size_t kCount = 5000;
    const std::string file = CodeFile(kCount);
    const struct {
        std::string what;
        std::vector<std::string> args;
        std::string input;
    } cases[] = {
        {"resolve_stdin_dash", ResolveArgs({"--json", "-"}), file},
        {"resolve_stdin_no_code", ResolveArgs({"--json"}), file},
        {"resolve_file", ResolveArgs({"--json", "--file", file}), ""},
        {"resolve_file_dash", ResolveArgs({"--json", "--file", "-"}), file},
        {"analyze_stdin", {"analyze", "--json", "-"}, file},
        {"analyze_file", {"analyze", "--json", "--file", file}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CliProcess cli(c.args, CliStreams{false, c.input.empty() ? "/dev/null" : c.input, 0});
        ASSERT_EQ(Run(cli, c.what), 0) << cli.Stderr().substr(0, 2000);
        const auto lines = Lines(cli.Stdout());
        ASSERT_EQ(lines.size(), kCount);
        for (std::size_t i = 0; i < kCount; i += 997) {
            EXPECT_EQ(Field(lines[i], c.what.starts_with("resolve") ? "code" : "text"),
                      kCodes[i % kCodes.size()]);
            if (c.what.starts_with("resolve")) {
                EXPECT_EQ(Field(lines[i], "status"), "19") << lines[i];
            }
        }
    }
}

// A line is one code, blanks and all; blank lines and the CR of CR LF line
// ends are not codes.
TEST_F(CliInput, LinesKeepTheirBlanks)
{
    const std::string file = m_home.Dir()
                                 .WriteFile("blanks.txt", "0 36000 29145 2\r\n\n   \n"
                                                          "PRINTSHOP / SPRING\n\t\nNUMI:42")
                                 .string();
    CliProcess cli(ResolveArgs({"--json", "--file", file}));
    EXPECT_EQ(cli.Wait(), 0) << cli.Stderr();
    const auto lines = Lines(cli.Stdout());
    ASSERT_EQ(lines.size(), 3u) << cli.Stdout();
    const std::pair<std::string, std::string> expected[] = {
        {"0 36000 29145 2", "036000"}, {"PRINTSHOP / SPRING", "PRINTSHOP"}, {"NUMI:42", "NUMI"}};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(Field(lines[i], "code"), expected[i].first);
        EXPECT_EQ(Field(lines[i], "sid"), expected[i].second);
        EXPECT_EQ(Field(lines[i], "status"), "19") << lines[i];
    }
}

TEST_F(CliInput, WrongInputIsRefused)
{
    const std::string file = CodeFile(2);
    const std::string missing = (m_home.Dir() / "missing.txt").string();
    const struct {
        std::vector<std::string> args;
        int status;
        std::string error;
    } cases[] = {
        {ResolveArgs({"--file", file, "42"}), 2,
         "give the codes either as arguments or with --file, not both"},
        {{"analyze", "--file", file, "-"}, 2, "give the codes either as arguments or with --file, not both"},
        {{"analyze", "42", "-"}, 2, "'-' (standard input) must be the only code argument"},
        {{"analyze", "--file", missing}, 1, "cannot read " + missing + ": No such file or directory"},
        {ResolveArgs({"--file", missing}), 1, "cannot read " + missing + ": No such file or directory"},
        {{"analyze", "--file", m_home.Dir().WriteFile("empty.txt", "\n\n").string()},
         2,
         "no text to analyse"},
        {ResolveArgs({"-"}), 2, "at least one CODE is required"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        CliProcess cli(c.args, CliStreams{false, "/dev/null", 0});
        EXPECT_EQ(cli.Wait(), c.status);
        EXPECT_NE(cli.Stderr().find(c.error), std::string::npos) << cli.Stderr();
        EXPECT_EQ(cli.Stdout(), "");
    }
}

// On a terminal a run without codes is bad usage at once; it never waits
// for lines the user did not mean to type.
TEST_F(CliInput, NoCodeOnATerminalIsBadUsage)
{
    for (const auto& args : {std::vector<std::string>{"analyze"}, ResolveArgs({})}) {
        CliProcess cli(args, CliStreams{false, "", 80});
        EXPECT_EQ(cli.Wait(CliProcess::Ms(5000)), 2) << cli.Stdout();
        EXPECT_NE(cli.Stdout().find("usage: lumora-cli " + args.front()), std::string::npos) << cli.Stdout();
    }
}

} // namespace

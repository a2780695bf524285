// lumora-cli resolve as a user runs it: the built program against the real
// reference server with its sample data, a throw-away home for the stored
// identity and a cache folder of its own.
#include "client/config.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "tests/cli/clirefserver.h"
#include "tests/support/ptydevice.h"
#include "tests/support/tinyproxy.h"

#include <filesystem>
#include <sys/wait.h>
#include <utility>

namespace {

struct Sample {
    std::string argument;
    std::string type;
    std::string sid;
    std::string iid;
    std::string description;
};

// Sample codes of the reference data, one or more of every type.
const std::vector<Sample> kSamples = {
    {"036000291452", "UPCA", "036000", "29145", "Oat Crunch cereal, 500 g"},
    {"UPCE:04252614", "UPCE", "042100", "00526", "Pretzel bites, 60 g"},
    {"4006381333931", "EAN13", "4006381", "33393", "Fine-liner pen, black"},
    {"4006381123457", "EAN13", "4006381", "12345", "Highlighter, yellow"},
    {"96385074", "EAN8", "9638", "507", "Green tea, 20 bags"},
    {"080442957X", "ISBN", "08044", "2957", "Field Guide to Printed Codes"},
    {"9780306406157", "BOOKLAND", "030640", "615", "Handbook of Linked Print"},
    {"NUMI:42", "NUMI", "NUMI", "42", "Weekly offers"},
    {"PRINTSHOP/SPRING", "VANITY", "PRINTSHOP", "SPRING", "Print Shop spring catalogue"},
    {"VANTREL:687813053406", "VANTREL", "12345", "678", "Article: linking print to the web"},
    {"vantrel:237659", "VANTREL", "1", "5", "Lumora Short Links"},
};

class CliResolve : public RefServerCliTest {
protected:
    ProgramResult Resolve(std::vector<std::string> args, bool withUid = true)
    {
        args.insert(args.begin(),
                    {"resolve", "--server-dat", m_serverDat.string(), "--cache-dir", m_cacheDir.string()});
        if (withUid)
            args.insert(args.begin() + 1, {"--uid", kDemoUser});
        return RunProgram(LUMORA_CLI_PATH, args);
    }

    // --json, the flag if any, and every sample code.
    std::vector<std::string> SampleArguments(const std::string& flag = {}) const
    {
        std::vector<std::string> args{"--json"};
        if (!flag.empty())
            args.push_back(flag);
        for (const Sample& sample : kSamples)
            args.push_back(sample.argument);
        return args;
    }

    // Every sample resolved to the reference server's page of its item.
    void ExpectResolved(const ProgramResult& result, bool descriptions)
    {
        const auto lines = Lines(result.out);
        ASSERT_EQ(lines.size(), kSamples.size()) << result.out << result.err;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Sample& sample = kSamples[i];
            SCOPED_TRACE(sample.argument);
            const std::string& line = lines[i];
            EXPECT_EQ(Field(line, "type"), sample.type);
            EXPECT_EQ(Field(line, "sid"), sample.sid);
            EXPECT_EQ(Field(line, "iid"), sample.iid);
            EXPECT_TRUE(Field(line, "url")
                            .starts_with(m_base + "item?type=" + sample.type + "&sid=" + sample.sid +
                                         "&iid=" + sample.iid + "&user="))
                << line;
            const bool unlinked = sample.description == "Lumora Short Links";
            EXPECT_EQ(Field(line, "status"), !descriptions ? "19" : unlinked ? "15" : "19");
            EXPECT_EQ(Field(line, "description"), descriptions ? sample.description : "");
            EXPECT_EQ(Field(line, "error"), "");
        }
    }

    std::filesystem::path m_cacheDir = m_home.Dir() / "caches";
};

TEST_F(CliResolve, SampleCodesOfEveryTypeGetTheirPages)
{
    const ProgramResult result = Resolve(SampleArguments());
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    ExpectResolved(result, false);
    EXPECT_EQ(result.err, "") << "no progress line where stderr is no terminal";
    EXPECT_TRUE(std::filesystem::exists(m_cacheDir / (kDemoUser + "Format.cache")));
    EXPECT_TRUE(std::filesystem::exists(m_cacheDir / (kDemoUser + "Templates.cache")));

    // A URL code is opened as it stands; scheme-less text gets one.
    const std::string page = m_base + "item?type=URL&sid=URL&iid=welcome";
    const ProgramResult url = Resolve({"--json", page, "example.org/x"});
    EXPECT_EQ(url.exitStatus, 0) << url.err;
    const auto lines = Lines(url.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Field(lines[0], "type"), "URL");
    EXPECT_EQ(Field(lines[0], "url"), page);
    EXPECT_EQ(Field(lines[1], "url"), "http://example.org/x");
    EXPECT_EQ(Field(lines[1], "code"), "example.org/x");
}

TEST_F(CliResolve, EachCodeComesBackAsItWasTyped)
{
    struct Case {
        std::string typed;
        std::string type;
        std::string status;
    } const cases[] = {
        {"0 36000-29145 2", "UPCA", "19"},
        {"036000-291452", "UPCA", "19"},
        {"upce:0425-2614", "UPCE", "19"},
        {"VANTREL:237659", "VANTREL", "19"},
        {"#1", "UNKNOWN", "1"},
    };
    std::vector<std::string> args{"--json"};
    for (const Case& c : cases)
        args.push_back(c.typed);
    const ProgramResult json = Resolve(args);
    const auto lines = Lines(json.out);
    ASSERT_EQ(lines.size(), std::size(cases)) << json.out << json.err;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(cases[i].typed);
        EXPECT_EQ(Field(lines[i], "code"), cases[i].typed);
        EXPECT_EQ(Field(lines[i], "type"), cases[i].type);
        EXPECT_EQ(Field(lines[i], "status"), cases[i].status);
    }
    EXPECT_EQ(Field(lines[0], "text"), "0 36000 29145 2") << "the display form is the format's";

    const ProgramResult table = Resolve({"0 36000-29145 2"});
    EXPECT_EQ(table.exitStatus, 0) << table.err;
    ASSERT_EQ(Lines(table.out).size(), 2u) << table.out;
    EXPECT_TRUE(Lines(table.out)[1].starts_with("0 36000-29145 2  UPCA")) << table.out;
}

TEST_F(CliResolve, DescriptionsComeFromTheDescriptionServers)
{
    const ProgramResult result = Resolve({"--descriptions", "--json", "PRINTSHOP/SPRING", "036000291452"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 2u) << result.err;
    EXPECT_EQ(Field(lines[0], "text"), "PrintShop/Spring") << "the server's canonical form of a vanity code";
    EXPECT_EQ(Field(lines[1], "text"), "0 36000 29145 2");

    const ProgramResult all = Resolve(SampleArguments("--descriptions"));
    EXPECT_EQ(all.exitStatus, 0) << all.err;
    ExpectResolved(all, true);
}

// A code whose item its key's description server does not hold is answered
// like any other, in the same run as the codes of other servers.
TEST_F(CliResolve, UnknownItemOfAKeyHoldsNoCodeBack)
{
    const ProgramResult result = Resolve({"--descriptions", "--json", "96389997", "42", "080442957X"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out;
    const std::string descriptions[] = {"", "Weekly offers", "Field Guide to Printed Codes"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_EQ(Field(lines[i], "status"), "19");
        EXPECT_EQ(Field(lines[i], "description"), descriptions[i]);
        EXPECT_EQ(Field(lines[i], "error"), "");
    }
    EXPECT_EQ(Field(lines[0], "iid"), "999");
}

// Two description servers that fail, each in its own way: their codes say
// why, and the third server's code still gets its description.
TEST_F(CliResolve, FailedDescriptionQueriesAreSkippedAndSayWhy)
{
    const TempDir data;
    std::filesystem::copy(SampleData(), data.Path(), std::filesystem::copy_options::recursive);
    std::string templates = TempDir::ReadFile(data / "templates.xml");
    const std::pair<std::string, std::string> breaks[] = {
        {"{BASE}desc2/EAN8/9638?", "{BASE}gone?"}, // answered 404
        {"{BASE}desc2?SID=&lt;^%SID^&gt;&amp;CODE",
         "{BASE}desc?SID=&lt;^%SID^&gt;&amp;CODE"}, // an ERROR document, no lines
    };
    for (const auto& [from, to] : breaks) {
        const auto at = templates.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        templates.replace(at, from.size(), to);
    }
    data.WriteFile("templates.xml", templates);
    StartServer(data.Path());

    const std::vector<std::string> codes{"96389997", "42", "080442957X"};
    std::vector<std::string> args{"--descriptions", "--json"};
    args.insert(args.end(), codes.begin(), codes.end());
    const ProgramResult result = Resolve(args);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out << result.err;
    const std::string server = "127.0.0.1:" + std::to_string(m_port);
    EXPECT_EQ(Field(lines[0], "status"), "16");
    EXPECT_EQ(Field(lines[0], "error"), "the description server Lumora Demo Tea " + server +
                                            ": the server has no such page (HTTP 404); the code has its "
                                            "address but no description");
    EXPECT_TRUE(Field(lines[0], "detail").starts_with("T-104-1404 Transaction Failed")) << lines[0];
    EXPECT_EQ(Field(lines[1], "status"), "16");
    EXPECT_TRUE(Field(lines[1], "error")
                    .starts_with("the description server Lumora Numicodes " + server +
                                 " gave an answer the toolkit could not use"))
        << lines[1];
    EXPECT_TRUE(Field(lines[1], "detail").starts_with("T-102-19 Internal error")) << lines[1];
    EXPECT_EQ(Field(lines[2], "status"), "19");
    EXPECT_EQ(Field(lines[2], "description"), "Field Guide to Printed Codes");
    EXPECT_EQ(Field(lines[2], "error"), "");
    EXPECT_EQ(Field(lines[2], "detail"), "");
    EXPECT_NE(result.err.find("description query failed: the description server Lumora Demo Tea " + server +
                              ": the server has no such page (HTTP 404) (T-104-1404"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("description query failed: the description server Lumora Numicodes"),
              std::string::npos)
        << result.err;

    // The table says the same, and names each status beside its number.
    const ProgramResult table = Resolve({"--descriptions", codes[0], codes[1], codes[2]});
    const auto rows = Lines(table.out);
    ASSERT_EQ(rows.size(), 4u) << table.out;
    EXPECT_NE(rows[1].find("16 description query failed"), std::string::npos) << rows[1];
    EXPECT_NE(rows[1].find("(HTTP 404)"), std::string::npos) << rows[1];
    EXPECT_NE(rows[2].find("could not use"), std::string::npos) << rows[2];
    EXPECT_NE(rows[3].find("19 done"), std::string::npos) << rows[3];
    EXPECT_NE(rows[3].find("Field Guide to Printed Codes"), std::string::npos) << rows[3];
}

// Codes that end without an address say why in plain words, each by its
// own status, with the toolkit's text apart.
TEST_F(CliResolve, CodesWithoutAnAddressSayWhy)
{
    struct Case {
        std::vector<std::string> args;
        std::string status;
        std::string error;
        std::string detail;
    };
    const Case cases[] = {
        {{"#1"}, "1", "no code type fits the text", ""},
        {{"036000291453"}, "1", "no code type fits the text; as UPCA its check digit would be 2", ""},
        {{"UPC-A:036000291453"},
         "2",
         "not a valid UPCA code; as UPCA its check digit would be 2",
         "VTToolkitException: Invalid code"},
        {{"Caf\xC3\xA9/\xC3\x9Cn\xC3\xAF"
          "code"},
         "1",
         "'\xC3\xA9' (U+00E9) is not a character codes are written in (printable ASCII)",
         ""},
        {{"EAN8:12345670"}, "5", "the routing server has no code format for this code's range", ""},
        {{"--offline", "EAN8:96385074"}, "6", "offline, and no code format for this code is cached", ""},
        {{"ZZZZ/1"}, "11", "the routing server has no page template for server ID ZZZZ", ""},
        {{"--offline", "ZZZZ/2"}, "12", "offline, and no page template for this code is cached", ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"--json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProgramResult result = Resolve(args);
        SCOPED_TRACE(result.out);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(Field(result.out, "status"), c.status);
        EXPECT_EQ(Field(result.out, "error"), c.error);
        EXPECT_EQ(Field(result.out, "detail"), c.detail);
        EXPECT_EQ(Field(result.out, "sid"), c.args.back().starts_with("ZZZZ") ? "ZZZZ" : "")
            << "nothing split off";
        EXPECT_NE(result.err.find("0 of 1 code linked; 1 failed: see their \"error\" keys"),
                  std::string::npos)
            << result.err;
    }
}

// A stopped server is named with the cause; the codes the caches know still
// get their addresses, and the summary suggests going offline.
TEST_F(CliResolve, StoppedServerIsNamedWithTheCause)
{
    ASSERT_EQ(Resolve({"036000291452"}).exitStatus, 0);
    const std::string server = "127.0.0.1:" + std::to_string(m_port);
    ASSERT_EQ(m_server->Stop(), 0);

    const ProgramResult result = Resolve({"--json", "036000291452", "4006381333931", "NUMI:42"});
    EXPECT_EQ(result.exitStatus, 1);
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out << result.err;
    const std::string refused = "the routing server " + server + " could not be reached: connection refused";
    const std::pair<std::string, std::string> expected[] = {
        {"19", ""},
        {"7", refused + " (or the host is unreachable); no code format for it is cached"},
        {"13", refused + " (or the host is unreachable); no page template for it is cached"},
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_EQ(Field(lines[i], "status"), expected[i].first);
        EXPECT_EQ(Field(lines[i], "error"), expected[i].second);
        EXPECT_EQ(Field(lines[i], "detail").ends_with("-4 Transaction Failed"), i > 0);
    }
    EXPECT_NE(result.err.find("format query failed: " + refused), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("1 of 3 codes linked; 2 failed: see their \"error\" keys"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("--offline answers from the caches alone"), std::string::npos) << result.err;

    const ProgramResult table = Resolve({"4006381333931"});
    EXPECT_NE(table.err.find("0 of 1 code linked; 1 failed: see the ERROR column"), std::string::npos)
        << table.err;
    EXPECT_EQ(table.err.find("--offline"), std::string::npos) << "the caches could not answer";
}

TEST_F(CliResolve, OfflineRunUsesTheCachesOfAnEarlierRun)
{
    ASSERT_EQ(Resolve(SampleArguments()).exitStatus, 0);
    ASSERT_EQ(m_server->Stop(), 0);
    const ProgramResult offline = Resolve(SampleArguments("--offline"));
    EXPECT_EQ(offline.exitStatus, 0) << offline.err;
    ExpectResolved(offline, false);

    // Without the server, and without the caches, nothing resolves.
    const ProgramResult nothing = RunProgram(
        LUMORA_CLI_PATH, {"resolve", "--uid", kDemoUser, "--server-dat", m_serverDat.string(), "--cache-dir",
                          (m_home.Dir() / "empty").string(), "--json", "036000291452"});
    EXPECT_EQ(nothing.exitStatus, 1);
    EXPECT_NE(Field(nothing.out, "status"), "19") << nothing.out;
    EXPECT_NE(nothing.err.find("format query failed: the routing server 127.0.0.1:"), std::string::npos)
        << nothing.err;
}

TEST_F(CliResolve, IdentityComesFromTheStoredConfiguration)
{
    const ProgramResult none = Resolve({"036000291452"}, false);
    EXPECT_EQ(none.exitStatus, 1);
    EXPECT_NE(none.err.find("no user identity"), std::string::npos) << none.err;

    {
        platform::Registry registry(platform::CurrentUserHivePath(), platform::LocalMachineHivePath());
        CClientConfig config(registry);
        ASSERT_TRUE(config.Load());
        ASSERT_TRUE(config.WriteUserId(kDemoUser));
    }
    const ProgramResult stored = Resolve({"036000291452", "#1"}, false);
    EXPECT_EQ(stored.exitStatus, 1) << "one code has no type";
    const auto lines = Lines(stored.out);
    ASSERT_EQ(lines.size(), 3u) << stored.out;
    EXPECT_TRUE(lines[0].starts_with("CODE")) << lines[0];
    EXPECT_NE(lines[1].find(m_base + "item?type=UPCA&sid=036000&iid=29145"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("UNKNOWN"), std::string::npos) << lines[2];
}

TEST_F(CliResolve, LongBatchDrawsAProgressLineOnATerminal)
{
    PtyDevice terminal;
    std::vector<std::string> args{
        "resolve",          "--uid", kDemoUser, "--server-dat", m_serverDat.string(), "--cache-dir",
        m_cacheDir.string()};
    for (int i = 0; i < 25; ++i)
        args.push_back("036000291452");
    const auto out = m_home.Dir() / "out.txt";
    const pid_t pid = SpawnProgram(LUMORA_CLI_PATH, args, out.string(), terminal.SlavePath());
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string drawn = terminal.Receive(4096, PtyDevice::Ms(2000));
    EXPECT_NE(drawn.find("\rresolving 25 codes: "), std::string::npos) << drawn;
    EXPECT_NE(drawn.find("\r\033[Klumora-cli resolve: 25 of 25 codes linked"), std::string::npos)
        << "the line is wiped for the summary: " << drawn;
}

TEST_F(CliResolve, ThroughARealProxyWithItsCredential)
{
    if (TinyProxy::Executable().empty())
        GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps.sh installs it)";
    TinyProxy proxy("lumora", "s3cret.pw");
    const ProgramResult refused = Resolve({"--json", "--proxy", proxy.Address(), "--proxy-user", "lumora",
                                           "--proxy-password", "wrong", "036000291452"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_TRUE(
        Field(refused.out, "error").starts_with("the proxy " + proxy.Address() + " refused the credentials"))
        << refused.out;
    const std::string detail = Field(refused.out, "detail");
    EXPECT_TRUE(detail.starts_with("T-302-1401") || detail.starts_with("T-302-1407")) << refused.out;

    const ProgramResult passed =
        Resolve({"--json", "--descriptions", "--proxy", proxy.Address(), "--proxy-user", "lumora",
                 "--proxy-password", "s3cret.pw", "036000291452"});
    EXPECT_EQ(passed.exitStatus, 0) << passed.err << proxy.Log();
    EXPECT_EQ(Field(passed.out, "description"), "Oat Crunch cereal, 500 g");
}

TEST_F(CliResolve, BadUsage)
{
    struct Case {
        std::vector<std::string> args;
        std::string errPart;
    };
    const Case cases[] = {
        {{"resolve", "--uid", kDemoUser}, "at least one CODE"},
        {{"resolve", "--uid", "123", "036000291452"}, "not a valid blinded user id"},
        {{"resolve", "--bogus", "036000291452"}, "--bogus"},
    };
    for (const Case& c : cases) {
        const ProgramResult result = RunProgram(LUMORA_CLI_PATH, c.args);
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_NE(result.err.find(c.errPart), std::string::npos) << result.err;
    }
    const ProgramResult missing = RunProgram(
        LUMORA_CLI_PATH, {"resolve", "--uid", kDemoUser, "--server-dat", "/nonexistent/Server.dat", "42"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_NE(missing.err.find("cannot read the server list"), std::string::npos) << missing.err;
}

} // namespace

// lumora-cli against a hostile routing server on loopback and with damaged
// user files: every reply it cannot use ends the query with a word naming
// the server and the cause, every query ends by the run's deadline, and
// nothing the user had is lost.
#include "platform/folders.h"
#include "tests/cli/clirefserver.h"
#include "tests/support/loopbackserver.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const std::string kGroceryCode = "036000291452";
const std::string kBookCode = "9780306406157";

std::string GroceryFormats()
{
    return "<XSPLIT><CODE TYPE='UPCA' LOW='036000000000' HIGH='036000999999'><RID START='0' LENGTH='6'/>"
           "<IID START='6' LENGTH='5'/><EXPIRE DATE='20990101'/></CODE></XSPLIT>";
}

std::string GroceryTemplates()
{
    return "<XGET><ROUTING_KEY TYPE='UPCA' RID='036000' CACHEDATE='20990101'><SERVERNAME>Grocer</SERVERNAME>"
           "<TEMPLATE CMD='GET'>http://shop.example/item?iid=&lt;^IID^&gt;</TEMPLATE></ROUTING_KEY></XGET>";
}

std::string ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class CliHostileServer : public ::testing::Test {
protected:
    CliHostileServer()
    {
        const std::string route = m_server.Url("/route");
        m_serverDat =
            m_home.Dir().WriteFile("Server.dat", "<CORE_SERVER_LIST><SERVER TYPE='ROUTING'>"
                                                 "<TEMPLATE CMD='GET'>" +
                                                     route + "</TEMPLATE><TEMPLATE CMD='SPLIT'>" + route +
                                                     "</TEMPLATE></SERVER></CORE_SERVER_LIST>");
    }

    ProgramResult Resolve(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"resolve", "--json", "--uid", kDemoUser, "--server-dat",
                                   m_serverDat.string(), "--cache-dir", m_cacheDir.string()});
        return RunProgram(LUMORA_CLI_PATH, args);
    }

    std::filesystem::path FormatCache() const { return m_cacheDir / (kDemoUser + "Format.cache"); }

    // How a failed format query names the server, on the standard error and
    // in a code's "error".
    std::string FailedQuery() const { return "format query failed: " + RoutingServer(); }
    std::string RoutingServer() const { return "the routing server " + m_server.Address(); }

    TempHome m_home;
    LoopbackHttpServer m_server;
    std::filesystem::path m_serverDat;
    std::filesystem::path m_cacheDir = m_home.Dir() / "caches";
};

TEST_F(CliHostileServer, RepliesItCannotUseAreRefusedNamingTheServerAndTheCause)
{
    const std::string huge(8000000, '9');
    struct Case {
        const char* name;
        HttpReply reply;
        std::string cause;
    };
    const Case cases[] = {
        {"nesting of 100,000 levels", HostileReply::DeepNesting("XSPLIT", 100000),
         "TSXmlException: Limit exceeded: more than 256 levels of nesting at Line 1 Column 774"},
        {"entity bomb", HostileReply::EntityBomb("XSPLIT"), "TSXmlException: Invalid entity: Line 1 Column"},
        {"external entity", HostileReply::ExternalEntity("XSPLIT"),
         "TSXmlException: Invalid entity: Line 1 Column"},
        {"NUL bytes", HostileReply::NulBytes("XSPLIT"),
         "TSXmlException: Character conversion error: Line 1 Column 9"},
        {"negative length", HostileReply::NegativeLength(GroceryFormats()),
         "TSHttpException: Invalid header: Content-Length: -5"},
        {"code format of 8,000,000 digits",
         HttpReply::Ok("<XSPLIT><CODE TYPE='UPCA' LOW='" + huge + "' HIGH='" + huge + "'/></XSPLIT>"),
         "TSDomXmlException: Element invalid: CODE: LOW of 8000000 bytes, more than 17"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.Enqueue(ServerScript::Answer(c.reply));
        const ProgramResult result = Resolve({kGroceryCode});
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_NE(result.err.find("0 of 1 code linked"), std::string::npos) << result.err;
        const auto lines = Lines(result.out);
        ASSERT_EQ(lines.size(), 1u) << result.out;
        EXPECT_EQ(Field(lines[0], "url"), "");
        EXPECT_NE(Field(lines[0], "error").find(RoutingServer()), std::string::npos) << lines[0];
        EXPECT_NE(Field(lines[0], "detail").find(c.cause), std::string::npos) << lines[0];
        EXPECT_FALSE(std::filesystem::exists(FormatCache())) << "nothing of the reply is kept";
    }
}

TEST_F(CliHostileServer, AnOverlongReplyLeavesTheCacheAsItWas)
{
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok(GroceryFormats())));
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok(GroceryTemplates())));
    ASSERT_EQ(Resolve({kGroceryCode}).exitStatus, 0);
    const std::string cached = ReadAll(FormatCache());
    ASSERT_NE(cached.find("036000000000"), std::string::npos);

    // A format for another range, far longer than any code of its type.
    m_server.Enqueue(ServerScript::Answer(
        HttpReply::Ok("<XSPLIT><CODE TYPE='BOOKLAND' LOW='978" + std::string(4000000, '0') + "' HIGH='979" +
                      std::string(4000000, '9') +
                      "'><RID START='3' LENGTH='6'/><IID START='9' LENGTH='3'/>"
                      "<EXPIRE DATE='20990101'/></CODE></XSPLIT>")));
    const ProgramResult refused = Resolve({kBookCode});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.err.find("CODE: LOW of 4000003 bytes, more than 18"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadAll(FormatCache()), cached);

    const ProgramResult offline = Resolve({"--offline", kGroceryCode});
    EXPECT_EQ(offline.exitStatus, 0) << offline.err;
    EXPECT_EQ(Field(offline.out, "url"), "http://shop.example/item?iid=29145");
}

TEST_F(CliHostileServer, AnUnreadableCacheIsKeptAsideBeforeItIsReplaced)
{
    std::filesystem::create_directories(m_cacheDir);
    const std::string damaged = "<CODE_FORMAT_LIST><CODE TYPE='UPCA' LOW='0360";
    std::ofstream(FormatCache()) << damaged;
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok(GroceryFormats())));
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok(GroceryTemplates())));
    const ProgramResult result = Resolve({kGroceryCode});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const std::string kept = FormatCache().string() + ".damaged";
    EXPECT_NE(result.err.find("ignoring the unreadable cache " + FormatCache().string()), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("kept as " + kept), std::string::npos) << result.err;
    EXPECT_EQ(ReadAll(kept), damaged);
    EXPECT_NE(ReadAll(FormatCache()).find("036000000000"), std::string::npos) << "the new cache is written";
}

TEST_F(CliHostileServer, EveryQueryEndsAtTheRunsDeadline)
{
    const HttpReply slow = HttpReply::Ok(GroceryFormats());
    const std::pair<const char*, ServerScript> cases[] = {
        {"status line and then nothing", ServerScript::StatusLineOnly()},
        {"accepts and never answers", ServerScript().Hold()},
        {"reads the request and never answers", ServerScript::Silent()},
        {"a good head, then a body byte a second", ServerScript::TrickledBody(slow, 1s)},
    };
    for (const auto& [name, script] : cases) {
        SCOPED_TRACE(name);
        m_server.Enqueue(script);
        const ProgramResult result = Resolve({"--timeout", "2", kGroceryCode});
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_NE(result.err.find(FailedQuery()), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(RoutingServer() + " did not answer: no answer within 2 s"),
                  std::string::npos)
            << result.err;
        EXPECT_NE(result.err.find("no complete answer from " + m_server.Address() + " within 2 s"),
                  std::string::npos)
            << result.err;
    }
}

TEST_F(CliHostileServer, AddressesWithBlanksOrControlCharactersAreRefused)
{
    const std::string cases[] = {"URL:not a url", "URL:http://x/\x1b[2J", "URL:http://x/a\tb", "http://x/\r"};
    for (const std::string& code : cases) {
        SCOPED_TRACE(code);
        const ProgramResult result = Resolve({"--offline", code});
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(Field(result.out, "url"), "") << result.out;
        // Refused where the code is read (a character codes are not written
        // in) or where the address is checked; never given as an address.
        const std::string why = Field(result.out, "error") + " " + Field(result.out, "detail");
        EXPECT_TRUE(why.find("the address holds blanks or control characters") != std::string::npos ||
                    why.find("is not a character codes are written in") != std::string::npos)
            << result.out;
    }
    const ProgramResult good = Resolve({"--offline", "URL:http://x/a%20b"});
    EXPECT_EQ(good.exitStatus, 0) << good.out;
    EXPECT_EQ(Field(good.out, "url"), "http://x/a%20b");
}

// Another process holding the settings lock delays a change a bounded
// time, said once, and then the change fails naming the lock file.
TEST_F(CliHostileServer, AHeldSettingsLockIsWaitedForABoundedTime)
{
    const std::filesystem::path hive = platform::CurrentUserHivePath();
    std::filesystem::create_directories(hive.parent_path());
    const std::string lockFile = hive.string() + ".lock";
    const int held = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const std::string route = m_server.Url("/attach");
    const auto serverDat = m_home.Dir().WriteFile(
        "Attach.dat", "<CORE_SERVER_LIST><SERVER TYPE='REGISTRATION'><TEMPLATE CMD='ATTACH'>" + route +
                          "</TEMPLATE></SERVER></CORE_SERVER_LIST>");
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok("<XATTACH><USERDATA LOGIN='demo' APPID='PC'><USER>" +
                                                        kDemoUser + "</USER></USERDATA></XATTACH>")));
    const ProgramResult result =
        RunProgram(LUMORA_CLI_PATH, {"attach", "demo", "demo", "--server-dat", serverDat.string()});
    ::close(held);
    EXPECT_EQ(result.exitStatus, 1);
    const std::string waiting = "waiting for " + lockFile + ", which another process holds";
    const auto first = result.err.find(waiting);
    EXPECT_NE(first, std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(waiting, first + 1), std::string::npos) << "said once";
    EXPECT_NE(result.err.find("cannot store the user identity: another process holds the lock " + lockFile +
                              " (waited 5 s)"),
              std::string::npos)
        << result.err;
}

TEST_F(CliHostileServer, DamagedSettingsAreReportedOnceAndKept)
{
    const std::filesystem::path hive = platform::CurrentUserHivePath();
    std::filesystem::create_directories(hive.parent_path());
    const std::string original =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Lumora\\Config]\n\"Scanner\"=dword:00000003\n"
        "\"ProxyAddr\"=\"" +
        std::string(8u << 20, 'x') + "\"\n\"Proxy";
    std::ofstream(hive) << original;
    const ProgramResult first = Resolve({"--offline", kGroceryCode});
    EXPECT_NE(first.err.find(hive.string() +
                             " line 5 rejected: value \"ProxyAddr\" of 8388608 bytes is larger "
                             "than the 65536 a value may have (key Software\\Lumora\\Config)"),
              std::string::npos)
        << first.err;
    EXPECT_NE(first.err.find(hive.string() + " line 6 rejected"), std::string::npos) << first.err;
    EXPECT_EQ(ReadAll(hive.string() + ".damaged"), original);
    const ProgramResult second = Resolve({"--offline", kGroceryCode});
    EXPECT_EQ(second.err.find("rejected"), std::string::npos) << second.err;
    EXPECT_FALSE(std::filesystem::exists(hive.string() + ".damaged.1"));

    // One too large to read is named with its size and left as it is.
    std::ofstream(hive) << "REGEDIT4\n;" << std::string(17u << 20, ' ');
    const ProgramResult oversized = Resolve({"--offline", kGroceryCode});
    EXPECT_NE(oversized.err.find(hive.string() +
                                 " is 17825802 bytes, more than the 16777216 a settings file may "
                                 "have; the settings in it are not used"),
              std::string::npos)
        << oversized.err;
    EXPECT_EQ(std::filesystem::file_size(hive), 17825802u);
}

TEST(CliHostileInput, MalformedOptionsAreUsageErrors)
{
    TempHome home;
    const std::vector<std::vector<std::string>> cases = {
        {"resolve", "--proxy", "", "036000291452"},
        {"resolve", "--proxy", "proxy", "036000291452"},
        {"resolve", "--proxy", ":8080", "036000291452"},
        {"resolve", "--proxy", "proxy:", "036000291452"},
        {"resolve", "--proxy", "proxy:http", "036000291452"},
        {"resolve", "--proxy", "proxy:0", "036000291452"},
        {"resolve", "--proxy", "proxy:65536", "036000291452"},
        {"resolve", "--timeout", "0", "036000291452"},
        {"resolve", "--timeout", "-3", "036000291452"},
        {"resolve", "--timeout", "soon", "036000291452"},
        {"analyze", "--scan-type", "-1", "036000291452"},
        {"analyze", "--scan-type", "9", "036000291452"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[1] + " '" + args[2] + "'");
        const ProgramResult result = RunProgram(LUMORA_CLI_PATH, args);
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_NE(result.err.find(args[1]), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("'" + args[2] + "'"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("usage: lumora-cli " + args[0]), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    const ProgramResult inRange = RunProgram(LUMORA_CLI_PATH, {"analyze", "--scan-type", "8", "96385074"});
    EXPECT_EQ(inRange.exitStatus, 0) << inRange.err;
}

} // namespace

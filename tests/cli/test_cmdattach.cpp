// lumora-cli attach as a user runs it, against a loopback server that
// answers the attach exchange, with a throw-away home for the identity.
#include "client/config.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "tests/cli/cliprocess.h"
#include "tests/support/loopbackserver.h"
#include "tests/support/runprogram.h"
#include "tests/support/temphome.h"

#include <gtest/gtest.h>

namespace {

const std::string kDemoId = "854844330452546";

HttpReply NotFound()
{
    HttpReply reply = HttpReply::Ok("gone", "text/plain");
    reply.m_statusLine = "HTTP/1.0 404 Not Found";
    return reply;
}

class CliAttach : public ::testing::Test {
protected:
    CliAttach()
    {
        m_serverDat = m_home.Dir().WriteFile(
            "Server.dat", "<CORE_SERVER_LIST><SERVER TYPE='REGISTRATION'><TEMPLATE CMD='ATTACH'>" +
                              m_server.Url("/attach?l=&lt;^LOGIN^&gt;&amp;p=&lt;^PASSWORD^&gt;") +
                              "</TEMPLATE></SERVER></CORE_SERVER_LIST>");
    }

    ProgramResult Attach(const std::vector<std::string>& extra = {"--json"})
    {
        std::vector<std::string> args{"attach", "demo", "secret pw", "--server-dat", m_serverDat.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunProgram(LUMORA_CLI_PATH, args);
    }

    std::string StoredId()
    {
        platform::Registry registry(platform::CurrentUserHivePath(), platform::LocalMachineHivePath());
        CClientConfig config(registry);
        std::string uid;
        return config.ReadUserId(uid) ? uid : "(none)";
    }

    TempHome m_home;
    LoopbackHttpServer m_server;
    std::filesystem::path m_serverDat;
};

TEST_F(CliAttach, PrintsAndStoresTheBlindedId)
{
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok("<XATTACH><USERDATA LOGIN='Demo' APPID='PC'><USER>" +
                                                        kDemoId + "</USER></USERDATA></XATTACH>")));
    const ProgramResult result = Attach();
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out,
              "{\"attached\":1,\"uid\":\"" + kDemoId + "\",\"appid\":\"PC\",\"login\":\"Demo\"}\n");
    EXPECT_TRUE(m_server.WaitForRequest(0).starts_with("GET /attach?l=demo&p=secret+pw HTTP/1.0\r\n"));
    EXPECT_EQ(StoredId(), kDemoId);

    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok("<XATTACH><USERDATA LOGIN='demo' APPID='PC'><USER>" +
                                                        kDemoId + "</USER></USERDATA></XATTACH>")));
    const ProgramResult table = Attach({});
    EXPECT_EQ(table.exitStatus, 0) << table.err;
    EXPECT_NE(table.out.find(kDemoId), std::string::npos) << table.out;
    EXPECT_TRUE(table.out.starts_with("ATTACHED")) << table.out;
}

TEST_F(CliAttach, FailuresStoreNothing)
{
    struct Case {
        HttpReply reply;
        std::string errPart;
    };
    const Case cases[] = {
        {HttpReply::Ok("<ERROR NUM='3'><REASON>Wrong password</REASON></ERROR>"),
         "the registration server " + m_server.Address() +
             " answered with an error: Wrong password (S-205-3 "
             "Wrong password)"},
        {HttpReply::Ok("<XATTACH><USERDATA LOGIN='demo' APPID='PC'><USER/></USERDATA></XATTACH>"),
         "attached no account"},
        {HttpReply::Ok("<html/>", "text/html"), "T-202-1200"},
        {NotFound(),
         "the registration server " + m_server.Address() + ": the server has no such page (HTTP 404)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.errPart);
        m_server.Enqueue(ServerScript::Answer(c.reply));
        const ProgramResult result = Attach();
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_NE(result.err.find(c.errPart), std::string::npos) << result.err;
    }
    EXPECT_EQ(StoredId(), "(none)");

    const ProgramResult missing = RunProgram(
        LUMORA_CLI_PATH, {"attach", "demo", "pw", "--server-dat", (m_home.Dir() / "none.dat").string()});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_NE(missing.err.find("cannot read the server list"), std::string::npos) << missing.err;
    EXPECT_EQ(RunProgram(LUMORA_CLI_PATH, {"attach", "demo"}).exitStatus, 2);
}

TEST_F(CliAttach, StoppedServerIsNamedWithTheCause)
{
    const std::string address = m_server.Address();
    m_server.Stop();
    const ProgramResult result = Attach();
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(
        result.err.find("the registration server " + address + " could not be reached: connection refused"),
        std::string::npos)
        << result.err;
    EXPECT_EQ(StoredId(), "(none)");
}

// Without PASSWORD the password is asked for on the terminal, and what is
// typed is not shown.
TEST_F(CliAttach, PasswordIsAskedForWithoutEcho)
{
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok("<XATTACH><USERDATA LOGIN='demo' APPID='PC'><USER>" +
                                                        kDemoId + "</USER></USERDATA></XATTACH>")));
    CliProcess cli({"attach", "--json", "--server-dat", m_serverDat.string(), "demo"},
                   CliStreams{false, "", 80});
    ASSERT_TRUE(cli.WaitForOutput("Password for demo: ")) << cli.Stdout();
    cli.Type("typed secret\n");
    EXPECT_EQ(cli.Wait(), 0) << cli.Stdout();
    EXPECT_TRUE(m_server.WaitForRequest(0).starts_with("GET /attach?l=demo&p=typed+secret HTTP/1.0\r\n"));
    EXPECT_EQ(cli.Stdout().find("typed secret"), std::string::npos) << "echoed: " << cli.Stdout();
    EXPECT_NE(cli.Stdout().find("{\"attached\":1,\"uid\":\"" + kDemoId), std::string::npos) << cli.Stdout();
    EXPECT_EQ(StoredId(), kDemoId);
}

TEST_F(CliAttach, PasswordFromStandardInput)
{
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok("<XATTACH><USERDATA LOGIN='demo' APPID='PC'><USER>" +
                                                        kDemoId + "</USER></USERDATA></XATTACH>")));
    const std::string input = m_home.Dir().WriteFile("pw", "from a pipe\r\nnot this\n").string();
    CliProcess cli({"attach", "--password-stdin", "--server-dat", m_serverDat.string(), "demo"},
                   CliStreams{false, input, 0});
    EXPECT_EQ(cli.Wait(), 0) << cli.Stderr();
    EXPECT_TRUE(m_server.WaitForRequest(0).starts_with("GET /attach?l=demo&p=from+a+pipe HTTP/1.0\r\n"));
    EXPECT_EQ(StoredId(), kDemoId);

    const struct {
        std::vector<std::string> args;
        std::string input;
        std::string error;
    } refused[] = {
        {{"demo", "--password-stdin"}, "/dev/null", "--password-stdin: standard input held no line"},
        {{"demo"}, "/dev/null", "standard input is no terminal to ask on (give --password-stdin"},
        {{"demo", "pw", "--password-stdin"}, input, "PASSWORD and --password-stdin do not go together"},
        {{"demo", "pw", "more"}, input, "needs LOGIN and, unless asked for, PASSWORD"},
    };
    for (const auto& c : refused) {
        std::vector<std::string> args{"attach", "--server-dat", m_serverDat.string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        CliProcess bad(args, CliStreams{false, c.input, 0});
        EXPECT_EQ(bad.Wait(), 2) << c.error;
        EXPECT_NE(bad.Stderr().find(c.error), std::string::npos) << bad.Stderr();
    }
}

} // namespace

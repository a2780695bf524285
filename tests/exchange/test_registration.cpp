// The attach exchange against a scriptable loopback server.
#include "tests/exchange/exchangetest.h"
#include "vtkit/svrregistration.h"

namespace {

const std::string kAccountClearId = "987654321";
const std::string kAccountId = BlindedFor(kAccountClearId, "1234");

class RegistrationTest : public ExchangeTest {
protected:
    RegistrationTest()
    {
        SetCoreRecord(kServerTypeRegistration,
                      {{kCommandAttach, m_server.Url("/attach?login=<^LOGIN^>&pw=<^PASSWORD^>&v=<^CVER^>")}});
    }

    VTRegistrationServer& Registration() { return m_toolkit.GetRegistrationServer(); }

    ExchangeWaiter::Outcome Run(const HttpReply& reply)
    {
        m_server.Enqueue(ServerScript::Answer(reply));
        EXPECT_TRUE(Registration().RequestAttach("Demo User@x", "p&ss word"));
        return Finish(Registration());
    }

    static std::string UserData(const std::string& inside, const std::string& login = "demo+user%40X")
    {
        return "<XATTACH><USERDATA LOGIN='" + login + "' APPID='PC'>" + inside + "</USERDATA></XATTACH>";
    }
};

TEST_F(RegistrationTest, AttachGetsTheBlindedIdOfTheAccount)
{
    const std::string reply =
        "<XATTACH><USERDATA LOGIN='demo+user%40X' APPID='PC'><USER>" + kAccountId +
        "</USER></USERDATA><SERVER TYPE='REGISTRATION'>"
        "<TEMPLATE CMD='LOGIN'>http://accounts.example/login</TEMPLATE></SERVER></XATTACH>";
    ASSERT_EQ(Run(XmlReply(reply)), ExchangeWaiter::kSuccess);
    EXPECT_EQ(m_server.WaitForRequest(0), "GET /attach?login=Demo+User%40x&pw=p%26ss+word&v=4.1 HTTP/1.0\r\n"
                                          "Content-Length: 0\r\nHost: " +
                                              m_server.Address() + "\r\n\r\n");
    EXPECT_EQ(Registration().GetState(true), VTRegistrationServer::kAnswered);
    VTAttachResults results;
    Registration().GetAttachResults(results);
    EXPECT_TRUE(results.IsAttached());
    EXPECT_EQ(results.GetUserId().GetClearId(), kAccountClearId);
    EXPECT_EQ(results.GetUserId().GetBlindedId(), kAccountId);
    EXPECT_EQ(results.GetLogin(), "demo+user%40X") << "the login differs only in case";
    EXPECT_EQ(results.GetApplicationId(), "PC");
    std::string login;
    EXPECT_TRUE(m_toolkit.GetRegistrationRecord().GetCommand(kCommandLogin, login))
        << "core records refreshed";
}

TEST_F(RegistrationTest, RepliesWithoutAnIdAreStillAnswers)
{
    for (const std::string& reply : {UserData("<USER></USER>"), std::string("<XATTACH/>")}) {
        SCOPED_TRACE(reply);
        ASSERT_EQ(Run(XmlReply(reply)), ExchangeWaiter::kSuccess);
        VTAttachResults results;
        Registration().GetAttachResults(results);
        EXPECT_FALSE(results.IsAttached());
        EXPECT_FALSE(results.GetUserId().IsValid());
    }
}

TEST_F(RegistrationTest, FailedRepliesEndInTheirStatesWithTheirErrorCodes)
{
    struct Case {
        const char* name;
        HttpReply reply;
        int state;
        std::string code;
        std::string details;
    };
    const Case cases[] = {
        {"no user element", XmlReply(UserData("")), VTRegistrationServer::kUnexpected, "T-202-3002",
         "TSDomXmlException: Element not found: USER within USERDATA"},
        {"id that does not unblind", XmlReply(UserData("<USER>123456789012345</USER>")),
         VTRegistrationServer::kUnexpected, "T-202-19",
         "VTToolkitException: Invalid user id: SetBlindedId()"},
        {"another login", XmlReply(UserData("<USER>" + kAccountId + "</USER>", "someone")),
         VTRegistrationServer::kUnexpected, "T-202-19",
         "VTToolkitException: Invalid state: XATTACH transaction : login does not match"},
        {"html page", XmlReply("<html/>", "HTTP/1.0 200 OK", "text/html"), VTRegistrationServer::kUnexpected,
         "T-202-1200", ""},
        {"answer with an error status",
         XmlReply(UserData("<USER>" + kAccountId + "</USER>"), "HTTP/1.0 500 Oops"),
         VTRegistrationServer::kFailed, "T-205-1200", ""},
        {"error document",
         XmlReply("<ERROR NUM='12'><REASON>Wrong password</REASON></ERROR>", "HTTP/1.0 403 No"),
         VTRegistrationServer::kFailed, "S-205-12", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Run(c.reply), ExchangeWaiter::kFailure);
        EXPECT_EQ(Registration().GetState(true), c.state);
        EXPECT_EQ(ErrorCode(Registration()), c.code);
        EXPECT_EQ(Error(Registration()).GetDetails(), c.details);
        VTAttachResults results;
        EXPECT_EQ(RaisedMessage([&] { Registration().GetAttachResults(results); }),
                  "VTToolkitException: Invalid state: GetAttachResults()");
    }
}

TEST_F(RegistrationTest, WithoutAnAttachTemplateNothingIsSent)
{
    SetCoreRecord(kServerTypeRegistration, {{kCommandLogin, m_server.Url("/login")}});
    EXPECT_FALSE(Registration().RequestAttach("demo", "pw"));
    EXPECT_EQ(Registration().GetState(true), VTRegistrationServer::kFailed);
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
    EXPECT_THROW(Registration().RequestAttach(nullptr, "pw"), TSInternalError);
}

} // namespace

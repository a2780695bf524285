// The routing exchange against a scriptable loopback server: the query
// documents byte for byte, the replies and every way a query ends.
#include "tests/exchange/exchangetest.h"
#include "tst/tsstrutl.h"
#include "vtkit/svrrouting.h"
#include "vtkit/vtparsers.h"

namespace {

const std::string kDeclaration = "<?xml version='1.0' standalone='yes'?>\n";

// A routing reply may carry fresh core records.
const std::string kNewRouting =
    "<SERVER TYPE='routing'><TEMPLATE CMD='GET'>http://new.example/get</TEMPLATE></SERVER>";

class RoutingTest : public ExchangeTest {
protected:
    VTRoutingServer& Routing() { return m_toolkit.GetRoutingServer(); }

    std::string QueryHead(const char* root) const
    {
        return kDeclaration + "<" + root + " USER='" + kBlindedId + "' CAPP='PC' CVER='4.1' TKVER='3.2'>\n";
    }

    bool RoutingRefreshed() const
    {
        std::string get;
        return m_toolkit.GetRoutingRecord().GetCommand(kCommandGet, get) && get == "http://new.example/get";
    }

    const VTCodeFormatQueryList m_formatItems{{kCodeUpcA, "0 36000-29145 2"}, {kCodeEan13, "5901234123457"}};
    const VTTemplateQueryList m_templateItems{
        {kCodeUpcA, "03600"}, {kCodeVantrel, "123"}, {kCodeVanity, "ACME"}};
};

TEST_F(RoutingTest, FormatQueryPostsTheSplitDocumentAndReadsTheFormats)
{
    m_server.Enqueue(ServerScript::Answer(XmlReply("<XSPLIT>"
                                                   "<CODE TYPE='UPCA' LOW='036000000000' HIGH='036000999999'>"
                                                   "<RID START='1' LENGTH='5'/><IID START='6' LENGTH='5'/>"
                                                   "<EXPIRE DATE='20300101'/></CODE>" +
                                                   kNewRouting + "</XSPLIT>")));
    ASSERT_TRUE(Routing().RequestFormats(m_formatItems));
    ASSERT_EQ(Finish(Routing()), ExchangeWaiter::kSuccess);

    const std::string body = QueryHead("SPLIT") + "    <BARCODE TYPE='UPC' CODE='036000291452'/>\n"
                                                  "    <BARCODE TYPE='EAN13' CODE='5901234123457'/>\n"
                                                  "</SPLIT>\n";
    EXPECT_EQ(m_server.WaitForRequest(0), PostHead("/split", "text/xml", body.size()) + body);

    EXPECT_EQ(Routing().GetState(true), VTRoutingServer::kFormatsAnswered);
    VTCodeFormatList formats;
    ASSERT_TRUE(Routing().GetFormats(formats));
    ASSERT_EQ(formats.Size(), 1u);
    EXPECT_EQ(formats.At(0).GetRoutingIdOffset(), 1);
    EXPECT_EQ(formats.At(0).GetItemIdLength(), 5);
    EXPECT_EQ(FormatDate(formats.At(0).GetExpiry()), "20300101000000");
    EXPECT_EQ(ErrorCode(Routing()), "");
    EXPECT_TRUE(RoutingRefreshed());
    std::string attach;
    EXPECT_TRUE(m_toolkit.GetRegistrationRecord().GetCommand(kCommandAttach, attach)) << "kept";
    EXPECT_GT(m_waiter.Progress(), 0);
}

TEST_F(RoutingTest, TemplateQuerySendsRoutingKeysWithTheirDomains)
{
    m_toolkit.SetDomain("US");
    const std::string xget =
        "<XGET><ROUTING_KEY TYPE='UPC' RID='03600'><SERVERNAME>Acme</SERVERNAME>"
        "<TEMPLATE CMD='GET'>http://acme.example/&lt;^IID^&gt;</TEMPLATE></ROUTING_KEY></XGET>";
    struct Case {
        std::string domainId;
        std::string keyStart; // what each key begins with
    };
    for (const Case& c : {Case{"", "<ROUTING_KEY "}, Case{"77", "<ROUTING_KEY DOMAIN_ID='77' "}}) {
        SCOPED_TRACE(c.domainId);
        m_toolkit.SetDomainId(c.domainId);
        const std::size_t connection = m_server.ConnectionCount();
        m_server.Enqueue(ServerScript::Answer(XmlReply(xget)));
        ASSERT_TRUE(Routing().RequestTemplates(m_templateItems));
        ASSERT_EQ(Finish(Routing()), ExchangeWaiter::kSuccess) << Error(Routing()).GetDetails();

        const std::string body = QueryHead("GET") + "    " + c.keyStart +
                                 "DOMAIN='US' TYPE='UPC' RID='03600'/>\n" + "    " + c.keyStart +
                                 "DOMAIN='PC' TYPE='VANTREL' RID='123'/>\n" + "    " + c.keyStart +
                                 "DOMAIN='PC' TYPE='VANITY' RID='ACME'/>\n" + "</GET>\n";
        EXPECT_EQ(m_server.WaitForRequest(connection), PostHead("/get", "text/xml", body.size()) + body);

        EXPECT_EQ(Routing().GetState(true), VTRoutingServer::kTemplatesAnswered);
        VTServerDataList templates;
        ASSERT_TRUE(Routing().GetTemplates(templates));
        ASSERT_EQ(templates.Size(), 2u) << "UPC-A and UPC-E";
        std::string urlTemplate;
        EXPECT_EQ(templates.At(0).GetName(), "Acme");
        EXPECT_TRUE(templates.At(0).GetCommand(kCommandGet, urlTemplate));
        EXPECT_EQ(urlTemplate, "http://acme.example/<^IID^>");
        EXPECT_EQ(templates.At(1).GetCodeType(), kCodeUpcE);
    }
}

TEST_F(RoutingTest, TemplateWithQueryPartSendsTheFormEncodedDocument)
{
    SetCoreRecord(kServerTypeRouting, {{kCommandSplit, m_server.Url("/split?xml=<^XMLREQUEST^>&v=1")}});
    m_server.Enqueue(ServerScript::Answer(XmlReply("<XSPLIT/>")));
    ASSERT_TRUE(Routing().RequestFormats({{kCodeEan8, "9638-5074"}}));
    ASSERT_EQ(Finish(Routing()), ExchangeWaiter::kSuccess);

    std::string xml = QueryHead("SPLIT") + "    <BARCODE TYPE='EAN8' CODE='96385074'/>\n</SPLIT>\n";
    UrlEncode(xml);
    const std::string body = "xml=" + xml + "&v=1";
    EXPECT_EQ(m_server.WaitForRequest(0), PostHead("/split", "text/x-url-encoded", body.size()) + body);
    EXPECT_TRUE(body.starts_with(
        "xml=%3C%3Fxml+version%3D%271.0%27+standalone%3D%27yes%27%3F%3E%0A%3CSPLIT+USER%3D"));
}

// Every way a reply can fail a query, for both queries: the state it ends
// in and the error code the user is shown.
TEST_F(RoutingTest, FailedRepliesEndInTheirStatesWithTheirErrorCodes)
{
    const std::string errorDocument = "<ERROR NUM='7'><REASON>No such user</REASON></ERROR>";
    struct Case {
        const char* name;
        HttpReply reply;
        int formatState;
        std::string formatCode;
        std::string templateCode;
    };
    const Case cases[] = {
        {"error document", XmlReply(errorDocument, "HTTP/1.0 500 Server Error"),
         VTRoutingServer::kFormatsFailed, "S-304-7", "S-308-7"},
        {"html page", XmlReply("<html/>", "HTTP/1.0 200 OK", "text/html"),
         VTRoutingServer::kFormatsUnexpected, "T-302-1200", "T-306-1200"},
        {"not found", XmlReply("<html/>", "HTTP/1.0 404 Not Found", "text/html"),
         VTRoutingServer::kFormatsUnexpected, "T-302-1404", "T-306-1404"},
        {"broken XML", XmlReply("<XSPLIT><CODE></XSPLIT>"), VTRoutingServer::kFormatsUnexpected, "T-302-3000",
         "T-306-3000"},
        {"other root", XmlReply("<XDESC/>"), VTRoutingServer::kFormatsUnexpected, "T-302-1200", "T-306-1200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool formats : {true, false}) {
            m_server.Enqueue(ServerScript::Answer(c.reply));
            ASSERT_TRUE(formats ? Routing().RequestFormats(m_formatItems)
                                : Routing().RequestTemplates(m_templateItems));
            ASSERT_EQ(Finish(Routing()), ExchangeWaiter::kFailure);
            EXPECT_EQ(Routing().GetState(true), formats ? c.formatState : c.formatState + 4);
            EXPECT_EQ(ErrorCode(Routing()), formats ? c.formatCode : c.templateCode);
        }
    }
    VTServerDataList templates;
    EXPECT_FALSE(Routing().GetTemplates(templates)) << "after a failed template query";
}

TEST_F(RoutingTest, ErrorDocumentFillsTheErrorAndRefreshesTheCoreRecords)
{
    m_server.Enqueue(
        ServerScript::Answer(XmlReply("<ERROR NUM='7'><REASON>No such user</REASON>"
                                      "<DETAILS>Unknown USER</DETAILS><URL>http://help.example/7</URL>" +
                                          kNewRouting + "</ERROR>",
                                      "HTTP/1.0 500 Server Error")));
    ASSERT_TRUE(Routing().RequestFormats(m_formatItems));
    ASSERT_EQ(Finish(Routing()), ExchangeWaiter::kFailure);
    const VTServerError error = Error(Routing());
    EXPECT_EQ(error.GetKind(), VTServerError::kServer);
    EXPECT_EQ(error.GetServerNumber(), 7);
    EXPECT_EQ(error.GetMessage(), "No such user");
    EXPECT_EQ(error.GetDetails(), "Unknown USER");
    EXPECT_EQ(error.GetUrl(), "http://help.example/7");
    EXPECT_EQ(error.GetToolkit(), &m_toolkit);
    EXPECT_TRUE(RoutingRefreshed());
    VTCodeFormatList formats;
    EXPECT_FALSE(Routing().GetFormats(formats));
}

TEST_F(RoutingTest, UnexpectedRootIsNamedInTheError)
{
    m_server.Enqueue(ServerScript::Answer(XmlReply("<XDESC/>")));
    ASSERT_TRUE(Routing().RequestTemplates(m_templateItems));
    ASSERT_EQ(Finish(Routing()), ExchangeWaiter::kFailure);
    const VTServerError error = Error(Routing());
    EXPECT_EQ(error.GetMessage(), "VTRoutingServer::OnHttpStateChange: unexpected response\n")
        << error.GetDetails();
    EXPECT_FALSE(RoutingRefreshed());
}

TEST_F(RoutingTest, TransportFailureAndAbortEndTheQueryFailed)
{
    SetCoreRecord(kServerTypeRouting,
                  {{kCommandSplit, "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/split"},
                   {kCommandGet, m_server.Url("/get")}});
    ASSERT_TRUE(Routing().RequestFormats(m_formatItems));
    ASSERT_EQ(Finish(Routing()), ExchangeWaiter::kFailure);
    EXPECT_EQ(Routing().GetState(true), VTRoutingServer::kFormatsFailed);
    EXPECT_EQ(Error(Routing()).GetMessage(), "Transaction Failed");
    EXPECT_EQ(ErrorCode(Routing()), "T-304-4") << "connect failed";

    m_server.Enqueue(ServerScript::Silent());
    ASSERT_TRUE(Routing().RequestTemplates(m_templateItems));
    ASSERT_FALSE(m_server.WaitForRequest(0).empty());
    EXPECT_EQ(Routing().GetState(false), VTRoutingServer::kTemplatesSent);
    EXPECT_THROW(Routing().RequestFormats(m_formatItems), VTToolkitException) << "busy";
    VTServerDataList templates;
    EXPECT_THROW(Routing().GetTemplates(templates), VTToolkitException) << "not answered yet";
    Routing().Abort();
    ASSERT_EQ(Finish(Routing()), ExchangeWaiter::kFailure);
    EXPECT_EQ(Routing().GetState(true), VTRoutingServer::kTemplatesFailed);
    EXPECT_EQ(Error(Routing()).GetMessage(), "Transaction Aborted");
    EXPECT_EQ(ErrorCode(Routing()), "T-308-1");
}

TEST_F(RoutingTest, QueriesThatCannotBeSentSendNothing)
{
    EXPECT_FALSE(Routing().RequestFormats({})) << "nothing to ask";
    EXPECT_EQ(Routing().GetState(true), VTRoutingServer::kIdle);

    SetCoreRecord(kServerTypeRouting, {{kCommandSplit, m_server.Url("/split")}});
    EXPECT_FALSE(Routing().RequestTemplates(m_templateItems));
    EXPECT_EQ(Routing().GetState(true), VTRoutingServer::kTemplatesFailed);

    m_toolkit.SetUserId(VTUserId());
    EXPECT_EQ(RaisedMessage([&] { Routing().RequestFormats(m_formatItems); }),
              "VTToolkitException: Invalid user id: GetBlindedId()");

    // A proxy the HTTP client refuses fails the query before it leaves.
    m_toolkit.SetUserId([] {
        VTUserId id;
        id.SetBlindedId(kBlindedId);
        return id;
    }());
    m_toolkit.SetProxy("not a proxy");
    EXPECT_FALSE(Routing().RequestFormats(m_formatItems));
    EXPECT_EQ(ErrorCode(Routing()), "T-304-19");

    EXPECT_EQ(m_server.ConnectionCount(), 0u);
    EXPECT_EQ(m_waiter.Pending(), 0u) << "nothing was told";
}

} // namespace

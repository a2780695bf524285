// The description exchange against a scriptable loopback server: DESC and
// DESC2 requests byte for byte, XDESC and line replies and their errors.
#include "tests/exchange/exchangetest.h"
#include "tst/tsstrutl.h"
#include "vtkit/svrresolution.h"
#include "vtkit/vtparsers.h"

namespace {

VTCodeDescription Described(VTCodeType type, const std::string& serverId, const std::string& itemId,
                            const std::string& code)
{
    VTCodeContents contents;
    contents.SetCodeType(type);
    contents.SetServerId(serverId);
    contents.SetItemId(itemId);
    contents.SetCode(code);
    return VTCodeDescription(contents);
}

class ResolutionTest : public ExchangeTest {
protected:
    ResolutionTest()
    {
        m_request.Add(Described(kCodeUpcA, "03600", "02914", "036000291452"));
        m_request.Add(Described(kCodeEan13, "590123", "412345", "5901234123457"));
    }

    VTResolutionServer& Resolution() { return m_toolkit.GetResolutionServer(); }

    void UseTemplates(const std::vector<std::pair<std::string, std::string>>& commands)
    {
        VTServerData record(kCodeUpcA, "03600");
        record.SetName("Acme descriptions");
        for (const auto& [name, path] : commands)
            record.SetCommand(name, m_server.Url(path));
        Resolution().SetServerData(record);
    }

    // Runs one request against `reply` and returns how it ended.
    ExchangeWaiter::Outcome Run(const HttpReply& reply)
    {
        m_server.Enqueue(ServerScript::Answer(reply));
        EXPECT_TRUE(Resolution().RequestDescriptions(m_request));
        return Finish(Resolution());
    }

    std::vector<std::string> Texts()
    {
        VTCodeDescriptionList answers;
        EXPECT_TRUE(Resolution().GetDescriptions(answers));
        std::vector<std::string> texts;
        for (const VTCodeDescription& answer : answers)
            texts.push_back(answer.GetItemId() + ":" + answer.GetDescription() + ":" + answer.GetCanonical());
        return texts;
    }

    VTCodeDescriptionList m_request;
};

const std::string kDescDocument = "<?xml version='1.0' standalone='yes'?>\n"
                                  "<DESC>\n"
                                  "    <CODE TYPE='UPC' RID='03600' IID='02914'/>\n"
                                  "    <CODE TYPE='EAN13' RID='590123' IID='412345'/>\n"
                                  "</DESC>\n";

const std::string kXDesc =
    "<XDESC>"
    "<CODE TYPE='UPCA' RID='03600' IID='02914'><DESCRIPTION>Soup</DESCRIPTION>"
    "<CANONICAL>0 36000 29145 2</CANONICAL></CODE>"
    "<CODE TYPE='EAN13' RID='590123' IID='412345'><DESCRIPTION>Tea</DESCRIPTION></CODE>"
    "</XDESC>";

TEST_F(ResolutionTest, DescIsPreferredAndPostsTheXmlDocument)
{
    UseTemplates({{kCommandDesc2, "/desc2"}, {kCommandDesc, "/desc"}});
    // The content type is compared without regard to case.
    ASSERT_EQ(Run(XmlReply(kXDesc, "HTTP/1.0 200 OK", "TEXT/XML")), ExchangeWaiter::kSuccess);
    EXPECT_EQ(m_server.WaitForRequest(0),
              PostHead("/desc", "text/xml", kDescDocument.size()) + kDescDocument);
    EXPECT_EQ(Resolution().GetState(true), VTResolutionServer::kAnswered);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"02914:Soup:0 36000 29145 2", "412345:Tea:"}));
    EXPECT_EQ(ErrorCode(Resolution()), "");
}

TEST_F(ResolutionTest, DescTemplateWithQueryPartPostsTheFormEncodedDocument)
{
    UseTemplates({{kCommandDesc, "/desc?req=<^XMLREQUEST^>"}});
    ASSERT_EQ(Run(XmlReply(kXDesc)), ExchangeWaiter::kSuccess);
    std::string encoded = kDescDocument;
    UrlEncode(encoded);
    const std::string body = "req=" + encoded;
    EXPECT_EQ(m_server.WaitForRequest(0), PostHead("/desc", "text/x-url-encoded", body.size()) + body);
}

TEST_F(ResolutionTest, Desc2WithoutQueryPartIsAPlainGetAndReadsLines)
{
    UseTemplates({{kCommandDesc2, "/desc2/<^CODE^>"}});
    ASSERT_EQ(Run(HttpReply::Ok("02914=Soup\r\n412345=Tea\r\n", "text/plain")), ExchangeWaiter::kSuccess);
    EXPECT_EQ(m_server.WaitForRequest(0), "GET /desc2/<^CODE^> HTTP/1.0\r\nContent-Length: 0\r\n"
                                          "Content-Type: text/plain\r\nHost: " +
                                              m_server.Address() + "\r\n\r\n")
        << "the template is sent unchanged";
    EXPECT_EQ(Texts(), (std::vector<std::string>{"02914:Soup:", "412345:Tea:"}));
}

TEST_F(ResolutionTest, Desc2WithQueryPartPostsTheCodesAndClientVariables)
{
    UseTemplates({{kCommandDesc2, "/desc2?sid=<^SID^>&code=<^CODE^>&iid=<^IID^>&v=<^CVER^>"}});
    ASSERT_EQ(Run(HttpReply::Ok("02914=Soup\r\n412345=Tea\r\n", "text/plain")), ExchangeWaiter::kSuccess);
    const std::string body = "sid=03600&code=036000291452,5901234123457&iid=02914,412345&v=4.1";
    EXPECT_EQ(m_server.WaitForRequest(0), PostHead("/desc2", "text/x-url-encoded", body.size()) + body);

    // A last code without a canonical code is left out, the separator before
    // it stays; a vanity code goes without an item ID.
    m_request.Clear();
    m_request.Add(Described(kCodeVanity, "ACME", "", "ACME"));
    m_request.Add(Described(kCodeUpcA, "03600", "02914", "036000291452"));
    m_request.Add(Described(kCodeUpcA, "03600", "55555", ""));
    std::string code, itemIds, serverId;
    ASSERT_TRUE(MakeDesc2Values(m_request, code, itemIds, serverId));
    EXPECT_EQ(code, "ACME,036000291452,");
    EXPECT_EQ(itemIds, ",02914,");
    EXPECT_EQ(serverId, "ACME");
}

TEST_F(ResolutionTest, LinesWithoutCarriageReturnKeepTheirLastCharacter)
{
    UseTemplates({{kCommandDesc2, "/desc2"}});
    ASSERT_EQ(Run(HttpReply::Ok("02914=Soup\n\n412345=Tea", "text/plain")), ExchangeWaiter::kSuccess);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"02914:Soup:", "412345:Tea:"}));
}

TEST_F(ResolutionTest, LineRepliesThatDoNotMatchTheRequestFail)
{
    UseTemplates({{kCommandDesc2, "/desc2"}});
    const std::pair<std::string, std::string> cases[] = {
        {"02914 Soup\r\n", "missing equals character"},
        {"=Soup\r\n", "missing IID"},
        {"02914=Soup\r\n02914=Soup again\r\n", "Duplicate codes returned"},
        {"02914=Soup\r\n", "Server response was missing codes"},
        {"02914=Soup\r\n412345=Tea\r\n777=Coffee\r\n", "Server response contained extra codes"},
        {"02914=Soup\r\n777=Coffee\r\n", "returned code not found in request list"},
        {"02914=" + std::string(kMaxDescriptionBytes + 1, 's') + "\r\n412345=Tea\r\n",
         "description of 4097 bytes, more than 4096"},
    };
    for (const auto& [body, reason] : cases) {
        SCOPED_TRACE(reason);
        ASSERT_EQ(Run(HttpReply::Ok(body, "text/plain")), ExchangeWaiter::kFailure);
        EXPECT_EQ(Resolution().GetState(true), VTResolutionServer::kUnexpected);
        const VTServerError error = Error(Resolution());
        EXPECT_EQ(error.GetErrorCode(), "T-102-19");
        EXPECT_EQ(error.GetMessage(), "Internal error");
        EXPECT_EQ(error.GetDetails(), "VTToolkitException: Invalid state: DESC transaction : " + reason);
        VTCodeDescriptionList answers;
        EXPECT_FALSE(Resolution().GetDescriptions(answers));
    }
}

TEST_F(ResolutionTest, XDescRepliesThatDoNotMatchTheRequestFail)
{
    UseTemplates({{kCommandDesc, "/desc"}});
    const std::string soup =
        "<CODE TYPE='UPCA' RID='03600' IID='02914'><DESCRIPTION>Soup</DESCRIPTION></CODE>";
    const std::string tea =
        "<CODE TYPE='EAN13' RID='590123' IID='412345'><DESCRIPTION>Tea</DESCRIPTION></CODE>";
    const std::string other = "<CODE TYPE='EAN13' RID='1' IID='777'><DESCRIPTION>Coffee</DESCRIPTION></CODE>";
    const std::string xdesc = "XDESC transaction : ";
    const std::pair<std::string, std::string> cases[] = {
        {soup + soup, xdesc + "Duplicate codes returned"},
        {soup, xdesc + "Server response was missing codes"},
        {soup + tea + other, xdesc + "Server response contained extra codes"},
        {soup + other, xdesc + "returned code not found in request list"},
        {"<CODE TYPE='UPCA' RID='03600' IID='02914'/>" + tea,
         "TSDomXmlException: Element not found: DESCRIPTION within CODE"},
        {"<CODE TYPE='UPCA' IID='02914'><DESCRIPTION>Soup</DESCRIPTION></CODE>" + tea,
         "TSDomXmlException: Attribute not found: RID within CODE"},
        {"<CODE TYPE='UPCA' RID='03600' IID='02914'><DESCRIPTION>" +
             std::string(kMaxDescriptionBytes + 1, 's') + "</DESCRIPTION></CODE>" + tea,
         "TSDomXmlException: Element invalid: CODE: DESCRIPTION of 4097 bytes, more than 4096"},
        {"<CODE TYPE='UPCA' RID='03600' IID='02914'><DESCRIPTION>Soup</DESCRIPTION><CANONICAL>" +
             std::string(kMaxNameBytes + 1, 'c') + "</CANONICAL></CODE>" + tea,
         "TSDomXmlException: Element invalid: CODE: CANONICAL of 257 bytes, more than 256"},
    };
    for (const auto& [codes, reason] : cases) {
        SCOPED_TRACE(reason);
        ASSERT_EQ(Run(XmlReply("<XDESC>" + codes + "</XDESC>")), ExchangeWaiter::kFailure);
        EXPECT_EQ(Resolution().GetState(true), VTResolutionServer::kUnexpected);
        const VTServerError error = Error(Resolution());
        const bool dom = reason.starts_with("TSDom");
        EXPECT_EQ(error.GetErrorCode(), dom ? "T-102-3002" : "T-102-19");
        EXPECT_EQ(error.GetDetails(), dom ? reason : "VTToolkitException: Invalid state: " + reason);
    }
}

TEST_F(ResolutionTest, FailedRepliesEndInTheirStatesWithTheirErrorCodes)
{
    UseTemplates({{kCommandDesc, "/desc"}});
    const VTServerData routingBefore = m_toolkit.GetRoutingRecord();
    struct Case {
        const char* name;
        HttpReply reply;
        int state;
        std::string code;
        std::string message;
    };
    const Case cases[] = {
        {"not found", XmlReply(kXDesc, "HTTP/1.0 404 Not Found"), VTResolutionServer::kFailed, "T-104-1404",
         "Transaction Failed"},
        {"html page", XmlReply("<html/>", "HTTP/1.0 200 OK", "text/html"), VTResolutionServer::kUnexpected,
         "T-102-1200", "Transaction Failed"},
        {"error document",
         XmlReply("<ERROR NUM='7'><REASON>Closed</REASON><SERVER TYPE='ROUTING'>"
                  "<TEMPLATE CMD='GET'>http://new.example/</TEMPLATE></SERVER></ERROR>"),
         VTResolutionServer::kFailed, "S-104-7", "Closed"},
        {"other root", XmlReply("<XGET/>"), VTResolutionServer::kUnexpected, "T-102-1200",
         "VTResolutionServer::OnHttpStateChange: unexpected response\n"},
        {"broken XML", XmlReply("<XDESC><CODE>"), VTResolutionServer::kUnexpected, "T-102-3000",
         "Internal error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Run(c.reply), ExchangeWaiter::kFailure);
        EXPECT_EQ(Resolution().GetState(true), c.state);
        EXPECT_EQ(ErrorCode(Resolution()), c.code);
        EXPECT_EQ(Error(Resolution()).GetMessage(), c.message);
    }
    std::string get;
    m_toolkit.GetRoutingRecord().GetCommand(kCommandGet, get);
    EXPECT_EQ(get, m_server.Url("/get")) << "description errors leave the core records alone";
}

TEST_F(ResolutionTest, RequestsWithNothingToSendChangeNothing)
{
    UseTemplates({});
    EXPECT_FALSE(Resolution().RequestDescriptions(m_request)) << "no description command";
    UseTemplates({{kCommandDesc, "/desc"}});
    EXPECT_FALSE(Resolution().RequestDescriptions(VTCodeDescriptionList()));
    UseTemplates({{kCommandDesc2, "/desc2"}});
    VTCodeDescriptionList noCodes;
    noCodes.Add(Described(kCodeUpcA, "03600", "02914", ""));
    EXPECT_FALSE(Resolution().RequestDescriptions(noCodes));
    EXPECT_EQ(Resolution().GetState(true), VTResolutionServer::kIdle);
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
}

TEST_F(ResolutionTest, AbortEndsTheRequestAsAborted)
{
    UseTemplates({{kCommandDesc, "/desc"}});
    m_server.Enqueue(ServerScript::Silent());
    ASSERT_TRUE(Resolution().RequestDescriptions(m_request));
    ASSERT_FALSE(m_server.WaitForRequest(0).empty());
    VTCodeDescriptionList answers;
    EXPECT_EQ(RaisedMessage([&] { Resolution().GetDescriptions(answers); }),
              "VTToolkitException: Invalid state: GetDescriptions()");
    EXPECT_EQ(RaisedMessage([&] { Resolution().RequestDescriptions(m_request); }),
              "VTToolkitException: Invalid state: RequestDescriptions()");
    Resolution().Abort();
    ASSERT_EQ(Finish(Resolution()), ExchangeWaiter::kFailure);
    EXPECT_EQ(Resolution().GetState(true), VTResolutionServer::kFailed);
    EXPECT_EQ(ErrorCode(Resolution()), "T-104-1");
    EXPECT_EQ(Error(Resolution()).GetMessage(), "Transaction Aborted");
}

} // namespace

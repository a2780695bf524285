// The exchanges of the reference server, driven the way the client drives
// them: real requests over loopback, replies read with the project's parser
// and the code model's own analysis and decomposition.
#include "tests/refserver/refserverfixture.h"
#include "tests/refserver/samplecodes.h"

#include "tst/http/htutil.h"
#include "tst/tsstrutl.h"
#include "tst/xml/dom/xmlutil/tsdomxmlutil.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/cdformat.h"
#include "vtkit/vtuserid.h"

#include <gmock/gmock.h>

#include <ctime>
#include <map>

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

struct RoutingKey {
    bool m_found = false;
    std::string m_type;
    std::string m_rid;
    std::string m_cacheDate;
    std::string m_serverName;
    std::map<std::string, std::string> m_templates;
};

std::string ShortTypeName(VTCodeType type)
{
    return CodeTypeName(type, true);
}

// The domain the client names for a key: "PC" for Vantrel and vanity keys,
// its own domain (here "US") for the others.
std::string DomainFor(VTCodeType type)
{
    return type == kCodeVantrel || type == kCodeVanity ? "PC" : "US";
}

std::string Now14()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &parts);
    return text;
}

class RefServerExchangeTest : public RefServerTest {
protected:
    Attributes QueryAttributes(const std::string& user = kDemoUser) const
    {
        return {{"USER", user}, {"CAPP", "PC"}, {"CVER", "1.0"}, {"TKVER", "3.2"}};
    }

    WireReply Split(const std::vector<Attributes>& barcodes, const std::string& user = kDemoUser) const
    {
        const std::string xml = RequestDocument(u"SPLIT", QueryAttributes(user), u"BARCODE", barcodes);
        return Send(XmlRequestForTemplate(CoreTemplate("ROUTING", "SPLIT"), xml));
    }

    WireReply Templates(const std::vector<Attributes>& keys, const std::string& user = kDemoUser) const
    {
        const std::string xml = RequestDocument(u"GET", QueryAttributes(user), u"ROUTING_KEY", keys);
        return Send(XmlRequestForTemplate(CoreTemplate("ROUTING", "GET"), xml));
    }

    // The format the server gives for one code, read as the client reads XSPLIT.
    VTCodeFormat FormatFor(VTCodeType type, const std::string& code) const
    {
        const WireReply reply =
            Split({{{"TYPE", ShortTypeName(type)}, {"CODE", StripSpacesAndDashes(code)}}});
        EXPECT_EQ(reply.m_status, 200);
        const TSDomElement root = ParseXml(reply.m_body).GetDocumentElement();
        EXPECT_EQ(Utf8(root.GetTagName()), "XSPLIT") << reply.m_body;
        const auto codes = GetChildElements(root, u"CODE");
        VTCodeFormat format;
        if (codes.size() != 1) {
            ADD_FAILURE() << "expected one format in\n" << reply.m_body;
            return format;
        }
        const TSDomElement& element = codes.front();
        format.SetCodeType(CodeTypeFromName(Attr(element, u"TYPE")));
        format.SetLowCode(Attr(element, u"LOW"));
        format.SetHighCode(Attr(element, u"HIGH"));
        const TSDomElement rid = GetChildElement(element, u"RID");
        const TSDomElement iid = GetChildElement(element, u"IID");
        format.SetRoutingId(std::stoi(Attr(rid, u"START")), std::stoi(Attr(rid, u"LENGTH")));
        format.SetItemId(std::stoi(Attr(iid, u"START")), std::stoi(Attr(iid, u"LENGTH")));
        format.SetDisplayTemplate(Attr(GetChildElement(element, u"CANONICAL"), u"FORMAT"));
        // A format without a future expiry would be useless to the client's cache.
        const std::string expire = Attr(GetChildElement(element, u"EXPIRE"), u"DATE");
        EXPECT_EQ(expire.size(), 14u);
        EXPECT_GT(expire, Now14());
        return format;
    }

    RoutingKey KeyFor(VTCodeType type, const std::string& sid, const std::string& domain) const
    {
        const WireReply reply =
            Templates({{{"DOMAIN", domain}, {"TYPE", ShortTypeName(type)}, {"RID", sid}}});
        EXPECT_EQ(reply.m_status, 200);
        const TSDomElement root = ParseXml(reply.m_body).GetDocumentElement();
        EXPECT_EQ(Utf8(root.GetTagName()), "XGET") << reply.m_body;
        RoutingKey key;
        for (const TSDomElement& element : GetChildElements(root, u"ROUTING_KEY")) {
            key.m_found = true;
            key.m_type = Attr(element, u"TYPE");
            key.m_rid = Attr(element, u"RID");
            key.m_cacheDate = Attr(element, u"CACHEDATE");
            key.m_serverName = ChildText(element, u"SERVERNAME");
            for (const TSDomElement& templ : GetChildElements(element, u"TEMPLATE"))
                key.m_templates[Attr(templ, u"CMD")] = Utf8(GetElementText(templ));
        }
        return key;
    }

    // One code's description through the key's DESC template: description and canonical.
    std::pair<std::string, std::string> DescribeXml(const std::string& templ, VTCodeType type,
                                                    const std::string& sid, const std::string& iid) const
    {
        const std::string xml = RequestDocument(
            u"DESC", {}, u"CODE", {{{"TYPE", ShortTypeName(type)}, {"RID", sid}, {"IID", iid}}});
        const WireReply reply = Send(XmlRequestForTemplate(templ, xml));
        EXPECT_EQ(reply.m_status, 200);
        EXPECT_EQ(reply.Header("Content-Type"), "text/xml");
        const TSDomElement root = ParseXml(reply.m_body).GetDocumentElement();
        EXPECT_EQ(Utf8(root.GetTagName()), "XDESC") << reply.m_body;
        const auto codes = GetChildElements(root, u"CODE");
        if (codes.size() != 1) {
            ADD_FAILURE() << "expected one answer in\n" << reply.m_body;
            return {};
        }
        EXPECT_EQ(Attr(codes[0], u"IID"), iid);
        EXPECT_EQ(Attr(codes[0], u"RID"), sid);
        return {Utf8(GetChildElementText(codes[0], u"DESCRIPTION", true)), ChildText(codes[0], u"CANONICAL")};
    }

    // The line-form reply for the key's DESC2 template.
    WireReply DescribeLines(const std::string& templ, const VTCodeContents& contents) const
    {
        TSStringMap values = ClientVariables();
        values.Set("CODE", contents.GetCode());
        values.Set("IID", contents.GetItemId());
        values.Set("SID", contents.GetServerId());
        return Send(LinesRequestForTemplate(templ, values));
    }

    void WalkSample(const SampleCode& sample) const;
};

void RefServerExchangeTest::WalkSample(const SampleCode& sample) const
{
    std::vector<VTCodeType> candidates;
    AnalyzeCode(sample.m_code, candidates, kScanTypeUnknown, false);
    EXPECT_THAT(candidates, Contains(sample.m_type));

    VTCodeFormat format;
    format.SetCodeType(sample.m_type);
    if (RequiresCodeFormat(sample.m_type))
        format = FormatFor(sample.m_type, sample.m_code);
    VTCodeContents contents;
    ASSERT_NO_THROW(DecomposeAs(sample.m_code, sample.m_type, format, contents));
    EXPECT_EQ(contents.GetServerId(), sample.m_sid);
    EXPECT_EQ(contents.GetItemId(), sample.m_iid);

    const RoutingKey key = KeyFor(sample.m_type, contents.GetServerId(), DomainFor(sample.m_type));
    ASSERT_TRUE(key.m_found);
    // The client files the answer under the key it asked for.
    EXPECT_EQ(key.m_rid, contents.GetServerId());
    EXPECT_EQ(key.m_type, ShortTypeName(sample.m_type));
    EXPECT_GT(key.m_cacheDate, Now14());
    ASSERT_TRUE(key.m_templates.count("GET"));

    // The address of the code's page, built as the batch builds it, opens a real page.
    TSStringMap values = ClientVariables();
    contents.ExportTo(values);
    const std::string address = Substitute(key.m_templates.at("GET"), values);
    EXPECT_THAT(address, ::testing::StartsWith(Url("/item?")));
    const WireReply page = Send(HttpRequestText("GET", address));
    EXPECT_EQ(page.m_status, 200) << address;
    EXPECT_EQ(page.Header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_THAT(page.m_body, HasSubstr(sample.m_description));
    EXPECT_THAT(page.m_body, HasSubstr("Opened for Demo User"));

    const std::string command = sample.m_command;
    // A key offering both commands is asked with DESC, as the client does.
    if (command == "DESC") {
        const auto [description, canonical] = DescribeXml(key.m_templates.at("DESC"), sample.m_type,
                                                          contents.GetServerId(), contents.GetItemId());
        EXPECT_EQ(description, sample.m_description);
        EXPECT_EQ(canonical, sample.m_canonical);
    } else if (command == "DESC2") {
        ASSERT_FALSE(key.m_templates.count("DESC"));
        const WireReply reply = DescribeLines(key.m_templates.at("DESC2"), contents);
        EXPECT_EQ(reply.m_status, 200);
        EXPECT_EQ(reply.m_body, contents.GetItemId() + "=" + sample.m_description + "\r\n");
    } else {
        EXPECT_FALSE(key.m_templates.count("DESC") || key.m_templates.count("DESC2"));
    }
}

TEST_F(RefServerExchangeTest, EverySampleCodeResolvesToItsPageAndDescription)
{
    for (const SampleCode& sample : kSamples) {
        SCOPED_TRACE(sample.m_code);
        WalkSample(sample);
    }
}

TEST_F(RefServerExchangeTest, UrlCodesOpenTheirAddressDirectly)
{
    const char* code = "http://127.0.0.1:8470/item?type=URL&sid=URL&iid=welcome";
    std::vector<VTCodeType> candidates;
    AnalyzeCode(code, candidates, kScanTypeUnknown, false);
    EXPECT_THAT(candidates, Contains(kCodeUrl));
    // The sample names the default address; this server listens elsewhere.
    const WireReply page = Get(std::string(code).substr(std::string("http://127.0.0.1:8470").size()));
    EXPECT_EQ(page.m_status, 200);
    EXPECT_THAT(page.m_body, HasSubstr("Welcome to the reference server"));
}

TEST_F(RefServerExchangeTest, SplitAnswersOnlyKnownRangesOnceEach)
{
    const WireReply reply = Split({
        {{"TYPE", "UPC"}, {"CODE", "036000291452"}},
        {{"TYPE", "UPC"}, {"CODE", "036000111116"}},    // same range
        {{"TYPE", "EAN13"}, {"CODE", "5901234123457"}}, // no format for it
        {{"TYPE", "EAN8"}, {"CODE", "036000291452"}},   // a range of another type
        {{"TYPE", "NOSUCH"}, {"CODE", "1"}},
    });
    ASSERT_EQ(reply.m_status, 200);
    const TSDomElement root = ParseXml(reply.m_body).GetDocumentElement();
    const auto codes = GetChildElements(root, u"CODE");
    ASSERT_EQ(codes.size(), 1u) << reply.m_body;
    EXPECT_EQ(Attr(codes[0], u"TYPE"), "UPCA");
    EXPECT_EQ(Attr(codes[0], u"LOW"), "036000000000");
    // Every routing reply refreshes the client's core records.
    EXPECT_EQ(GetChildElements(root, u"SERVER").size(), 3u);
}

TEST_F(RefServerExchangeTest, TemplateQueryKeepsTheDomainRuleForVanityAndVantrelKeys)
{
    // The client names the PC domain for these keys whatever its own domain is.
    EXPECT_TRUE(KeyFor(kCodeVanity, "PRINTSHOP", "PC").m_found);
    EXPECT_FALSE(KeyFor(kCodeVanity, "PRINTSHOP", "US").m_found);
    EXPECT_FALSE(KeyFor(kCodeVantrel, "12345", "US").m_found);
    // Keys without a domain of their own answer any domain.
    EXPECT_TRUE(KeyFor(kCodeEan13, "4006381", "US").m_found);
    EXPECT_TRUE(KeyFor(kCodeEan13, "4006381", "PC").m_found);
}

TEST_F(RefServerExchangeTest, TemplateQueryAnswersEachKnownKeyOnceAndLeavesOutTheRest)
{
    const WireReply reply = Templates({
        {{"DOMAIN_ID", "7"}, {"DOMAIN", "US"}, {"TYPE", "UPC"}, {"RID", "036000"}},
        {{"DOMAIN", "US"}, {"TYPE", "UPC"}, {"RID", "036000"}},
        {{"DOMAIN", "US"}, {"TYPE", "UPC"}, {"RID", "999999"}},
        {{"DOMAIN", "PC"}, {"TYPE", "NUMI"}, {"RID", "NUMI"}},
    });
    ASSERT_EQ(reply.m_status, 200);
    const auto keys = GetChildElements(ParseXml(reply.m_body).GetDocumentElement(), u"ROUTING_KEY");
    ASSERT_EQ(keys.size(), 2u) << reply.m_body;
    EXPECT_EQ(Attr(keys[0], u"RID"), "036000");
    EXPECT_EQ(ChildText(keys[0], u"SERVERNAME"), "Lumora Demo Grocer");
    EXPECT_EQ(Attr(keys[1], u"TYPE"), "NUMI");
}

TEST_F(RefServerExchangeTest, DescriptionQueriesAnswerSeveralCodesInOrder)
{
    // XML form: one answer per distinct item, unknown items with an empty description.
    const std::string xml = RequestDocument(u"DESC", {}, u"CODE",
                                            {{{"TYPE", "VANITY"}, {"RID", "PRINTSHOP"}, {"IID", "SPRING"}},
                                             {{"TYPE", "VANITY"}, {"RID", "PRINTSHOP"}, {"IID", "AUTUMN"}},
                                             {{"TYPE", "VANITY"}, {"RID", "PRINTSHOP"}, {"IID", "SPRING"}},
                                             {{"TYPE", "VANITY"}, {"RID", "PRINTSHOP"}, {"IID", ""}}});
    const WireReply reply = Post("/desc", "text/xml", xml);
    ASSERT_EQ(reply.m_status, 200);
    const auto codes = GetChildElements(ParseXml(reply.m_body).GetDocumentElement(), u"CODE");
    ASSERT_EQ(codes.size(), 3u) << reply.m_body;
    EXPECT_EQ(Attr(codes[0], u"IID"), "SPRING");
    EXPECT_EQ(Attr(codes[1], u"IID"), "AUTUMN");
    EXPECT_EQ(ChildText(codes[1], u"DESCRIPTION"), "");
    EXPECT_TRUE(FindChildElement(codes[1], u"CANONICAL").IsNull());
    EXPECT_EQ(ChildText(codes[2], u"DESCRIPTION"), "Print Shop home page");

    // Line form: the lists are comma-separated; an empty item ID cannot be
    // answered in this form and a repeated one is answered once.
    const WireReply lines =
        Post("/desc2", "text/x-url-encoded",
             "TYPE=EAN13&SID=4006381&CODE=4006381123457%2C4006381333931%2C4006381000002%2C&"
             "IID=12345%2C33393%2C00000%2C%2C12345");
    ASSERT_EQ(lines.m_status, 200);
    EXPECT_EQ(lines.Header("Content-Type"), "text/plain");
    EXPECT_EQ(lines.m_body, "12345=Highlighter, yellow\r\n33393=Fine-liner pen, black\r\n00000=\r\n");

    // At the address of one key: the items the request names, known or not;
    // only a request that names none gets every item of the key.
    const WireReply named = Post("/desc2/EAN8/9638", "text/x-url-encoded", "IID=999%2C507");
    ASSERT_EQ(named.m_status, 200);
    EXPECT_EQ(named.Header("Content-Type"), "text/plain");
    EXPECT_EQ(named.m_body, "999=\r\n507=Green tea, 20 bags\r\n");
    EXPECT_EQ(Get("/desc2/EAN8/9638?IID=999").m_body, "999=\r\n");
    EXPECT_EQ(Get("/desc2/EAN8/9638").m_body, "507=Green tea, 20 bags\r\n");
}

TEST_F(RefServerExchangeTest, BothXmlTemplateFormsGiveTheSameAnswer)
{
    const std::string xml = RequestDocument(u"SPLIT", QueryAttributes(), u"BARCODE",
                                            {{{"TYPE", "BOOKLAND"}, {"CODE", "9780306406157"}}});
    const WireReply raw = Send(XmlRequestForTemplate(Url("/route"), xml));
    const WireReply form = Send(XmlRequestForTemplate(Url("/route?XMLREQUEST=<^XMLREQUEST^>"), xml));
    const WireReply otherName = Send(XmlRequestForTemplate(Url("/route?v=1&payload=<^XMLREQUEST^>"), xml));
    ASSERT_EQ(raw.m_status, 200);
    EXPECT_THAT(raw.m_body, HasSubstr("LOW='9780306400000'"));
    // Formats carry the reply's own time stamp, so compare the formats only.
    const auto firstCode = [](const WireReply& reply) {
        const auto codes = GetChildElements(ParseXml(reply.m_body).GetDocumentElement(), u"CODE");
        return codes.empty() ? std::string() : Attr(codes[0], u"LOW") + "/" + Attr(codes[0], u"HIGH");
    };
    EXPECT_EQ(firstCode(form), firstCode(raw));
    EXPECT_EQ(firstCode(otherName), firstCode(raw));
}

TEST_F(RefServerExchangeTest, AttachHandsOutTheAccountsBlindedId)
{
    struct Case {
        const char* m_login;
        const char* m_password;
        const char* m_user;
        const char* m_clearId;
    };
    const Case cases[] = {
        {"demo", "demo", kDemoUser, kDemoClearId},
        {"DEMO", "demo", kDemoUser, kDemoClearId},
        {"Jane Doe", "p&ss word", "339430961779487", "314159265"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_login);
        // As the client does: form-encode login and password, fill the ATTACH template, GET it.
        std::string login = c.m_login;
        std::string password = c.m_password;
        UrlEncode(login);
        UrlEncode(password);
        TSStringMap values = ClientVariables();
        values.Set("LOGIN", login);
        values.Set("PASSWORD", password);
        const WireReply reply =
            Send(HttpRequestText("GET", Substitute(CoreTemplate("REGISTRATION", "ATTACH"), values)));
        ASSERT_EQ(reply.m_status, 200);
        EXPECT_EQ(reply.Header("Content-Type"), "text/xml");
        const TSDomElement root = ParseXml(reply.m_body).GetDocumentElement();
        ASSERT_EQ(Utf8(root.GetTagName()), "XATTACH") << reply.m_body;
        const TSDomElement userData = GetChildElement(root, u"USERDATA");
        // The client compares LOGIN with what it sent, which was form-encoded.
        EXPECT_EQ(Attr(userData, u"LOGIN"), login);
        EXPECT_EQ(Attr(userData, u"APPID"), "PC");
        const std::string user = ChildText(userData, u"USER");
        EXPECT_EQ(user, c.m_user);
        // The id unblinds as the client's user identity does it.
        VTUserId id;
        ASSERT_NO_THROW(id.SetBlindedId(user));
        EXPECT_EQ(id.GetClearId(), c.m_clearId);
        EXPECT_EQ(GetChildElements(root, u"SERVER").size(), 3u);
    }
}

TEST_F(RefServerExchangeTest, RoutingQueriesOfAnyAccountAndAnySaltAreServed)
{
    for (const std::string& user :
         {Reblind(kDemoClearId, 0), Reblind(kDemoClearId, 9999), Reblind("314159265", 17)}) {
        const WireReply reply = Split({{{"TYPE", "EAN8"}, {"CODE", "96385074"}}}, user);
        EXPECT_THAT(reply.m_body, HasSubstr("<XSPLIT>")) << user;
    }
}

// Requests the server cannot serve: each gets an ERROR document with the
// number saying why.
TEST_F(RefServerExchangeTest, UnservableRequestsGetErrorDocuments)
{
    struct Case {
        const char* m_what;
        std::string m_method;
        std::string m_path;
        std::string m_contentType;
        std::string m_body;
        int m_status;
        int m_number;
    };
    const std::string split = RequestDocument(u"SPLIT", {{"USER", kDemoUser}}, u"BARCODE", {});
    const Case cases[] = {
        {"not XML", "POST", "/route", "text/xml", "SPLIT please", 200, 10},
        {"cut-off XML", "POST", "/route", "text/xml", split.substr(0, split.size() / 2), 200, 10},
        {"empty body", "POST", "/route", "text/xml", "", 200, 10},
        {"form without XML", "POST", "/route", "text/x-url-encoded", "a=1&b=2", 200, 10},
        {"unsupported type", "POST", "/route", "image/gif", "GIF89a", 200, 10},
        {"bad UTF-8", "POST", "/route", "text/xml", "<SPLIT USER='\x80'/>", 200, 10},
        {"wrong root", "POST", "/route", "text/xml", "<DESC/>", 200, 11},
        {"no USER", "POST", "/route", "text/xml", "<SPLIT/>", 200, 20},
        {"USER not blinded", "POST", "/route", "text/xml", "<GET USER='116306380970206'/>", 200, 20},
        {"USER of no account", "POST", "/route", "text/xml",
         "<SPLIT USER='" + Reblind("999999999", 1) + "'/>", 200, 20},
        {"DESC of an unknown key", "POST", "/desc", "text/xml",
         "<DESC><CODE TYPE='UPC' RID='999999' IID='1'/></DESC>", 200, 30},
        {"DESC posted a SPLIT", "POST", "/desc", "text/xml", split, 200, 11},
        {"attach without password", "GET", "/attach?login=demo", "", "", 200, 10},
        {"attach, wrong password", "GET", "/attach?login=demo&password=DEMO", "", "", 200, 21},
        {"attach, unknown login", "GET", "/attach?login=nobody&password=demo", "", "", 200, 21},
        {"lines without SID", "POST", "/desc2", "text/x-url-encoded", "CODE=42&IID=42", 400, 10},
        {"lines of an unknown key", "POST", "/desc2", "text/x-url-encoded", "SID=NOPE&CODE=1&IID=1", 404, 30},
        {"all lines of an unknown key", "GET", "/desc2/EAN8/0000", "", "", 404, 30},
        {"unknown address", "GET", "/nothing/here", "", "", 404, 11},
        {"GET of the routing address", "GET", "/route", "", "", 405, 11},
        {"unknown method", "DELETE", "/", "", "", 405, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_what);
        std::string request = c.m_method + " " + c.m_path + " HTTP/1.0\r\n";
        if (!c.m_contentType.empty())
            request += "Content-Type: " + c.m_contentType + "\r\n";
        if (c.m_method == "POST")
            request += "Content-Length: " + std::to_string(c.m_body.size()) + "\r\n";
        const WireReply reply = Send(request + "\r\n" + c.m_body);
        EXPECT_EQ(reply.m_status, c.m_status);
        ExpectErrorDocument(reply, c.m_number);
    }
    EXPECT_EQ(Get("/route").Header("Allow"), "POST");
}

TEST_F(RefServerExchangeTest, ErrorPagesExplainEveryNumberTheServerSends)
{
    for (const int number : {10, 11, 12, 13, 20, 21, 30, 50, 51}) {
        const WireReply page = Get("/error?NUM=" + std::to_string(number));
        EXPECT_EQ(page.m_status, 200) << number;
        EXPECT_THAT(page.m_body, HasSubstr("Error " + std::to_string(number) + ": "));
    }
    // 100 asks the client to retry at once; the server never uses it.
    EXPECT_EQ(Get("/error?NUM=100").m_status, 404);
}

TEST_F(RefServerExchangeTest, HelpAndAccountPagesFollowTheCoreTemplates)
{
    TSStringMap values = ClientVariables();
    values.Set("IID", "1");
    const WireReply help = Send(HttpRequestText("GET", Substitute(CoreTemplate("HELP", "GET"), values)));
    EXPECT_EQ(help.m_status, 200);
    EXPECT_THAT(help.m_body, HasSubstr("<h1>Lumora help</h1>"));
    // Links inside help pages point at this server.
    EXPECT_THAT(help.m_body, HasSubstr(Url("/help?IID=2")));
    EXPECT_THAT(help.m_body, ::testing::Not(HasSubstr("{BASE}")));

    for (const char* missing : {"/help?IID=3", "/help?IID=../core.xml", "/help?IID=", "/help"})
        EXPECT_EQ(Get(missing).m_status, 404) << missing;

    for (const char* command : {"REGISTER", "LOSTPWD", "LOGIN"}) {
        const WireReply page =
            Send(HttpRequestText("GET", Substitute(CoreTemplate("REGISTRATION", command), values)));
        EXPECT_EQ(page.m_status, 200) << command;
    }
    const WireReply login =
        Send(HttpRequestText("GET", Substitute(CoreTemplate("REGISTRATION", "LOGIN"), values)));
    EXPECT_THAT(login.m_body, HasSubstr("Demo User"));
    EXPECT_THAT(Get("/login?user=123").m_body, HasSubstr("not attached"));
}

TEST_F(RefServerExchangeTest, PagesOfUnknownItemsAreNotFoundAndTheIndexListsEverySample)
{
    EXPECT_EQ(Get("/item?type=EAN13&sid=4006381&iid=99999").m_status, 404);
    EXPECT_EQ(Get("/item").m_status, 404);
    // Markup in a request never reaches a page unescaped.
    const WireReply hostile = Get("/item?type=%3Cscript%3E&sid=1&iid=2");
    EXPECT_EQ(hostile.m_status, 404);
    EXPECT_THAT(hostile.m_body, ::testing::Not(HasSubstr("<script>")));

    const WireReply index = Get("/");
    EXPECT_EQ(index.m_status, 200);
    // Every item's own sample code (other spellings of the same code aside).
    for (const char* code :
         {"036000291452", "04252614", "4006381333931", "4006381123457", "96385074", "080442957X",
          "9780306406157", "42", "7", "PRINTSHOP/SPRING", "PRINTSHOP", "687813053406", "237659"})
        EXPECT_THAT(index.m_body, HasSubstr(std::string("<code>") + code + "</code>"));
}

} // namespace

#include "tests/refserver/refserverfixture.h"

#include "tst/http/htreq.h"
#include "tst/http/htutil.h"
#include "tst/tsexcep.h"
#include "tst/tsstrsub.h"
#include "tst/tsstrutl.h"
#include "tst/xml/dom/xmlutil/tsdomxmlutil.h"
#include "tst/xml/io/domformat.h"
#include "tst/xml/io/domparse.h"
#include "tst/xml/io/xmlsink.h"
#include "tst/xml/io/xmlsource.h"
#include "tst/xml/transcode.h"
#include "vtkit/vtuserid.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

std::string RefServerProgram()
{
    return LUMORA_REFSERVER_PATH;
}

std::filesystem::path SampleDataFolder()
{
    return std::filesystem::path(LUMORA_SOURCE_DIR) / "data" / "refserver";
}

std::string WireReply::Header(std::string_view name) const
{
    std::string value;
    m_response.GetHeaderValue(name, 0, value);
    return value;
}

RawConnection::RawConnection(std::uint16_t port)
{
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd < 0 || connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
}

RawConnection::~RawConnection()
{
    Close();
}

bool RawConnection::Send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void RawConnection::ShutdownSend()
{
    shutdown(m_fd, SHUT_WR);
}

std::string RawConnection::ReadAll(int timeoutMs)
{
    std::string bytes;
    char buffer[4096];
    while (true) {
        pollfd fd{m_fd, POLLIN, 0};
        const int ready = poll(&fd, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return bytes;
        const ssize_t count = recv(m_fd, buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return bytes;
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

void RawConnection::Reset()
{
    linger option{1, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    Close();
}

void RawConnection::Close()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

WireReply ParseReply(std::string raw)
{
    WireReply reply;
    reply.m_raw = std::move(raw);
    try {
        const std::size_t headLength = reply.m_response.ParseHead(reply.m_raw);
        reply.m_status = reply.m_response.GetStatus();
        reply.m_body = reply.m_raw.substr(headLength);
        std::uint64_t length = 0;
        reply.m_parsed = reply.m_response.GetContentLength(length) && length == reply.m_body.size();
    } catch (const TSException&) {
        reply.m_parsed = false;
    }
    return reply;
}

WireReply Exchange(std::uint16_t port, std::string_view bytes)
{
    RawConnection connection(port);
    connection.Send(bytes);
    return ParseReply(connection.ReadAll());
}

std::string Utf8(std::u16string_view text)
{
    return WideToUtf8(text);
}

std::u16string Wide(std::string_view text)
{
    return Utf8ToWide(text);
}

TSDomDocument ParseXml(const std::string& text)
{
    try {
        TSXmlUtf8DataSource source(text);
        TSDomParser parser(&source);
        return parser.Parse();
    } catch (const TSException& e) {
        ADD_FAILURE() << e.GetMessage() << " in\n" << text;
        return TSDomDocument(u"PARSE_FAILED");
    }
}

std::string Attr(const TSDomElement& element, std::u16string_view name)
{
    return Utf8(element.GetAttribute(name));
}

std::string ChildText(const TSDomElement& element, std::u16string_view name)
{
    return Utf8(GetChildElementText(element, name, false));
}

std::string RequestDocument(std::u16string_view root, const Attributes& rootAttributes,
                            std::u16string_view child, const std::vector<Attributes>& children)
{
    TSDomDocument document(root);
    TSDomElement top = document.GetDocumentElement();
    for (const auto& [name, value] : rootAttributes)
        top.SetAttribute(TSDomString(Wide(name)), TSDomString(Wide(value)));
    for (const Attributes& attributes : children) {
        TSDomElement element{TSDomString(child)};
        for (const auto& [name, value] : attributes)
            element.SetAttribute(TSDomString(Wide(name)), TSDomString(Wide(value)));
        top.AppendChild(element);
    }
    TSXmlDataBufferSink sink;
    TSDomFormatter formatter(&sink);
    formatter.SetIndentWidth(4);
    formatter.Format(document);
    return WideToUtf8(sink.GetText());
}

std::string Reblind(std::string_view clearId, unsigned salt)
{
    return VTUserId::Blind(clearId, static_cast<int>(salt % 10000));
}

TSStringMap ClientVariables()
{
    TSStringMap values;
    values.Set("CVER", "1.0");
    values.Set("CSRC", "TEST");
    values.Set("CLANG", "ENU");
    values.Set("CAPP", "PC");
    values.Set("OS", "LINUX");
    values.Set("USER", Reblind(kDemoClearId, 4242));
    values.Set("USERC", kDemoClearId);
    return values;
}

std::string Substitute(std::string text, const TSStringMap& values)
{
    TSStringSubst::ForTemplates(values).Substitute(text);
    return text;
}

std::string HttpRequestText(const std::string& verb, const std::string& url, int contentType,
                            const std::string& body)
{
    TSHttpRequest request;
    request.SetVerb(verb == "POST" ? kHttpPost : kHttpGet);
    request.SetUrl(url);
    if (contentType >= 0)
        request.SetContentType(contentType);
    request.SetBody(body);
    if (verb == "POST")
        request.SetContentLengthAndHost();
    return request.FormatRequest(false);
}

namespace {

std::string SplitAndPost(const std::string& filled)
{
    const auto question = filled.find('?');
    return HttpRequestText("POST", filled.substr(0, question), kContentUrlEncoded,
                           filled.substr(question + 1));
}

} // namespace

std::string XmlRequestForTemplate(const std::string& templateText, const std::string& xml)
{
    if (templateText.find('?') == std::string::npos)
        return HttpRequestText("POST", templateText, kContentTextXml, xml);
    std::string encoded = xml;
    UrlEncode(encoded);
    TSStringMap values;
    values.Set("XMLREQUEST", encoded);
    return SplitAndPost(Substitute(templateText, values));
}

std::string LinesRequestForTemplate(const std::string& templateText, const TSStringMap& values)
{
    if (templateText.find('?') == std::string::npos)
        return HttpRequestText("GET", templateText, kContentTextPlain);
    return SplitAndPost(Substitute(templateText, values));
}

void RefServerTest::SetUp()
{
    const auto portFile = m_dir / "port";
    std::vector<std::string> args = {"--listen",     "127.0.0.1:0",
                                     "--port-file",  portFile.string(),
                                     "--data",       SampleDataFolder().string(),
                                     "--core-cache", (m_dir / "Server.dat").string()};
    for (const auto& option : ExtraOptions())
        args.push_back(option);
    m_server = std::make_unique<ServerProcess>(RefServerProgram(), args);
    m_port = m_server->WaitForPortFile(portFile);
    ASSERT_NE(m_port, 0) << m_server->ErrorOutput();
}

void RefServerTest::TearDown()
{
    if (!m_server || !m_stopInTearDown)
        return;
    EXPECT_EQ(m_server->Stop(SIGTERM), 0) << m_server->ErrorOutput();
}

std::string RefServerTest::Url(std::string_view pathAndQuery) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(pathAndQuery);
}

WireReply RefServerTest::Get(std::string_view pathAndQuery) const
{
    return Send(HttpRequestText("GET", Url(pathAndQuery)));
}

WireReply RefServerTest::Post(std::string_view path, std::string_view contentType,
                              std::string_view body) const
{
    std::string request = "POST " + std::string(path) + " HTTP/1.0\r\n";
    if (!contentType.empty())
        request += "Content-Type: " + std::string(contentType) + "\r\n";
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
    return Send(request);
}

void RefServerTest::ExpectErrorDocument(const WireReply& reply, int number) const
{
    ASSERT_TRUE(reply.m_parsed) << reply.m_raw;
    EXPECT_EQ(reply.Header("Content-Type"), "text/xml");
    const TSDomElement root = ParseXml(reply.m_body).GetDocumentElement();
    ASSERT_EQ(Utf8(root.GetTagName()), "ERROR") << reply.m_body;
    EXPECT_EQ(Attr(root, u"NUM"), std::to_string(number)) << reply.m_body;
    EXPECT_FALSE(ChildText(root, u"REASON").empty());
    EXPECT_FALSE(ChildText(root, u"DETAILS").empty());
    EXPECT_EQ(ChildText(root, u"URL"), Url("/error?NUM=" + std::to_string(number)));
    // Error documents refresh the client's core records too.
    std::vector<std::string> servers;
    for (const TSDomElement& server : GetChildElements(root, u"SERVER"))
        servers.push_back(Attr(server, u"TYPE"));
    EXPECT_EQ(servers, (std::vector<std::string>{"ROUTING", "REGISTRATION", "HELP"}));
}

std::string RefServerTest::CoreTemplate(std::string_view serverType, std::string_view command) const
{
    const TSDomElement root = ParseXml(TempDir::ReadFile(m_dir / "Server.dat")).GetDocumentElement();
    for (const TSDomElement& server : GetChildElements(root, u"SERVER")) {
        if (Attr(server, u"TYPE") != serverType)
            continue;
        for (const TSDomElement& templ : GetChildElements(server, u"TEMPLATE"))
            if (Attr(templ, u"CMD") == command)
                return Utf8(GetElementText(templ));
    }
    ADD_FAILURE() << "no " << command << " template in the " << serverType << " record";
    return {};
}

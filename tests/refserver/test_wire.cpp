// The reference server as a process on the wire: broken and hostile peers,
// many peers at once, start-up, shutdown, and the Server.dat it ships.
#include "tests/refserver/refserverfixture.h"

#include "tests/support/runprogram.h"
#include "tst/tsstrmap.h"
#include "tst/xml/dom/xmlutil/tsdomxmlutil.h"
#include "tst/xml/io/domformat.h"
#include "tst/xml/io/domparse.h"
#include "tst/xml/io/xmlsink.h"
#include "tst/xml/transcode.h"

#include <gmock/gmock.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

namespace {

using ::testing::HasSubstr;

// The log lines that contain `text`, waiting up to `timeout` for `count` of them.
std::size_t WaitForLogLines(const ServerProcess& server, const std::string& text, std::size_t count,
                            std::chrono::seconds timeout = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t found = 0;
    while (true) {
        const std::string log = server.ErrorOutput();
        found = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++found;
        if (found >= count || std::chrono::steady_clock::now() > deadline)
            return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

TEST_F(RefServerTest, MalformedHeadsGetErrorDocumentsAndTheServerGoesOn)
{
    struct Case {
        const char* m_what;
        std::string m_bytes;
        int m_status;
        int m_number; // 0: an ordinary reply
    };
    const Case cases[] = {
        {"no request line", "GARBAGE\r\n\r\n", 400, 10},
        {"header without colon", "GET / HTTP/1.0\r\nNo colon here\r\n\r\n", 400, 10},
        {"other protocol", "GET / HTTP/2.0\r\n\r\n", 400, 10},
        {"blank in target", "GET / x HTTP/1.0\r\n\r\n", 400, 10},
        {"relative target", "GET index HTTP/1.0\r\n\r\n", 400, 10},
        {"binary bytes", std::string("\x00\x01\x02\xff\r\n\r\n", 8), 400, 10},
        {"leading blank", " GET / HTTP/1.0\r\n\r\n", 400, 10},
        {"POST without length", "POST /route HTTP/1.0\r\n\r\n", 411, 10},
        {"negative length", "POST /route HTTP/1.0\r\nContent-Length: -5\r\n\r\n", 400, 10},
        {"two lengths", "POST /route HTTP/1.0\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nabcdef", 400,
         10},
        {"huge length", "POST /route HTTP/1.0\r\nContent-Length: 99999999999\r\n\r\n", 413, 12},
        {"huge header line", "GET / HTTP/1.0\r\nX-Long: " + std::string(70000, 'a') + "\r\n\r\n", 431, 12},
        {"too many headers",
         "GET / HTTP/1.0\r\n" +
             [] {
                 std::string lines;
                 for (int i = 0; i < 150; ++i)
                     lines += "X-N" + std::to_string(i) + ": 1\r\n";
                 return lines;
             }() +
             "\r\n",
         431, 12},
        // Tolerated forms.
        {"blank lines first", "\r\n\r\nGET / HTTP/1.0\r\n\r\n", 200, 0},
        {"bare line feeds", "GET / HTTP/1.0\nHost: x\n\n", 200, 0},
        {"absolute target", "GET http://127.0.0.1:9/ HTTP/1.0\r\n\r\n", 200, 0},
        {"HTTP/1.1", "GET /help?IID=1 HTTP/1.1\r\nHost: x\r\n\r\n", 200, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_what);
        const WireReply reply = Send(c.m_bytes);
        EXPECT_EQ(reply.m_status, c.m_status) << reply.m_raw.substr(0, 200);
        EXPECT_EQ(reply.Header("Connection"), "close");
        if (c.m_number != 0)
            ExpectErrorDocument(reply, c.m_number);
    }
    EXPECT_EQ(Get("/").m_status, 200);
}

TEST_F(RefServerTest, OversizedBodiesAreRefusedAndTheReplyStillArrives)
{
    // The whole body is sent: the server answers after the head and reads
    // the rest away, so the reply is not lost to a reset.
    const std::size_t size = 1024 * 1024 + 1;
    RawConnection connection(m_port);
    std::thread sender([&] {
        connection.Send("POST /desc HTTP/1.0\r\nContent-Type: text/xml\r\nContent-Length: " +
                        std::to_string(size) + "\r\n\r\n" + std::string(size, '<'));
    });
    const WireReply reply = ParseReply(connection.ReadAll());
    sender.join();
    EXPECT_EQ(reply.m_status, 413);
    ExpectErrorDocument(reply, 12);
    EXPECT_EQ(Get("/").m_status, 200);
}

TEST_F(RefServerTest, DeeplyNestedDocumentsAreAnsweredLikeAnyOther)
{
    const auto nestedIn = [](std::size_t depth) {
        std::string nested;
        for (std::size_t i = 0; i < depth; ++i)
            nested += "<a>";
        for (std::size_t i = 0; i < depth; ++i)
            nested += "</a>";
        return nested;
    };
    // As deep as the parser reads, under the request's root.
    const std::size_t deepest = TSDomParser::Limits{}.m_maxDepth - 1;
    const WireReply split =
        Post("/route", "text/xml",
             "<SPLIT USER='" + std::string(kDemoUser) + "'>" + nestedIn(deepest) + "</SPLIT>");
    EXPECT_EQ(split.m_status, 200);
    EXPECT_THAT(split.m_body, HasSubstr("<XSPLIT>"));
    // Close to the body limit, 140 000 levels: a malformed request naming the limit.
    const std::string nested = nestedIn(140000);
    const WireReply refused =
        Post("/route", "text/xml", "<SPLIT USER='" + std::string(kDemoUser) + "'>" + nested + "</SPLIT>");
    ExpectErrorDocument(refused, 10);
    EXPECT_THAT(refused.m_body, HasSubstr("more than 256 levels of nesting at Line 1 Column"));
    ExpectErrorDocument(Post("/desc", "text/xml", "<DESC>" + nested.substr(0, nested.size() / 2)), 10);
    EXPECT_EQ(Get("/").m_status, 200);
}

TEST_F(RefServerTest, PeersThatLeaveMidRequestDoNotDisturbTheServer)
{
    const std::string partialHead = "POST /route HTTP/1.0\r\nContent-Le";
    const std::string shortBody =
        "POST /route HTTP/1.0\r\nContent-Type: text/xml\r\nContent-Length: 100\r\n\r\n<SPLIT";
    {
        RawConnection connection(m_port); // says nothing at all
    }
    {
        RawConnection connection(m_port);
        connection.Send(partialHead);
    }
    {
        RawConnection connection(m_port);
        connection.Send(shortBody);
        connection.ShutdownSend();
        EXPECT_EQ(connection.ReadAll(), "");
    }
    {
        RawConnection connection(m_port);
        connection.Send(shortBody);
        connection.Reset();
    }
    {
        // A whole request whose sender vanishes before the reply.
        RawConnection connection(m_port);
        connection.Send("GET / HTTP/1.0\r\n\r\n");
        connection.Reset();
    }
    EXPECT_GE(WaitForLogLines(*m_server, "closed by the peer after", 4), 4u) << m_server->ErrorOutput();
    EXPECT_EQ(Get("/").m_status, 200);
    EXPECT_TRUE(m_server->IsRunning());
}

class SlowPeerTest : public RefServerTest {
protected:
    std::vector<std::string> ExtraOptions() const override { return {"--read-timeout", "1"}; }
};

TEST_F(SlowPeerTest, APeerTooSlowToSendItsRequestIsToldSo)
{
    RawConnection connection(m_port);
    connection.Send("POST /route HTTP/1.0\r\nContent-Length: 10\r\n\r\n<SP");
    const WireReply reply = ParseReply(connection.ReadAll());
    EXPECT_EQ(reply.m_status, 408);
    ExpectErrorDocument(reply, 13);
}

// Slow peers hold no worker: with two workers and an hour for each
// request, fifty connections holding partial heads leave a good query to
// be answered at once, while they still wait, told nothing.
class HeldPeersTest : public RefServerTest {
protected:
    std::vector<std::string> ExtraOptions() const override
    {
        return {"--workers", "2", "--read-timeout", "3600"};
    }
};

TEST_F(HeldPeersTest, SlowPeersDoNotDelayAGoodQuery)
{
    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < 50; ++i) {
        held.push_back(std::make_unique<RawConnection>(m_port));
        ASSERT_TRUE(held.back()->Send(i % 2 ? "POST /route HTTP/1.0\r\nContent-Le" : "GET / HT"));
    }
    const std::string split =
        "<SPLIT USER='" + std::string(kDemoUser) + "'><BARCODE TYPE='EAN8' CODE='96385074'/></SPLIT>";
    for (int query = 0; query < 3; ++query) {
        RawConnection good(m_port);
        ASSERT_TRUE(good.Send("POST /route HTTP/1.0\r\nContent-Type: text/xml\r\nContent-Length: " +
                              std::to_string(split.size()) + "\r\n\r\n" + split));
        const WireReply reply = ParseReply(good.ReadAll());
        EXPECT_EQ(reply.m_status, 200);
        EXPECT_THAT(reply.m_body, HasSubstr("LOW='96380000'"));
    }
    for (const auto& connection : held)
        EXPECT_EQ(connection->ReadAll(0), "") << "a held peer is still waiting";
    held.clear();
    EXPECT_GE(WaitForLogLines(*m_server, "closed by the peer after", 50), 50u) << m_server->ErrorOutput();
    EXPECT_EQ(Get("/").m_status, 200);
}

TEST_F(RefServerTest, ManyPeersAtOnceAreAllServed)
{
    const std::string split =
        "<SPLIT USER='" + std::string(kDemoUser) + "'><BARCODE TYPE='EAN8' CODE='96385074'/></SPLIT>";
    const std::string desc = "<DESC><CODE TYPE='ISBN' RID='08044' IID='2957'/></DESC>";
    std::atomic<int> good{0};
    std::vector<std::thread> peers;
    constexpr int kPeers = 16;
    constexpr int kRequests = 8;
    for (int p = 0; p < kPeers; ++p)
        peers.emplace_back([&, p] {
            for (int r = 0; r < kRequests; ++r) {
                const bool even = (p + r) % 2 == 0;
                const WireReply reply =
                    even ? Post("/route", "text/xml", split) : Post("/desc", "text/xml", desc);
                const char* expected = even ? "LOW='96380000'" : "Field Guide to Printed Codes";
                if (reply.m_parsed && reply.m_status == 200 &&
                    reply.m_body.find(expected) != std::string::npos)
                    ++good;
            }
        });
    for (auto& peer : peers)
        peer.join();
    EXPECT_EQ(good.load(), kPeers * kRequests);
}

TEST_F(RefServerTest, EachRequestIsLoggedWithoutItsQuery)
{
    EXPECT_EQ(Get("/attach?login=demo&password=demo").m_status, 200);
    EXPECT_GE(WaitForLogLines(*m_server, "\"GET /attach\" 200", 1), 1u);
    const std::string log = m_server->ErrorOutput();
    EXPECT_THAT(log, HasSubstr("XATTACH demo"));
    EXPECT_THAT(log, ::testing::Not(HasSubstr("password")));
}

TEST_F(RefServerTest, CoreCacheWrittenAtStartPointsAtTheBoundPort)
{
    const std::string written = TempDir::ReadFile(m_dir / "Server.dat");
    EXPECT_THAT(written, HasSubstr(">" + Url("/route") + "</TEMPLATE>"));
    const WireReply served = Get("/Server.dat");
    EXPECT_EQ(served.m_status, 200);
    EXPECT_EQ(served.m_body, written);
}

// Without a test fixture: the process's own start and end.
class RefServerProcessTest : public ::testing::Test {
protected:
    ProgramResult Run(const std::vector<std::string>& args) const
    {
        return RunProgram(RefServerProgram(), args);
    }
    TempDir m_dir;
};

TEST_F(RefServerProcessTest, StopsCleanlyOnSigintAndSigtermEvenWithAPeerMidRequest)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const auto portFile = m_dir / ("port" + std::to_string(signal));
        ServerProcess server(RefServerProgram(),
                             {"--listen", "127.0.0.1:0", "--port-file", portFile.string()});
        const std::uint16_t port = server.WaitForPortFile(portFile);
        ASSERT_NE(port, 0) << server.ErrorOutput();
        RawConnection idle(port);
        idle.Send("GET / HT");
        EXPECT_EQ(server.Stop(signal), 0);
        EXPECT_THAT(server.ErrorOutput(), HasSubstr("lumora-refserver: stopped"));
    }
}

TEST_F(RefServerProcessTest, RefusesToStartOnBadOptionsOrABusyPort)
{
    const int busy = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(busy, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(busy, 1), 0);
    socklen_t length = sizeof address;
    getsockname(busy, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string busyPort = std::to_string(ntohs(address.sin_port));

    struct Case {
        std::vector<std::string> m_args;
        int m_status;
        const char* m_message;
    };
    const Case cases[] = {
        {{"--listen", "127.0.0.1:" + busyPort}, 1, "cannot listen on 127.0.0.1:"},
        {{"--listen", "localhost"}, 2, "bad --listen"},
        {{"--listen", "127.0.0.1:70000"}, 2, "bad --listen"},
        {{"--listen", "example.org:0"}, 1, "not an IPv4 address"},
        {{"--frobnicate"}, 2, "usage:"},
        {{"stray"}, 2, "unexpected argument stray"},
        {{"--read-timeout", "0"}, 2, "bad --listen, --read-timeout or --workers"},
        {{"--data", (m_dir / "nowhere").string()}, 1, "no sample data found"},
        {{"--print-core-cache", "--listen", "127.0.0.1:0"}, 2, "needs a port or --base-url"},
        {{"--blind", "12345"}, 2, "--blind takes nine digits"},
        {{"--blind", "123456789", "--salt", "-1"}, 2, "--blind takes nine digits"},
        {{"--base-url", "ftp://x/"}, 2, "--base-url must begin with http://"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_args.front());
        const ProgramResult result = Run(c.m_args);
        EXPECT_EQ(result.exitStatus, c.m_status);
        EXPECT_THAT(result.err, HasSubstr(c.m_message));
    }
    close(busy);
}

TEST_F(RefServerProcessTest, RefusesDataThatWouldServeWrongAnswers)
{
    struct Case {
        const char* m_file;
        std::string m_from;
        std::string m_to;
        const char* m_message;
    };
    const Case cases[] = {
        {"items.xml", "CODE='96385074'", "CODE='96385081'",
         "items.xml: the code 96385081 splits into 9638 and 508"},
        {"items.xml", "CODE='96385074'", "CODE='96385075'",
         "items.xml: the code 96385075 is not a valid EAN8"},
        {"items.xml", "RID='NUMI' IID='7'", "RID='NUMI' IID='42'", "items.xml: item 7 is listed twice"},
        {"accounts.xml", "USER='116306380970205'", "USER='116306380970206'",
         "USER of demo is not a blinded user id"},
        {"templates.xml", "TYPE='EAN8' RID='9638'", "TYPE='EAN9' RID='9638'", "unknown code type EAN9"},
        {"core.xml", "CMD='SPLIT'", "CMD='SPLITX'", "core.xml: ROUTING has no SPLIT template"},
        {"formats.xml", "<CODE_FORMAT_LIST>", "<CODE_FORMAT_LIST", "formats.xml: TSXmlException"},
        {"formats.xml", "<RID START='3' LENGTH='6'/>", "",
         "formats.xml: TSDomXmlException: Element not found: RID"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_message);
        const TempDir data;
        std::filesystem::copy(SampleDataFolder(), data.Path(), std::filesystem::copy_options::recursive);
        std::string text = TempDir::ReadFile(data / c.m_file);
        const auto at = text.find(c.m_from);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, c.m_from.size(), c.m_to);
        data.WriteFile(c.m_file, text);
        const ProgramResult result = Run({"--print-core-cache", "--data", data.Path().string()});
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_THAT(result.err, HasSubstr(c.m_message));
    }
}

TEST_F(RefServerProcessTest, BlindsClearIdsTheWayTheDemoAccountWasMade)
{
    const ProgramResult result = Run({"--blind", kDemoClearId, "--salt", "1"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, std::string(kDemoUser) + "\n");
}

// The shipped core cache: the client's own file layout for the default
// address, so that a fresh checkout resolves codes against this server.
TEST_F(RefServerProcessTest, ShippedServerDatIsTheCoreCacheOfTheDefaultAddress)
{
    const std::string shipped =
        TempDir::ReadFile(std::filesystem::path(LUMORA_SOURCE_DIR) / "data" / "Server.dat");
    const ProgramResult printed = Run({"--print-core-cache"});
    ASSERT_EQ(printed.exitStatus, 0) << printed.err;
    EXPECT_EQ(shipped, printed.out);

    const TSDomDocument document = ParseXml(shipped);
    const TSDomElement root = document.GetDocumentElement();
    ASSERT_EQ(Utf8(root.GetTagName()), "CORE_SERVER_LIST");
    // What the client writes back after reading the file: a fresh document,
    // each record's commands in the order its string map visits them.
    TSDomDocument rewritten(u"CORE_SERVER_LIST");
    std::vector<std::string> types;
    for (const TSDomElement& server : GetChildElements(root, u"SERVER")) {
        types.push_back(Attr(server, u"TYPE"));
        TSStringMap commands;
        for (const TSDomElement& templ : GetChildElements(server, u"TEMPLATE")) {
            const std::string text = Utf8(GetElementText(templ));
            EXPECT_THAT(text, ::testing::StartsWith("http://127.0.0.1:8470/")) << Attr(templ, u"CMD");
            commands.Set(Attr(templ, u"CMD"), text);
        }
        TSDomElement record{TSDomString(u"SERVER")};
        record.SetAttribute(TSDomString(u"TYPE"), TSDomString(Wide(types.back())));
        commands.ForEach([&](const std::string& command, const std::string& text) {
            TSDomElement templ{TSDomString(u"TEMPLATE")};
            templ.SetAttribute(TSDomString(u"CMD"), TSDomString(Wide(command)));
            templ.AppendChild(TSDomText(TSDomString(Wide(text))));
            record.AppendChild(templ);
        });
        rewritten.GetDocumentElement().AppendChild(record);
    }
    EXPECT_EQ(types, (std::vector<std::string>{"ROUTING", "REGISTRATION", "HELP"}));
    TSXmlDataBufferSink sink;
    TSDomFormatter formatter(&sink);
    formatter.SetPretty(1);
    formatter.SetIndentWidth(4);
    formatter.Format(rewritten);
    EXPECT_EQ(WideToUtf8(sink.GetText()), shipped);
}

} // namespace

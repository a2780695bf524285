#include "tst/http/htclient.h"

#include "tests/support/loopbackserver.h"
#include "tst/http/htexcep.h"
#include "tst/tsexcep.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Keeps every state it is told, as the owners of a client do, by reading
// the client's state inside the callback.
class RecordingListener : public TSHttpTransactionClientListener {
public:
    void OnHttpStateChange() override
    {
        const TSHttpStateRecord record = GetClient()->GetState(false);
        const TSHttpProgress progress = GetClient()->GetProgress();
        {
            std::lock_guard guard(m_lock);
            m_states.push_back(record.m_state);
            m_steps.push_back(progress.m_step);
            if (record.m_state == kHttpDone || record.m_state == kHttpFailed)
                m_end = record;
        }
        m_changed.notify_all();
        if (m_onState)
            m_onState(record.m_state);
    }

    // The final record of the running transaction.
    TSHttpStateRecord WaitForEnd(std::chrono::seconds timeout = 60s)
    {
        std::unique_lock guard(m_lock);
        if (!m_changed.wait_for(guard, timeout, [&] { return m_end.has_value(); }))
            return TSHttpStateRecord{-1, -1, "no end within the time allowed"};
        TSHttpStateRecord end = *m_end;
        m_end.reset();
        return end;
    }

    bool WaitForState(int32_t state, std::chrono::seconds timeout = 30s)
    {
        std::unique_lock guard(m_lock);
        return m_changed.wait_for(guard, timeout, [&] {
            return std::find(m_states.begin(), m_states.end(), state) != m_states.end();
        });
    }

    std::vector<int32_t> TakeStates()
    {
        std::lock_guard guard(m_lock);
        m_steps.clear();
        return std::exchange(m_states, {});
    }

    std::vector<int32_t> Steps()
    {
        std::lock_guard guard(m_lock);
        return m_steps;
    }

    // Runs on the worker for every state told.
    std::function<void(int32_t)> m_onState;

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<int32_t> m_states;
    std::vector<int32_t> m_steps;
    std::optional<TSHttpStateRecord> m_end;
};

TSHttpTimeouts Timeouts(uint32_t seconds)
{
    return TSHttpTimeouts{seconds, seconds, seconds, seconds, seconds, seconds};
}

TSHttpRequest Post(const std::string& url, const std::string& body)
{
    TSHttpRequest request;
    request.SetVerb(kHttpPost);
    request.SetUrl(url);
    request.SetContentType(kContentTextXml);
    request.SetBody(body);
    request.SetContentLengthAndHost();
    return request;
}

class HttpClient : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_client.SetListener(&m_listener);
        m_client.SetTimeouts(Timeouts(5));
    }

    TSHttpStateRecord Run(const TSHttpRequest& request)
    {
        m_client.ResetCancel();
        m_client.SetRequest(request);
        m_client.Start();
        const TSHttpStateRecord end = m_listener.WaitForEnd();
        m_client.GetState(true);
        return end;
    }

    LoopbackHttpServer m_server;
    TSHttpTransactionClient m_client;
    RecordingListener m_listener;
};

TEST_F(HttpClient, PostsTheRequestByteForByteAndReadsTheReply)
{
    const std::string reply = "<XDESC>" + std::string(2000, 'r') + "</XDESC>";
    const std::string body = "<DESC>" + std::string(1000, 'q') + "</DESC>";
    std::mutex lock;
    std::set<std::thread::id> workers;
    m_listener.m_onState = [&](int32_t state) {
        std::lock_guard guard(lock);
        if (state != kHttpStarted)
            workers.insert(std::this_thread::get_id());
    };
    for (uint32_t chunk : {1024u, 7u}) {
        m_server.Enqueue(ServerScript::Answer(HttpReply::Ok(reply)));
        m_client.SetChunkSize(chunk);
        const TSHttpRequest request = Post(m_server.Url("/desc"), body);
        const TSHttpStateRecord end = Run(request);
        ASSERT_EQ(end.m_state, kHttpDone) << end.m_error << " " << end.m_text;
        EXPECT_EQ(end.m_error, 0);
        EXPECT_EQ(end.m_text, "");

        EXPECT_EQ(m_server.WaitForRequest(m_server.ConnectionCount() - 1), request.FormatRequest(false));
        const TSHttpResponse response = m_client.GetResponse();
        EXPECT_EQ(response.GetStatus(), 200);
        EXPECT_EQ(response.GetVersion(), "1.0");
        EXPECT_EQ(response.GetBodyText(), reply);
        std::string type;
        EXPECT_TRUE(response.GetHeaderValue("content-type", 0, type));
        EXPECT_EQ(type, "text/xml");

        EXPECT_EQ(m_listener.Steps(), (std::vector<int32_t>{0, 0, 1, 2, 3, 4, 5}));
        EXPECT_EQ(m_listener.TakeStates(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));
        const TSHttpProgress progress = m_client.GetProgress();
        EXPECT_EQ(progress.m_step, 5);
        EXPECT_EQ(progress.m_total, 5);
        EXPECT_FALSE(progress.m_busy);
    }
    // Start tells state 1 on the caller's thread; the rest of both
    // transactions ran on the client's one worker.
    std::lock_guard guard(lock);
    EXPECT_EQ(workers.size(), 1u);
    EXPECT_EQ(workers.count(std::this_thread::get_id()), 0u);
}

struct FailureCase {
    const char* name;
    std::function<ServerScript()> script;
    // Makes the request, given the server's address.
    std::function<TSHttpRequest(const std::string&)> request;
    TSHttpTimeouts timeouts;
    int32_t error;
    const char* text;
};

TEST_F(HttpClient, EveryTransportFailureEndsInItsErrorCode)
{
    const auto get = [](const std::string& url) {
        TSHttpRequest request;
        request.SetUrl(url);
        return request;
    };
    const auto toServer = [&](const std::string& address) { return get("http://" + address + "/"); };
    // Several times what the two socket buffers of a loopback connection hold.
    const std::string huge(16 * 1024 * 1024, 'b');
    const FailureCase cases[] = {
        {"unknown host", nullptr, [&](const std::string&) { return get("http://no-such-host.invalid/"); },
         Timeouts(5), kHttpErrorUnknownHost, ""},
        {"refused", nullptr,
         [&](const std::string&) {
             return get("http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/");
         },
         Timeouts(5), kHttpErrorConnectFailed, ""},
        {"send timed out", [] { return ServerScript().Pause(30s); },
         [&](const std::string& address) { return Post("http://" + address + "/", huge); }, Timeouts(1),
         kHttpErrorSendTimedOut, ""},
        {"silent peer", [] { return ServerScript::Silent(); }, toServer, Timeouts(1),
         kHttpErrorReceiveTimedOut, ""},
        {"head and then nothing, without a length",
         [] { return ServerScript().ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n").Hold(); }, toServer,
         Timeouts(1), kHttpErrorReceiveTimedOut, ""},
        {"closed before the first byte", [] { return ServerScript().ReadRequest(); }, toServer, Timeouts(5),
         kHttpErrorPeerClosed, ""},
        {"closed mid-head", [] { return ServerScript().ReadRequest().Send("HTTP/1.0 200 OK\r\nServer: x"); },
         toServer, Timeouts(5), kHttpErrorPeerClosed, ""},
        {"closed mid-body",
         [] {
             HttpReply reply = HttpReply::Ok(std::string(100, 'x'));
             return ServerScript().ReadRequest().Send(reply.Head() + reply.m_body.substr(0, 10));
         },
         toServer, Timeouts(5), kHttpErrorPeerClosed, ""},
        {"no host and no proxy", nullptr, [](const std::string&) { return TSHttpRequest(); }, Timeouts(5),
         kHttpErrorNoHost, ""},
        {"empty host in the URL", nullptr, [&](const std::string&) { return get("http:///path"); },
         Timeouts(5), kHttpErrorNoHost, ""},
        {"garbage head", [] { return ServerScript().ReadRequest().Send("garbage\r\n\r\n"); }, toServer,
         Timeouts(5), kHttpErrorBadHead, "TSHttpException: Invalid version: garbage"},
        {"two-digit status", [] { return ServerScript().ReadRequest().Send("HTTP/1.0 20 OK\r\n\r\n"); },
         toServer, Timeouts(5), kHttpErrorBadHead, "TSHttpException: Invalid status: HTTP/1.0 20 OK"},
        {"negative length",
         [] {
             return ServerScript().ReadRequest().Send(
                 "HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n<XSPLIT/>");
         },
         toServer, Timeouts(5), kHttpErrorBadHead, "TSHttpException: Invalid header: Content-Length: -5"},
        {"endless head line",
         [] {
             return ServerScript()
                 .ReadRequest()
                 .Send("HTTP/1.0 200 OK\r\nX: " + std::string(100000, 'h'))
                 .Hold();
         },
         toServer, Timeouts(5), kHttpErrorReceiveFailed, "Response head line longer than 65536 bytes"},
        {"address the socket rejects", nullptr,
         [](const std::string&) {
             TSHttpRequest request;
             request.SetHost("a:b");
             return request;
         },
         Timeouts(5), kHttpErrorException, "TSSocketException: Invalid address: a:b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.script)
            m_server.Enqueue(c.script());
        m_client.SetTimeouts(c.timeouts);
        const TSHttpStateRecord end = Run(c.request(m_server.Address()));
        EXPECT_EQ(end.m_state, kHttpFailed);
        EXPECT_EQ(end.m_error, c.error);
        EXPECT_EQ(end.m_text, c.text);
        EXPECT_FALSE(m_client.IsBusy());
        m_listener.TakeStates();
    }
}

// However the peer spaces its bytes, the transaction ends at its deadline,
// saying whom it waited for and how long; each step alone would wait longer.
TEST_F(HttpClient, TheWholeTransactionEndsAtItsDeadline)
{
    HttpReply reply = HttpReply::Ok(std::string(1000, 'x'));
    const std::pair<const char*, ServerScript> cases[] = {
        {"status line and then nothing", ServerScript().ReadRequest().Send("HTTP/1.0 200 OK\r\n").Hold()},
        {"accepts and never answers", ServerScript().Hold()},
        {"a good head, then a body byte at a time",
         ServerScript().ReadRequest().Send(reply.Head()).Trickle(reply.m_body, 300ms)},
        {"the head a byte at a time", ServerScript().ReadRequest().Trickle(reply.Bytes(), 300ms)},
    };
    TSHttpTimeouts timeouts = Timeouts(4);
    timeouts.m_total = 2;
    m_client.SetTimeouts(timeouts);
    for (const auto& [name, script] : cases) {
        SCOPED_TRACE(name);
        m_server.Enqueue(script);
        const TSHttpStateRecord end = Run(Post(m_server.Url(), "x"));
        EXPECT_EQ(end.m_state, kHttpFailed);
        EXPECT_EQ(end.m_error, kHttpErrorReceiveTimedOut);
        EXPECT_EQ(end.m_text, "no complete answer from " + m_server.Address() + " within 2 s");
        m_listener.TakeStates();
    }
    // A step's own time-out still reads as before.
    timeouts.m_total = 0;
    timeouts.m_firstByte = 1;
    m_client.SetTimeouts(timeouts);
    m_server.Enqueue(ServerScript::Silent());
    const TSHttpStateRecord end = Run(Post(m_server.Url(), "x"));
    EXPECT_EQ(end.m_error, kHttpErrorReceiveTimedOut);
    EXPECT_EQ(end.m_text, "");
}

TEST_F(HttpClient, ConnectTimesOutOnAListenerThatNeverAnswers)
{
    FullBacklogListener full;
    m_client.SetTimeouts(Timeouts(1));
    const TSHttpStateRecord end = Run(Post("http://127.0.0.1:" + std::to_string(full.Port()) + "/", "x"));
    EXPECT_EQ(end.m_state, kHttpFailed);
    EXPECT_EQ(end.m_error, kHttpErrorConnectTimedOut);
    EXPECT_EQ(m_listener.TakeStates(), (std::vector<int32_t>{1, 2, 3, 8}));
}

TEST_F(HttpClient, ResponseBodyIsCappedWithAndWithoutALength)
{
    EXPECT_EQ(m_client.GetMaxBodySize(), 16u * 1024 * 1024);

    // A declared length over the cap fails before anything is read.
    HttpReply declared = HttpReply::Ok("");
    declared.m_contentLength = false;
    declared.m_headers.emplace_back("Content-Length", "16777217");
    m_server.Enqueue(ServerScript().ReadRequest().Send(declared.Head()).Hold());
    TSHttpStateRecord end = Run(Post(m_server.Url(), "q"));
    EXPECT_EQ(end.m_error, kHttpErrorReceiveFailed);
    EXPECT_EQ(end.m_text, "Response body of 16777217 bytes exceeds the limit of 16777216 bytes");

    // Without a length, the body fails once it grows past the cap.
    HttpReply endless = HttpReply::Ok(std::string(16 * 1024 * 1024 + 1, 'e'));
    endless.m_contentLength = false;
    m_server.Enqueue(ServerScript::Answer(endless));
    end = Run(Post(m_server.Url(), "q"));
    EXPECT_EQ(end.m_error, kHttpErrorReceiveFailed);
    EXPECT_EQ(end.m_text, "Response body exceeds the limit of 16777216 bytes");

    // The cap is the owner's to set; a body of exactly the cap is fine.
    m_client.SetMaxBodySize(1000);
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok(std::string(1001, 'l'))));
    end = Run(Post(m_server.Url(), "q"));
    EXPECT_EQ(end.m_error, kHttpErrorReceiveFailed);
    EXPECT_EQ(end.m_text, "Response body of 1001 bytes exceeds the limit of 1000 bytes");
    for (bool withLength : {true, false}) {
        HttpReply exact = HttpReply::Ok(std::string(1000, 'k'));
        exact.m_contentLength = withLength;
        m_server.Enqueue(ServerScript::Answer(exact));
        end = Run(Post(m_server.Url(), "q"));
        EXPECT_EQ(end.m_state, kHttpDone) << withLength;
        EXPECT_EQ(m_client.GetResponse().GetBodyLength(), 1000u);
    }
}

TEST_F(HttpClient, BodiesOfEveryShape)
{
    // Zero length: done with an empty body.
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok("")));
    EXPECT_EQ(Run(Post(m_server.Url(), "q")).m_state, kHttpDone);
    EXPECT_EQ(m_client.GetResponse().GetBodyLength(), 0u);

    // No length: everything up to the close.
    HttpReply toClose = HttpReply::Ok(std::string(50000, 'c'));
    toClose.m_contentLength = false;
    m_server.Enqueue(ServerScript::Answer(toClose));
    EXPECT_EQ(Run(Post(m_server.Url(), "q")).m_state, kHttpDone);
    EXPECT_EQ(m_client.GetResponse().GetBodyText(), toClose.m_body);

    // A reply to HEAD has no body, whatever its length says.
    HttpReply head = HttpReply::Ok(std::string(100, 'h'));
    m_server.Enqueue(ServerScript().ReadRequest().Send(head.Head()).Hold());
    TSHttpRequest request;
    request.SetVerb(kHttpHead);
    request.SetUrl(m_server.Url("/h"));
    const auto start = Clock::now();
    EXPECT_EQ(Run(request).m_state, kHttpDone);
    EXPECT_LT(Clock::now() - start, 4s) << "waited for a body";
    EXPECT_EQ(m_client.GetResponse().GetBodyLength(), 0u);
    EXPECT_TRUE(m_server.WaitForRequest(2).starts_with("HEAD /h HTTP/1.0\r\n"));

    // A status other than 200 is still a completed transaction.
    HttpReply missing = HttpReply::Ok("not here", "text/plain");
    missing.m_statusLine = "HTTP/1.1 404 Not Found";
    m_server.Enqueue(ServerScript::Answer(missing));
    EXPECT_EQ(Run(Post(m_server.Url(), "q")).m_state, kHttpDone);
    EXPECT_EQ(m_client.GetResponse().GetStatus(), 404);
    EXPECT_EQ(m_client.GetResponse().GetBodyText(), "not here");
}

TEST_F(HttpClient, HeadsThatAreOddButReadable)
{
    // A blank line before the status line is skipped.
    m_server.Enqueue(
        ServerScript().ReadRequest().Send("\r\nHTTP/1.0 201 Created\r\nContent-Length: 2\r\n\r\nok"));
    EXPECT_EQ(Run(Post(m_server.Url(), "q")).m_state, kHttpDone);
    EXPECT_EQ(m_client.GetResponse().GetStatus(), 201);
    EXPECT_EQ(m_client.GetResponse().GetBodyText(), "ok");

    // Lines arriving slowly, each within the head-line time-out.
    m_server.Enqueue(ServerScript()
                         .ReadRequest()
                         .Send("HTTP/1.0 200 OK\r\n")
                         .Pause(300ms)
                         .Send("Content-Length: 3\r\n")
                         .Pause(300ms)
                         .Send("\r\nabc"));
    EXPECT_EQ(Run(Post(m_server.Url(), "q")).m_state, kHttpDone);
    EXPECT_EQ(m_client.GetResponse().GetBodyText(), "abc");

    // More than 50 lines: the head is cut after 50 and parsed as it stands;
    // what follows, including the length, is read as body to the close.
    HttpReply longHead = HttpReply::Ok("tail");
    for (int line = 0; line < 60; ++line)
        longHead.m_headers.emplace_back("X-Line-" + std::to_string(line), "v");
    m_server.Enqueue(ServerScript::Answer(longHead));
    EXPECT_EQ(Run(Post(m_server.Url(), "q")).m_state, kHttpDone);
    const TSHttpResponse response = m_client.GetResponse();
    // The status line, Content-Type and X-Line-0 to X-Line-47.
    EXPECT_EQ(response.GetHeaders().Size(), 49u);
    EXPECT_TRUE(response.GetHeaders().Contains("x-line-47"));
    EXPECT_FALSE(response.GetHeaders().Contains("x-line-48"));
    EXPECT_TRUE(response.GetBodyText().starts_with("X-Line-48: v\r\n"));
    EXPECT_EQ(response.GetBodyText().substr(response.GetBodyLength() - 4), "tail");
}

TEST_F(HttpClient, DefaultPortIs80AndOtherPortsAreUsedAsGiven)
{
    std::unique_ptr<LoopbackHttpServer> port80;
    try {
        port80 = std::make_unique<LoopbackHttpServer>(ServerScript::Answer(HttpReply::Ok("eighty")), 80);
    } catch (const std::runtime_error& error) {
        GTEST_SKIP() << "port 80 on 127.0.0.1 is not available here: " << error.what();
    }
    for (const char* url : {"http://127.0.0.1/", "http://127.0.0.1:80/"}) {
        EXPECT_EQ(Run(Post(url, "q")).m_state, kHttpDone) << url;
        EXPECT_EQ(m_client.GetResponse().GetBodyText(), "eighty");
    }
    EXPECT_EQ(port80->ConnectionCount(), 2u);
    // Host carries no port for 80, and the port otherwise.
    EXPECT_NE(port80->WaitForRequest(0).find("\r\nHost: 127.0.0.1\r\n"), std::string::npos);
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok("other")));
    EXPECT_EQ(Run(Post(m_server.Url(), "q")).m_state, kHttpDone);
    EXPECT_EQ(m_client.GetResponse().GetBodyText(), "other");
    EXPECT_NE(m_server.WaitForRequest(0).find("\r\nHost: " + m_server.Address() + "\r\n"), std::string::npos);
}

TEST_F(HttpClient, ThroughAProxyTheRequestLineCarriesTheFullUrl)
{
    // The loopback server stands in for the proxy and records what it got.
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok("<via-proxy/>")));
    m_client.SetProxy(m_server.Address());
    TSHttpRequest request = Post("http://origin.example:8470/route?x=1", "<SPLIT/>");
    request.AddHeader(kHeaderProxyAuthorization, "Basic " + EncodeBase64("u:p"));
    EXPECT_EQ(Run(request).m_state, kHttpDone);
    EXPECT_EQ(m_client.GetResponse().GetBodyText(), "<via-proxy/>");
    EXPECT_EQ(m_server.WaitForRequest(0), request.FormatRequest(true));
    EXPECT_TRUE(
        m_server.WaitForRequest(0).starts_with("POST http://origin.example:8470/route?x=1 HTTP/1.0\r\n"));

    // With a proxy, a request without a host fails in building its URL.
    m_client.SetProxy(m_server.Address());
    const TSHttpStateRecord end = Run(TSHttpRequest());
    EXPECT_EQ(end.m_error, kHttpErrorException);
    EXPECT_EQ(end.m_text, "TSHttpException: Invalid URL: http://");
}

TEST_F(HttpClient, ProxyTextMustBeHostColonPort)
{
    m_client.SetProxy("proxy.example:3128");
    for (const char* text : {"proxy", ":3128", "proxy:", "proxy:31x8", "proxy:0", "proxy:65536", "proxy:-1",
                             "pro xy:3128", "proxy:000000080000"}) {
        try {
            m_client.SetProxy(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const TSHttpException& error) {
            EXPECT_EQ(error.GetCode(), TSHttpException::kInvalidAddress);
            EXPECT_EQ(error.GetMessage(), std::string("TSHttpException: Invalid address: ") + text);
        }
        EXPECT_EQ(m_client.GetProxy(), "proxy.example:3128");
    }
    m_client.SetProxy("");
    EXPECT_EQ(m_client.GetProxy(), "");
}

TEST_F(HttpClient, CancelEndsThirtySecondWaitsWithinAboutASecond)
{
    FullBacklogListener full;
    struct Stage {
        const char* name;
        std::string url;
        int32_t state;
    };
    m_server.Enqueue(ServerScript::Silent());
    const Stage stages[] = {
        {"waiting for the first byte", m_server.Url(), kHttpWaiting},
        {"connecting", "http://127.0.0.1:" + std::to_string(full.Port()) + "/", kHttpConnecting},
    };
    m_client.SetTimeouts(Timeouts(30));
    for (const auto& stage : stages) {
        SCOPED_TRACE(stage.name);
        m_client.ResetCancel();
        m_client.SetRequest(Post(stage.url, "q"));
        m_client.Start();
        ASSERT_TRUE(m_listener.WaitForState(stage.state));
        std::this_thread::sleep_for(300ms);

        // A busy client refuses to be changed.
        for (const auto& change : std::vector<std::function<void()>>{
                 [&] { m_client.SetRequest(TSHttpRequest()); }, [&] { m_client.Start(); },
                 [&] {
                     RecordingListener other;
                     m_client.SetListener(&other);
                 }}) {
            try {
                change();
                ADD_FAILURE() << "changed while busy";
            } catch (const TSHttpException& error) {
                EXPECT_EQ(error.GetCode(), TSHttpException::kInvalidState);
            }
        }
        EXPECT_TRUE(m_client.GetProgress().m_busy);

        const auto cancelled = Clock::now();
        m_client.Cancel();
        const TSHttpStateRecord end = m_listener.WaitForEnd(10s);
        const auto elapsed = Clock::now() - cancelled;
        EXPECT_EQ(end.m_state, kHttpFailed);
        EXPECT_EQ(end.m_error, kHttpErrorCancelled);
        EXPECT_LT(elapsed, 3s);
        m_client.GetState(true);
        m_listener.TakeStates();
    }

    // A cancel before the start ends the transaction at once; after a reset
    // the client works again.
    m_client.Cancel();
    m_client.SetRequest(Post(m_server.Url(), "q"));
    m_client.Start();
    EXPECT_EQ(m_listener.WaitForEnd().m_error, kHttpErrorCancelled);
    m_client.GetState(true);
    EXPECT_EQ(m_listener.TakeStates(), (std::vector<int32_t>{1, 8}));
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok("again")));
    EXPECT_EQ(Run(Post(m_server.Url(), "q")).m_state, kHttpDone);
}

TEST_F(HttpClient, ExceptionsOfTheListenerEndTheTransaction)
{
    struct Case {
        std::function<void()> raise;
        const char* text;
    };
    const Case cases[] = {
        {[] { throw TSRuntimeException("TSDomException: broken"); }, "TSDomException: broken"},
        {[] { throw std::length_error("too long"); }, "too long"},
        {[] { throw 42; }, "Unknown exception type"},
    };
    for (const auto& c : cases) {
        m_server.Enqueue(ServerScript::Answer(HttpReply::Ok("x")));
        m_listener.m_onState = [&](int32_t state) {
            if (state == kHttpSending)
                c.raise();
        };
        const TSHttpStateRecord end = Run(Post(m_server.Url(), "q"));
        EXPECT_EQ(end.m_state, kHttpFailed);
        EXPECT_EQ(end.m_error, kHttpErrorException);
        EXPECT_EQ(end.m_text, c.text);
    }
    m_listener.m_onState = nullptr;
}

TEST(HttpClientListener, SameStateAndCodeAreToldOnce)
{
    struct Counting : TSHttpTransactionClientListener {
        void OnHttpStateChange() override { ++m_calls; }
        int m_calls = 0;
    } listener;
    listener.Notify({kHttpFailed, kHttpErrorReceiveTimedOut, "first"});
    listener.Notify({kHttpFailed, kHttpErrorReceiveTimedOut, "other text"});
    EXPECT_EQ(listener.m_calls, 1);
    EXPECT_EQ(listener.GetLastState().m_text, "first");
    listener.Notify({kHttpFailed, kHttpErrorPeerClosed, ""});
    listener.Notify({kHttpDone, kHttpErrorNone, ""});
    EXPECT_EQ(listener.m_calls, 3);
    EXPECT_EQ(listener.GetLastState().m_state, kHttpDone);
}

TEST(HttpClientListener, ClientAndListenerDetachWhicheverGoesFirst)
{
    RecordingListener outliving;
    {
        TSHttpTransactionClient client;
        client.SetListener(&outliving);
        EXPECT_EQ(outliving.GetClient(), &client);
    }
    EXPECT_EQ(outliving.GetClient(), nullptr);

    TSHttpTransactionClient client;
    {
        RecordingListener shortLived;
        client.SetListener(&shortLived);
    }
    // Nobody to tell: the transaction still runs to its end.
    client.Start();
    const auto deadline = Clock::now() + 10s;
    while (client.IsBusy() && Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(client.GetState(true).m_error, kHttpErrorNoHost);

    // A listener moved to another client leaves the first one.
    TSHttpTransactionClient second;
    client.SetListener(&outliving);
    second.SetListener(&outliving);
    EXPECT_EQ(outliving.GetClient(), &second);
    second.SetListener(nullptr);
    EXPECT_EQ(outliving.GetClient(), nullptr);
}

TEST(HttpClientLifetime, DestroyingABusyClientCancelsAndWaitsForIt)
{
    LoopbackHttpServer server(ServerScript::Silent());
    RecordingListener listener;
    const auto start = Clock::now();
    {
        TSHttpTransactionClient client;
        client.SetListener(&listener);
        client.SetTimeouts(Timeouts(30));
        client.SetRequest(Post(server.Url(), "q"));
        client.Start();
        ASSERT_TRUE(listener.WaitForState(kHttpWaiting));
    }
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(listener.GetLastState().m_error, kHttpErrorCancelled);
}

} // namespace

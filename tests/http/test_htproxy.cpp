// Transactions through a real tinyproxy with Basic authentication.
#include "tst/http/htclient.h"

#include "tests/support/loopbackserver.h"
#include "tests/support/tinyproxy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

class ThroughTinyProxy : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (TinyProxy::Executable().empty())
            GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps.sh installs it)";
        m_proxy = std::make_unique<TinyProxy>("lumora", "s3cret.pw");
        m_client.SetTimeouts(TSHttpTimeouts{10, 10, 10, 10, 10, 10});
        m_client.SetProxy(m_proxy->Address());
    }

    TSHttpStateRecord Run(const TSHttpRequest& request)
    {
        m_client.ResetCancel();
        m_client.SetRequest(request);
        m_client.Start();
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (m_client.IsBusy() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        return m_client.GetState(true);
    }

    TSHttpRequest Post(const std::string& body) const
    {
        TSHttpRequest request;
        request.SetVerb(kHttpPost);
        request.SetUrl(m_server.Url("/route"));
        request.SetContentType(kContentTextXml);
        request.SetBody(body);
        request.SetContentLengthAndHost();
        return request;
    }

    LoopbackHttpServer m_server;
    std::unique_ptr<TinyProxy> m_proxy;
    TSHttpTransactionClient m_client;
};

TEST_F(ThroughTinyProxy, WithoutCredentialsTheProxyAsksForThem)
{
    const TSHttpStateRecord end = Run(Post("<SPLIT/>"));
    ASSERT_EQ(end.m_state, kHttpDone) << end.m_error << " " << end.m_text << "\n" << m_proxy->Log();
    const TSHttpResponse response = m_client.GetResponse();
    EXPECT_EQ(response.GetStatus(), 407);
    std::string challenge;
    EXPECT_TRUE(response.GetHeaderValue("proxy-authenticate", 0, challenge));
    EXPECT_EQ(challenge.substr(0, 6), "Basic ");
    EXPECT_EQ(m_server.ConnectionCount(), 0u) << "the proxy passed an unauthorised request on";
}

TEST_F(ThroughTinyProxy, WrongCredentialsAreRefused)
{
    TSHttpRequest request = Post("<SPLIT/>");
    request.AddHeader(kHeaderProxyAuthorization, "Basic " + EncodeBase64("lumora:wrong"));
    ASSERT_EQ(Run(request).m_state, kHttpDone);
    // tinyproxy answers a wrong password with 401 rather than 407.
    const int32_t status = m_client.GetResponse().GetStatus();
    EXPECT_TRUE(status == 401 || status == 407) << status;
    EXPECT_EQ(m_server.ConnectionCount(), 0u);
}

TEST_F(ThroughTinyProxy, WithTheRightCredentialsTheTransactionCompletes)
{
    const std::string reply = "<XSPLIT>" + std::string(3000, 's') + "</XSPLIT>";
    m_server.Enqueue(ServerScript::Answer(HttpReply::Ok(reply)));
    TSHttpRequest request = Post("<SPLIT>" + std::string(1500, 'p') + "</SPLIT>");
    request.AddHeader(kHeaderProxyAuthorization, "Basic " + EncodeBase64("lumora:s3cret.pw"));
    m_client.SetChunkSize(512);

    const TSHttpStateRecord end = Run(request);
    ASSERT_EQ(end.m_state, kHttpDone) << end.m_error << " " << end.m_text << "\n" << m_proxy->Log();
    const TSHttpResponse response = m_client.GetResponse();
    EXPECT_EQ(response.GetStatus(), 200);
    EXPECT_EQ(response.GetBodyText(), reply);

    // The origin server got the request from the proxy, in path form, with
    // the body intact and without the proxy credentials.
    const std::string received = m_server.WaitForRequest(0);
    EXPECT_EQ(received.substr(0, 12), "POST /route ");
    EXPECT_EQ(received.substr(received.size() - request.GetBodyLength()), request.GetBodyText());
    EXPECT_EQ(received.find("Proxy-Authorization"), std::string::npos);
}

} // namespace

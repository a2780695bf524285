#include "tst/http/htreq.h"

#include "tst/http/htexcep.h"

#include <gtest/gtest.h>

namespace {

TEST(TSHttpUrl, ParsesHostPortPathAndUserInfo)
{
    struct Case {
        const char* text;
        const char* host;
        int32_t port;
        const char* path;
        const char* userInfo;
    };
    const Case cases[] = {
        {"HTTP://Example.org:8080/a?b", "Example.org", 8080, "/a?b", ""},
        {"http://example.org", "example.org", 80, "/", ""},
        {"http://example.org/", "example.org", 80, "/", ""},
        {"http://10.0.0.1:80/x/y", "10.0.0.1", 80, "/x/y", ""},
        {"http://user:pw@host:81/p", "host", 81, "/p", "user:pw"},
        {"hTtP://h/p@q", "h", 80, "/p@q", ""},
        {"http://h:0080/", "h", 80, "/", ""},
    };
    for (const auto& c : cases) {
        const TSHttpUrl url = TSHttpUrl::Parse(c.text);
        EXPECT_EQ(url.m_host, c.host) << c.text;
        EXPECT_EQ(url.m_port, c.port) << c.text;
        EXPECT_EQ(url.m_path, c.path) << c.text;
        EXPECT_EQ(url.m_userInfo, c.userInfo) << c.text;
        EXPECT_EQ(url.m_url, c.text);
    }
}

TEST(TSHttpUrl, RejectsWhatIsNotAPlainHttpUrl)
{
    for (const char* text :
         {"http://", "http://h:", "http://:80/", "http://h:8a/", "http://@h/", "http://u@/", "https://h/",
          "ftp://host/", "http://h/a b", "http://h/\r\nX-Injected: 1", "http://h/\t", "http:/host/",
          "http://h:99999/", ""}) {
        try {
            TSHttpUrl::Parse(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const TSHttpException& error) {
            EXPECT_EQ(error.GetCode(), TSHttpException::kInvalidUrl) << text;
            EXPECT_EQ(error.GetMessage(), *text ? std::string("TSHttpException: Invalid URL: ") + text
                                                : std::string("TSHttpException: Invalid URL"));
        }
    }
}

TEST(TSHttpUrl, Builds)
{
    TSHttpUrl url;
    url.m_host = "h";
    EXPECT_EQ(url.Build(), "http://h/");
    url.m_port = 8080;
    url.m_path = "/a";
    url.m_userInfo = "u";
    EXPECT_EQ(url.Build(), "http://u@h:8080/a");
    url.m_port = 0;
    EXPECT_EQ(url.Build(), "http://u@h/a");

    url.m_path = "a";
    EXPECT_THROW(url.Build(), TSHttpException);
    url.m_path = "/a b";
    EXPECT_THROW(url.Build(), TSHttpException);
    url.m_path = "/a\r\nX: y";
    EXPECT_THROW(url.Build(), TSHttpException);
    url.m_path = "/";
    url.m_host.clear();
    EXPECT_THROW(url.Build(), TSHttpException);
}

TEST(TSHttpRequest, FormatsDirectAndThroughAProxy)
{
    TSHttpRequest request;
    request.SetVerb(kHttpPost);
    request.SetUrl("http://server.example:8470/path");
    request.SetContentType(kContentTextXml);
    request.SetBody("<DESC/>");
    request.SetContentLengthAndHost();
    EXPECT_EQ(request.FormatRequest(false), "POST /path HTTP/1.0\r\n"
                                            "Content-Length: 7\r\n"
                                            "Content-Type: text/xml\r\n"
                                            "Host: server.example:8470\r\n"
                                            "\r\n"
                                            "<DESC/>");
    EXPECT_TRUE(request.FormatRequest(true).starts_with("POST http://server.example:8470/path HTTP/1.0\r\n"));

    // Without a path the request line asks for "/"; port 80 builds without ":80".
    TSHttpRequest get;
    get.SetHost("h");
    get.SetPort(80);
    get.SetContentLengthAndHost();
    EXPECT_EQ(get.FormatRequest(false), "GET / HTTP/1.0\r\nContent-Length: 0\r\nHost: h\r\n\r\n");
    EXPECT_TRUE(get.FormatRequest(true).starts_with("GET http://h/ HTTP/1.0\r\nContent-Length: 0\r\n"));
    EXPECT_EQ(get.GetUrl().m_url, "");
    get.BuildUrl();
    EXPECT_EQ(get.GetUrl().m_url, "http://h/");
}

TEST(TSHttpRequest, SettersAndTheirErrors)
{
    TSHttpRequest request;
    request.SetUrl("http://a/x");
    EXPECT_THROW(request.SetUrl("http://b:/"), TSHttpException);
    EXPECT_EQ(request.GetUrl().m_host, "a") << "a failed parse changes nothing";

    // A changed part is what the proxy request line shows.
    request.SetHost("b");
    EXPECT_EQ(request.GetUrlText(), "http://b/x");

    try {
        request.SetVerb(8);
        ADD_FAILURE();
    } catch (const TSHttpException& error) {
        EXPECT_EQ(error.GetCode(), TSHttpException::kInvalidVerb);
    }
    EXPECT_EQ(request.GetVerb(), kHttpGet);

    // Host is added once and kept; the length follows the body.
    request.AddHeader(kHeaderHost, "kept");
    request.SetBody("12345");
    request.SetContentLengthAndHost();
    request.SetBody("123");
    request.SetContentLengthAndHost();
    EXPECT_EQ(request.GetHeaders().Format(), "Content-Length: 3\r\nHost: kept\r\n");

    TSHttpRequest copy(request);
    copy.AddHeader("X-Extra", "1");
    copy.SetBody("changed");
    EXPECT_FALSE(request.GetHeaders().Contains("x-extra"));
    EXPECT_EQ(request.GetBodyText(), "123");
}

} // namespace

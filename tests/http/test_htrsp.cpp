#include "tst/http/htrsp.h"

#include "tst/http/htexcep.h"

#include <gtest/gtest.h>

namespace {

TEST(TSHttpResponse, ParseHeadReadsStatusVersionAndHeaders)
{
    const std::string head = "HTTP/1.1 200 OK\r\n"
                             "content-type: text/xml\r\n"
                             "Set-Cookie: a=1\r\n"
                             "Set-Cookie:   b=2  \r\n"
                             "Content-Length: 12\n"
                             "\r\n";
    TSHttpResponse response;
    EXPECT_EQ(response.ParseHead(head + "body follows"), head.size());
    EXPECT_EQ(response.GetStatus(), 200);
    EXPECT_EQ(response.GetVersion(), "1.1");
    const TSHttpHeader* cookies = response.GetHeaders().Find("set-cookie");
    ASSERT_NE(cookies, nullptr);
    EXPECT_EQ(cookies->GetValues(), (std::vector<std::string>{"a=1", "b=2"}));
    std::string type;
    EXPECT_TRUE(response.GetHeaderValue("Content-Type", 0, type));
    EXPECT_EQ(type, "text/xml");
    uint64_t length = 0;
    EXPECT_TRUE(response.GetContentLength(length));
    EXPECT_EQ(length, 12u);
}

TEST(TSHttpResponse, ParseHeadAcceptsBareVersionsLineFeedsAndCutHeads)
{
    TSHttpResponse response;
    EXPECT_EQ(response.ParseHead("1.0 404\n\n"), 9u);
    EXPECT_EQ(response.GetStatus(), 404);
    EXPECT_EQ(response.GetVersion(), "1.0");
    // A head cut short (no empty line) parses as it stands.
    EXPECT_EQ(response.ParseHead("HTTP/1.0   302 Found\r\nLocation: /x\r\n"), 36u);
    EXPECT_EQ(response.GetStatus(), 302);
    EXPECT_TRUE(response.GetHeaders().Contains("location"));
    // The previous headers do not survive a new parse.
    EXPECT_EQ(response.ParseHead("HTTP/1.0 200 OK\r\n\r\n"), 19u);
    EXPECT_EQ(response.GetHeaders().Size(), 0u);
}

TEST(TSHttpResponse, ParseHeadErrors)
{
    struct Case {
        const char* text;
        int32_t code;
        const char* message;
    };
    const Case cases[] = {
        {"HTTP/x 200 OK\r\n\r\n", TSHttpException::kInvalidVersion, "TSHttpException: Invalid version: x"},
        {"HTTP/ 200 OK\r\n\r\n", TSHttpException::kInvalidVersion, "TSHttpException: Invalid version: HTTP/"},
        {"HTTP/1. 200\r\n\r\n", TSHttpException::kInvalidVersion, "TSHttpException: Invalid version: 1."},
        {"HTTP/1.0.1 200\r\n\r\n", TSHttpException::kInvalidVersion,
         "TSHttpException: Invalid version: 1.0.1"},
        {"", TSHttpException::kInvalidVersion, "TSHttpException: Invalid version"},
        {"HTTP/1.0 20 OK\r\n\r\n", TSHttpException::kInvalidStatus,
         "TSHttpException: Invalid status: HTTP/1.0 20 OK"},
        {"HTTP/1.0 2000\r\n\r\n", TSHttpException::kInvalidStatus,
         "TSHttpException: Invalid status: HTTP/1.0 2000"},
        {"HTTP/1.0\r\n200 OK\r\n", TSHttpException::kInvalidStatus,
         "TSHttpException: Invalid status: HTTP/1.0"},
        {"HTTP/1.0 200 OK", TSHttpException::kInvalidResponse,
         "TSHttpException: Invalid response: HTTP/1.0 200 OK"},
        {"HTTP/1.0 200 OK\r\nBroken line\r\n\r\n", TSHttpException::kInvalidHeader,
         "TSHttpException: Invalid header: Broken line"},
        {"HTTP/1.0 200 OK\r\nA: b\rC: d\r\n\r\n", TSHttpException::kInvalidHeader,
         "TSHttpException: Invalid header: A: b"},
        {"HTTP/1.0 200 OK\r\nA: b", TSHttpException::kInvalidHeader, "TSHttpException: Invalid header: A: b"},
        {"HTTP/1.0 200 OK\r\n\rX", TSHttpException::kInvalidResponse,
         "TSHttpException: Invalid response: CR without LF after the headers"},
        {"HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n", TSHttpException::kInvalidHeader,
         "TSHttpException: Invalid header: Content-Length: -5"},
        {"HTTP/1.0 200 OK\r\ncontent-length: 12abc\r\n\r\n", TSHttpException::kInvalidHeader,
         "TSHttpException: Invalid header: Content-Length: 12abc"},
        {"HTTP/1.0 200 OK\r\nContent-Length:\r\n\r\n", TSHttpException::kInvalidHeader,
         "TSHttpException: Invalid header: Content-Length: "},
    };
    for (const auto& c : cases) {
        TSHttpResponse response;
        try {
            response.ParseHead(c.text);
            ADD_FAILURE() << "parsed " << c.text;
        } catch (const TSHttpException& error) {
            EXPECT_EQ(error.GetCode(), c.code) << c.text;
            EXPECT_EQ(error.GetMessage(), c.message) << c.text;
        }
    }
}

TEST(TSHttpResponse, HeadersReadBeforeAFailureStay)
{
    TSHttpResponse response;
    EXPECT_THROW(response.ParseHead("HTTP/1.0 201 Created\r\nServer: x\r\nbad\r\n\r\n"), TSHttpException);
    EXPECT_EQ(response.GetStatus(), 201);
    EXPECT_TRUE(response.GetHeaders().Contains("Server"));
}

TEST(TSHttpResponse, ContentLength)
{
    const std::pair<const char*, std::optional<uint64_t>> cases[] = {
        {"0", 0u},
        {"2048", 2048u},
        {"00012", 12u},
        {"99999999999999999999999", UINT64_MAX},
        {"12abc", std::nullopt},
        {"-1", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [value, expected] : cases) {
        TSHttpResponse response;
        response.AddHeader("content-length", value);
        uint64_t length = 7;
        EXPECT_EQ(response.GetContentLength(length), expected.has_value()) << value;
        if (expected) {
            EXPECT_EQ(length, *expected) << value;
        }
    }
    TSHttpResponse none;
    uint64_t length = 0;
    EXPECT_FALSE(none.GetContentLength(length));
}

} // namespace

#include "tst/http/htheader.h"

#include "tst/http/htexcep.h"
#include "tst/http/htutil.h"
#include "tst/tsexcep.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpVocabulary, IndicesNameTheirTexts)
{
    EXPECT_STREQ(HttpVerbText(kHttpGet), "GET");
    EXPECT_STREQ(HttpVerbText(kHttpPost), "POST");
    EXPECT_STREQ(HttpVerbText(kHttpConnect), "CONNECT");
    EXPECT_EQ(HttpVerbText(8), nullptr);
    EXPECT_EQ(HttpVerbText(-1), nullptr);

    EXPECT_STREQ(HttpHeaderName(0), "Accept");
    EXPECT_STREQ(HttpHeaderName(kHeaderContentLength), "Content-Length");
    EXPECT_EQ(kHeaderContentLength, 12);
    EXPECT_STREQ(HttpHeaderName(kHeaderContentType), "Content-Type");
    EXPECT_EQ(kHeaderContentType, 16);
    EXPECT_STREQ(HttpHeaderName(kHeaderHost), "Host");
    EXPECT_EQ(kHeaderHost, 23);
    EXPECT_STREQ(HttpHeaderName(kHeaderProxyAuthorization), "Proxy-Authorization");
    EXPECT_EQ(kHeaderProxyAuthorization, 34);
    EXPECT_STREQ(HttpHeaderName(48), "Www-Authenticate");
    // Every well-known name is already in normalised spelling.
    for (int32_t index = 0; index < kHttpHeaderCount; ++index)
        EXPECT_EQ(NormaliseHeaderName(HttpHeaderName(index)), HttpHeaderName(index));
    EXPECT_THROW(HttpHeaderName(kHttpHeaderCount), TSInternalError);

    EXPECT_STREQ(HttpContentTypeText(kContentTextXml), "text/xml");
    EXPECT_STREQ(HttpContentTypeText(kContentUrlEncoded), "text/x-url-encoded");
    EXPECT_THROW(HttpContentTypeText(11), TSInternalError);
}

TEST(HttpVocabulary, NormaliseHeaderName)
{
    const std::pair<const char*, const char*> cases[] = {
        {"content-length", "Content-Length"},
        {"CONTENT-LENGTH", "Content-Length"},
        {"cOnTeNt-tYpE", "Content-Type"},
        {"ETAG", "Etag"},
        {"x-1abc", "X-1abc"},
        {"-lead", "-Lead"},
        {"www-authenticate", "Www-Authenticate"},
        {"a--b c", "A--B c"},
        {"", ""},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(NormaliseHeaderName(name), expected) << name;
}

TEST(HttpVocabulary, Base64)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"user:secret", "dXNlcjpzZWNyZXQ="},
        {":pw", "OnB3"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(EncodeBase64(input), expected) << input;
    const unsigned char high[] = {0xFB, 0xFF, 0xBF};
    EXPECT_EQ(EncodeBase64(high, sizeof high), "+/+/");
}

TEST(HttpException, EveryCodeHasItsText)
{
    const char* texts[] = {"Invalid URL",    "Invalid verb",    "Invalid version",  "Invalid status",
                           "Invalid format", "Invalid request", "Invalid response", "Invalid cookie",
                           "Invalid header", "Invalid date",    "Invalid address",  "Invalid state",
                           "Thread error"};
    for (int32_t code = 0; code <= 12; ++code) {
        TSHttpException error(code, "detail");
        EXPECT_EQ(error.GetCode(), code);
        EXPECT_EQ(error.GetMessage(), std::string("TSHttpException: ") + texts[code] + ": detail");
    }
    EXPECT_EQ(TSHttpException(TSHttpException::kInvalidState).GetMessage(), "TSHttpException: Invalid state");
}

TEST(TSHttpHeaderList, ModesAppendAddIfMissingAndReplace)
{
    TSHttpHeaderList headers;
    headers.Add("set-cookie", "a=1");
    headers.Add("Set-Cookie", "b=2", kHeaderAppend);
    headers.Add("SET-COOKIE", "c=3", kHeaderAddIfMissing);
    const TSHttpHeader* cookie = headers.Find("sEt-CoOkIe");
    ASSERT_NE(cookie, nullptr);
    EXPECT_EQ(cookie->GetName(), "Set-Cookie");
    EXPECT_EQ(cookie->GetValues(), (std::vector<std::string>{"a=1", "b=2"}));

    headers.Add(kHeaderSetCookie, "d=4", kHeaderReplace);
    std::string value;
    EXPECT_TRUE(headers.GetValue("set-cookie", 0, value));
    EXPECT_EQ(value, "d=4");
    EXPECT_FALSE(headers.GetValue("set-cookie", 1, value));
    EXPECT_FALSE(headers.GetValue("cookie", 0, value));
    EXPECT_EQ(headers.Size(), 1u);

    headers.Add("content-type", "text/xml", kHeaderAddIfMissing);
    EXPECT_EQ(headers.Format(), "Content-Type: text/xml\r\nSet-Cookie: d=4\r\n");
    EXPECT_TRUE(headers.Remove("CONTENT-TYPE"));
    EXPECT_FALSE(headers.Remove("content-type"));
    headers.Clear();
    EXPECT_EQ(headers.Size(), 0u);
    EXPECT_EQ(headers.Format(), "");
}

TEST(TSHttpHeaderList, CopyOnWrite)
{
    TSHttpHeaderList first;
    first.Add("Accept", "text/xml");
    TSHttpHeaderList second(first);
    EXPECT_EQ(first.GetBody(), second.GetBody());

    second.Add("accept", "text/html");
    EXPECT_NE(first.GetBody(), second.GetBody());
    EXPECT_EQ(first.Find("Accept")->GetValues().size(), 1u);
    EXPECT_EQ(second.Find("Accept")->GetValues().size(), 2u);

    TSHttpHeaderList third(first);
    third.Clear();
    EXPECT_EQ(first.Size(), 1u);
    EXPECT_EQ(third.Size(), 0u);

    const TSHttpHeaderList copy = first.Copy();
    EXPECT_NE(copy.GetBody(), first.GetBody());
    EXPECT_EQ(copy.Format(), first.Format());
}

TEST(TSHttpHeader, FromLine)
{
    const TSHttpHeader header = TSHttpHeader::FromLine("  content-TYPE  :   text/xml; charset=x  ");
    EXPECT_EQ(header.GetName(), "Content-Type");
    EXPECT_EQ(header.GetValues(), std::vector<std::string>{"text/xml; charset=x"});
    EXPECT_EQ(TSHttpHeader::FromLine("Empty:").GetValues(), std::vector<std::string>{""});
    EXPECT_EQ(TSHttpHeader::FromLine("Time: 10:20").GetValues(), std::vector<std::string>{"10:20"});
    try {
        TSHttpHeader::FromLine("no colon here");
        ADD_FAILURE();
    } catch (const TSHttpException& error) {
        EXPECT_EQ(error.GetMessage(), "TSHttpException: Invalid header: no colon here");
    }
}

} // namespace

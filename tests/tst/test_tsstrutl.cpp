#include "tst/tsstrutl.h"

#include "tst/tsexcep.h"

#include <gtest/gtest.h>

namespace {

TEST(TSStrUtl, StripSpacesAndDashes)
{
    EXPECT_EQ(StripSpacesAndDashes("0-12345 67890-5"), "012345678905");
    EXPECT_EQ(StripSpacesAndDashes(" - "), "");
    EXPECT_EQ(StripSpacesAndDashes("a\tb"), "a\tb"); // only blanks and dashes
    EXPECT_THROW(StripSpacesAndDashes(static_cast<const char*>(nullptr)), TSInternalError);
}

TEST(TSStrUtl, StripLeadingZeros)
{
    const std::pair<const char*, const char*> cases[] = {
        {"000", "0"}, {"0042", "42"}, {"42", "42"}, {"", ""}, {"0", "0"}, {"0a", "a"}, {" 01", " 01"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(StripLeadingZeros(in), out) << in;
}

TEST(TSStrUtl, IsAllDigits)
{
    EXPECT_TRUE(IsAllDigits("0123456789"));
    EXPECT_FALSE(IsAllDigits(""));
    EXPECT_FALSE(IsAllDigits(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(IsAllDigits("12 3"));
    EXPECT_FALSE(IsAllDigits("١٢")); // non-ASCII digits are not digits here
}

TEST(TSStrUtl, ParseDecimal)
{
    EXPECT_EQ(ParseDecimal("12345", 3), 123);
    EXPECT_EQ(ParseDecimal("007x", 3), 7);
    EXPECT_EQ(ParseDecimal("x", 0), 0);
    EXPECT_THROW(ParseDecimal("12a", 3), TSInternalError);
    EXPECT_THROW(ParseDecimal("12", 5), TSInternalError) << "reading past the end stops at the NUL";
    EXPECT_THROW(ParseDecimal(nullptr, 1), TSInternalError);
    EXPECT_EQ(FormatUnsigned(4294967295u), "4294967295");
}

TEST(TSStrUtl, XmlEscape)
{
    const std::pair<std::string, const char*> cases[] = {
        {"\t", "&#009;"},
        {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e&#039;f"},
        {"plain text", "plain text"},
        {"\xC3\xA9", "&#195;&#169;"},
        {std::string("\0x", 2), "&#000;x"},
        {"\x7F", "&#127;"},
    };
    for (const auto& [in, out] : cases) {
        std::string text = in;
        EXPECT_EQ(XmlEscape(text), in != out);
        EXPECT_EQ(text, out);
    }
}

TEST(TSStrUtl, ShowControlCharactersWritesThemOut)
{
    using namespace std::string_literals;
    const std::pair<std::string, std::string> cases[] = {
        {"plain text", "plain text"},
        {"\x1b[2J\x1b[31mred", "\\e[2J\\e[31mred"},
        {"ring\a, back\b", "ring\\a, back\\b"},
        {"over\rwrite\n\tnext\f\v", "over\\rwrite\\n\\tnext\\f\\v"},
        {"\0\x01\x1f\x7f"s, "\\x00\\x01\\x1f\\x7f"},
        {"next line\xc2\x85, CSI\xc2\x9b", "next line\\x85, CSI\\x9b"},
        {"a\xe2\x80\xa8"
         "b\xe2\x80\xa9",
         "a\\u2028b\\u2029"},
        {"caf\xc3\xa9 \xc2\xa0\xe2\x82\xac \xe2\x80\x94", "caf\xc3\xa9 \xc2\xa0\xe2\x82\xac \xe2\x80\x94"},
        {"cut \xc2", "cut \xc2"},
    };
    for (const auto& [text, shown] : cases)
        EXPECT_EQ(ShowControlCharacters(text), shown) << text;
}

TEST(TSStrUtl, UrlEncode)
{
    const std::pair<std::string, const char*> cases[] = {
        {"a/b c.d_e~", "a/b+c.d_e%7E"},
        {"AZaz09./_", "AZaz09./_"},
        {"?&=%", "%3F%26%3D%25"},
        {"\xFF\n", "%FF%0A"},
        {"", ""},
    };
    for (const auto& [in, out] : cases) {
        std::string text = in;
        EXPECT_EQ(UrlEncode(text), in != out);
        EXPECT_EQ(text, out);
    }
}

} // namespace

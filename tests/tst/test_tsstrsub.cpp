#include "tst/tsstrsub.h"

#include <gtest/gtest.h>

namespace {

TSStringSubst TemplateSubst()
{
    TSStringMap values;
    values.Set("CODE", "01 2");
    values.Set("SID", "a&b");
    return TSStringSubst::ForTemplates(values);
}

TEST(TSStringSubst, ServerTemplateTable)
{
    struct Case {
        const char* text;
        const char* expected;
        bool changed;
    };
    const Case cases[] = {
        {"x<^CODE^>y", "x01 2y", true},
        {"x<^%CODE^>y", "x01+2y", true},
        {"x<^&CODE^>y", "x01 2y", true},
        {"<^&SID^>", "a&amp;b", true},
        {"<^%SID^>", "a%26b", true},
        {"x<^NOPE^>y", "xy", true},
        {"no delimiters at all", "no delimiters at all", false},
        {"<^CODE^><^CODE^>", "01 201 2", true},
        {"^CODE^ is not a template key", "^CODE^ is not a template key", false},
        {"tail <^CODE^>", "tail 01 2", true},
        {"<^CODE^> head", "01 2 head", true},
        {"a<^b<^CODE^>", "a", true}, // the key is "b<^CODE", which is missing
    };
    const TSStringSubst subst = TemplateSubst();
    for (const auto& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(subst.Substitute(text), c.changed) << c.text;
        EXPECT_EQ(text, c.expected) << c.text;
    }
}

TEST(TSStringSubst, MalformedTemplatesThrowAndLeaveTheText)
{
    struct Case {
        const char* text;
        int kind;
        const char* message;
    };
    const Case cases[] = {
        {"x<^CODE y", TSStringSubstException::kMismatchedDelimiter,
         "TSStringSubstException::Mismatched delimiter"},
        {"x<^^>y", TSStringSubstException::kEmptyToken, "TSStringSubstException::Empty Token"},
        {"x<^%^>y", TSStringSubstException::kEmptyToken, "TSStringSubstException::Empty Token"},
        {"x<^&^>y", TSStringSubstException::kEmptyToken, "TSStringSubstException::Empty Token"},
        {"<^CODE^> then <^", TSStringSubstException::kMismatchedDelimiter,
         "TSStringSubstException::Mismatched delimiter"},
    };
    const TSStringSubst subst = TemplateSubst();
    for (const auto& c : cases) {
        std::string text = c.text;
        try {
            subst.Substitute(text);
            ADD_FAILURE() << "no exception for " << c.text;
        } catch (const TSStringSubstException& error) {
            EXPECT_EQ(error.GetKind(), c.kind) << c.text;
            EXPECT_EQ(error.GetMessage(), c.message) << c.text;
        }
        EXPECT_EQ(text, c.text);
    }
    EXPECT_EQ(TSStringSubstException(1, "x<^^>").GetMessage(),
              "TSStringSubstException::Empty Token: 'x<^^>'");
}

TEST(TSStringSubst, MissingKeysKeptWhenNotDropping)
{
    TSStringMap values;
    values.Set("CODE", "7");
    TSStringSubst keep(values, TSStringSubst::kByPrefix, 0, '^', 0);
    keep.SetDelimiters("<^", "^>");
    std::string text = "x<^NOPE^>y";
    EXPECT_FALSE(keep.Substitute(text));
    EXPECT_EQ(text, "x<^NOPE^>y");
    text = "<^%NOPE^>-<^CODE^>";
    EXPECT_TRUE(keep.Substitute(text));
    EXPECT_EQ(text, "<^%NOPE^>-7");
}

TEST(TSStringSubst, ModesApplyToEveryKey)
{
    TSStringMap values;
    values.Set("V", "a b<");
    values.Set("%V", "prefixed");
    struct Case {
        int mode;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {TSStringSubst::kPlain, "^V^", "a b<"},
        {TSStringSubst::kUrlEncode, "^V^", "a+b%3C"},
        {TSStringSubst::kXmlEscape, "^V^", "a b&lt;"},
        {TSStringSubst::kPlain, "^%V^", "prefixed"}, // only mode 3 reads prefixes
        {TSStringSubst::kByPrefix, "^%V^", "a+b%3C"},
        {TSStringSubst::kByPrefix, "^&V^", "a b&lt;"},
    };
    for (const auto& c : cases) {
        TSStringSubst subst(values, c.mode, 1, '^', 0);
        std::string text = c.text;
        EXPECT_TRUE(subst.Substitute(text));
        EXPECT_EQ(text, c.expected) << "mode " << c.mode << " " << c.text;
    }
}

TEST(TSStringSubst, PageTemplatesUseSingleCaret)
{
    TSStringMap values;
    values.Set("TITLE", "Codes");
    std::string text = "<title>^TITLE^</title>";
    EXPECT_TRUE(TSStringSubst::ForPages(values).Substitute(text));
    EXPECT_EQ(text, "<title>Codes</title>");
}

TEST(TSStringSubst, RecursionExpandsValues)
{
    TSStringSubst subst(TSStringSubst::kByPrefix, 1, '^', 1);
    subst.SetDelimiters("<^", "^>");
    subst.Set("URL", "http://<^HOST^>/<^%Q^>");
    subst.Set("HOST", "example.test");
    subst.Set("Q", "a b");
    std::string text = "go <^URL^>";
    EXPECT_TRUE(subst.Substitute(text));
    EXPECT_EQ(text, "go http://example.test/a+b");
}

TEST(TSStringSubst, RunawayRecursionStopsWithAnError)
{
    TSStringSubst self(TSStringSubst::kPlain, 1, '^', 1);
    self.Set("A", "x^A^");
    std::string text = "^A^";
    EXPECT_THROW(self.Substitute(text), TSStringSubstException);
    EXPECT_EQ(text, "^A^");

    // Each level doubles the text: bounded by the output limit, not memory.
    TSStringSubst doubling(TSStringSubst::kPlain, 1, '^', 1);
    for (int i = 0; i < 16; ++i)
        doubling.Set("K" + std::to_string(i),
                     "^K" + std::to_string(i + 1) + "^^K" + std::to_string(i + 1) + "^");
    doubling.Set("K16", std::string(1000, 'z'));
    text = "^K0^";
    try {
        doubling.Substitute(text);
        FAIL() << "no exception";
    } catch (const TSStringSubstException& error) {
        EXPECT_EQ(error.GetKind(), TSStringSubstException::kRecursionLimit);
    }
}

TEST(TSStringSubst, SharesTheMapItWasGiven)
{
    TSStringMap values;
    TSStringSubst subst = TSStringSubst::ForTemplates(values);
    EXPECT_EQ(subst.GetBody(), values.GetBody());
    EXPECT_EQ(subst.GetOpenDelimiter(), "<^");
    EXPECT_EQ(subst.GetCloseDelimiter(), "^>");
    EXPECT_THROW(subst.SetDelimiters("", "^>"), TSInternalError);
}

} // namespace

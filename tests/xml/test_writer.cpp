// The element-by-element writers: the text one must give, byte for byte,
// what the formatter writes for the tree the other builds.
#include "tst/xml/io/xmlwriter.h"

#include "tst/tsexcep.h"
#include "tst/xml/io/domformat.h"
#include "tst/xml/io/xmlsink.h"
#include "tst/xml/transcode.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

namespace {

const std::string kDeclaration = "<?xml version='1.0' standalone='yes'?>\n";

std::string Formatted(const TSDomDocument& document, int indentWidth)
{
    TSXmlDataBufferSink sink;
    TSDomFormatter formatter(&sink);
    formatter.SetIndentWidth(indentWidth);
    formatter.Format(document);
    return WideToUtf8(sink.GetText());
}

// The same calls into both writers.
void Both(TSDomTreeWriter& tree, TSXmlTextWriter& text, const std::function<void(TSXmlWriter&)>& calls)
{
    calls(tree);
    calls(text);
}

TEST(TSXmlTextWriter, WritesWhatTheFormatterWritesForTheTree)
{
    TSDomTreeWriter tree;
    TSXmlTextWriter text(4);
    Both(tree, text, [](TSXmlWriter& out) {
        out.StartElement(u"LIST");
        out.StartElement(u"KEY");
        out.Attribute(u"RID", "12");
        out.Attribute(u"NAME", "it's <\"&\">");
        out.StartElement(u"EMPTY");
        out.EndElement();
        out.StartElement(u"TEXT");
        out.Text("a & b < c\tline\nfeed 'quoted'");
        out.EndElement();
        out.StartElement(u"NOTEXT");
        out.Text("");
        out.EndElement();
        out.EndElement();
        out.EndElement();
    });
    const std::string written = text.Take();
    EXPECT_EQ(written, Formatted(tree.Take(), 4));
    EXPECT_EQ(written, kDeclaration + "<LIST>\n"
                                      "    <KEY RID='12' NAME='it&apos;s &lt;&quot;&amp;&quot;&gt;'>\n"
                                      "        <EMPTY/>\n"
                                      "        <TEXT>a &amp; b &lt; c\tline\nfeed 'quoted'</TEXT>\n"
                                      "        <NOTEXT/>\n"
                                      "    </KEY>\n"
                                      "</LIST>\n");
}

TEST(TSXmlTextWriter, EightBitTextsAsTheTreeTakesThem)
{
    struct Case {
        const char* text;
        const char* written; // as an attribute value
    };
    const Case cases[] = {
        {"Caf\xc3\xa9", "Caf&#233;"},                     // UTF-8
        {"Caf\xe9", "Caf&#233;"},                         // not UTF-8: Latin-1
        {"\xe2\x82\xac 5", "&#8364; 5"},                  // three bytes
        {"ok\x01\x7f", "ok&#1;&#127;"},                   // control characters
        {"\xc3", "&#195;"},                               // cut off: Latin-1
        {"\xf0\x9f\x98\x80", "&#240;&#159;&#152;&#128;"}, // four bytes are not read: Latin-1
        {"", ""},
    };
    for (const Case& c : cases) {
        TSDomTreeWriter tree;
        TSXmlTextWriter text(0);
        Both(tree, text, [&](TSXmlWriter& out) {
            out.StartElement(u"a");
            out.Attribute(u"v", c.text);
            out.Text(c.text);
            out.EndElement();
        });
        const std::string written = text.Take();
        EXPECT_EQ(written, Formatted(tree.Take(), 0)) << c.text;
        EXPECT_EQ(written, kDeclaration + "<a v='" + c.written +
                               (*c.text ? "'>" + std::string(c.written) + "</a>\n" : "'/>\n"))
            << c.text;
    }
}

TEST(TSXmlTextWriter, RandomDocumentsAgreeWithTheFormatter)
{
    static const char* const kPieces[] = {"a",     "0129",     " ",    "&",    "<",    ">",
                                          "'",     "\"",       "\t",   "\n",   "\r",   "\x01",
                                          "\x7f",  "\xc3\xa9", "\xe9", "\xe2", "\x82", "\xe2\x82\xac",
                                          "&amp;", "]]>",      "\xff"};
    static const char16_t* const kNames[] = {u"A", u"ROUTING_KEY", u"x.y", u"n-1", u"_"};
    const auto value = [](std::mt19937& random) {
        std::string text;
        for (unsigned i = random() % 6; i > 0; --i)
            text += kPieces[random() % std::size(kPieces)];
        return text;
    };
    // A tree of up to four levels; an element holds text or elements.
    const std::function<void(TSXmlWriter&, std::mt19937&, int)> element =
        [&](TSXmlWriter& out, std::mt19937& random, int depth) {
            out.StartElement(kNames[random() % std::size(kNames)]);
            for (unsigned i = random() % 3; i > 0; --i)
                out.Attribute(kNames[i], value(random));
            if (depth < 3 && random() % 2) {
                for (unsigned i = random() % 4; i > 0; --i)
                    element(out, random, depth + 1);
            } else {
                out.Text(value(random));
            }
            out.EndElement();
        };
    for (unsigned seed = 1; seed <= 40; ++seed) {
        const int indent = static_cast<int>(seed % 3) * 2;
        TSDomTreeWriter tree;
        TSXmlTextWriter text(indent);
        // The same draws for both writers.
        std::mt19937 forTree(seed), forText(seed);
        element(tree, forTree, 0);
        element(text, forText, 0);
        EXPECT_EQ(text.Take(), Formatted(tree.Take(), indent)) << "seed " << seed;
    }
}

TEST(TSXmlWriter, RefusesWhatTheTreeCouldNotHold)
{
    TSXmlTextWriter text(4);
    text.StartElement(u"a");
    EXPECT_THROW(text.StartElement(u"b c"), TSInternalError);
    text.Text("t");
    EXPECT_THROW(text.StartElement(u"b"), TSInternalError) << "an element after text";
    EXPECT_THROW(text.Attribute(u"n", "v"), TSInternalError) << "an attribute after text";
    EXPECT_THROW(text.Take(), TSInternalError) << "an element not ended";

    TSDomTreeWriter tree;
    tree.StartElement(u"a");
    tree.EndElement();
    EXPECT_THROW(tree.StartElement(u"b"), TSInternalError) << "a second root";
    EXPECT_THROW(tree.EndElement(), TSInternalError);
}

} // namespace

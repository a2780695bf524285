#include "tst/xml/io/domformat.h"

#include "tests/xml/xmltestutil.h"
#include "tst/tsexcep.h"
#include "tst/xml/io/xmlsink.h"
#include "tst/xml/transcode.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

const std::string kDeclaration = "<?xml version='1.0' standalone='yes'?>\n";

std::string Format(const TSDomDocument& document, const std::function<void(TSDomFormatter&)>& configure = {})
{
    TSXmlDataBufferSink sink;
    TSDomFormatter formatter(&sink);
    if (configure)
        configure(formatter);
    formatter.Format(document);
    return WideToUtf8(sink.GetText());
}

TSDomDocument Nested()
{
    TSDomDocument document(u"a");
    TSDomElement b(u"b");
    b.AppendChild(TSDomText(u"1"));
    document.GetDocumentElement().AppendChild(b);
    return document;
}

TEST(TSDomFormatter, WritesTheDefaults)
{
    EXPECT_EQ(Format(Nested()), kDeclaration + "<a>\n\t<b>1</b>\n</a>\n");
    EXPECT_EQ(Format(TSDomDocument(u"x")), kDeclaration + "<x/>\n");
}

TEST(TSDomFormatter, EachSettingChangesItsPart)
{
    struct Case {
        const char* what;
        std::function<void(TSDomFormatter&)> configure;
        std::string expected;
    } cases[] = {
        {"not pretty", [](TSDomFormatter& f) { f.SetPretty(0); }, kDeclaration + "<a><b>1</b></a>"},
        {"four blanks", [](TSDomFormatter& f) { f.SetIndentWidth(4); },
         kDeclaration + "<a>\n    <b>1</b>\n</a>\n"},
        {"double quote", [](TSDomFormatter& f) { f.SetQuoteChar(u'"'); },
         "<?xml version=\"1.0\" standalone=\"yes\"?>\n<a>\n\t<b>1</b>\n</a>\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Format(Nested(), c.configure), c.expected) << c.what;

    TSDomDocument empty(u"x");
    EXPECT_EQ(Format(empty, [](TSDomFormatter& f) { f.SetCollapseEmpty(0); }), kDeclaration + "<x></x>\n");
    EXPECT_THROW(TSDomFormatter().SetQuoteChar(u'`'), TSInternalError);
}

TEST(TSDomFormatter, EscapesTextAndAttributeValues)
{
    TSDomDocument document(u"e");
    TSDomElement root = document.GetDocumentElement();
    root.SetAttribute(u"q", u"it's \"x\" <&>\u00e9\t");
    root.AppendChild(TSDomText(u"a&b<c>d\"e'f\u00e9\u4e2d\t\n\r\x01\x7f"));

    EXPECT_EQ(Format(document), kDeclaration + "<e q='it&apos;s &quot;x&quot; &lt;&amp;&gt;&#233;\t'>"
                                               "a&amp;b&lt;c&gt;d\"e'f&#233;&#20013;\t\n\r&#1;&#127;</e>\n");
    // Without escaping, markup in text and quotes in values stay as they are.
    EXPECT_EQ(Format(document, [](TSDomFormatter& f) { f.SetEscape(0); }),
              kDeclaration +
                  "<e q='it's \"x\" &lt;&amp;&gt;&#233;\t'>a&b<c>d\"e'f&#233;&#20013;\t\n\r&#1;&#127;</e>\n");
}

TEST(TSDomFormatter, WritesMixedContentAndOtherNodes)
{
    EXPECT_EQ(Format(ParseUtf8("<p>text<i/>tail</p>")), kDeclaration + "<p>\n\ttext\n\t<i/>\n\ttail\n</p>\n");
    // Comments, CDATA sections and instructions cannot hold references:
    // their characters go out as they are.
    TSDomDocument document = ParseUtf8("<!--top--><r><![CDATA[a<\xC3\xA9]]><!--\xC3\xA9--></r><?after?>");
    TSDomElement root = document.GetDocumentElement();
    root.AppendChild(TSDomProcessingInstruction(u"t", u"d\u00e9"));
    root.AppendChild(TSDomProcessingInstruction(u"e"));
    EXPECT_EQ(Format(document),
              kDeclaration +
                  "<!--top-->\n<r>\n\t<![CDATA[a<\xC3\xA9]]>\n\t<!--\xC3\xA9-->\n\t<?t d\xC3\xA9?>\n"
                  "\t<?e?>\n</r>\n<?after?>\n");
}

TEST(TSDomFormatter, NamesReadBackUnchanged)
{
    TSDomDocument document(u"a<b&c");
    document.GetDocumentElement().SetAttribute(u"x=y z", u"1");
    const std::string text = Format(document);
    EXPECT_EQ(text, kDeclaration + "<a&lt;b&amp;c x&#61;y&#32;z='1'/>\n");
    EXPECT_EQ(DumpTree(ParseUtf8(text)), DumpTree(document));
}

TEST(TSDomFormatter, HooksShapeTheOutput)
{
    class Custom : public TSDomFormatter {
    public:
        using TSDomFormatter::TSDomFormatter;

    protected:
        void WriteDeclaration() override { Write(u"<?xml version='1.0'?>"); }
        void EscapeAttributeValue(std::u16string_view value, std::u16string& out) override
        {
            out.append(u"[").append(value).append(u"]");
        }
        bool KeepsOpenTag(std::u16string_view name) override { return name == u"br"; }
    };
    TSDomDocument document(u"p");
    TSDomElement root = document.GetDocumentElement();
    root.SetAttribute(u"k", u"v");
    root.AppendChild(TSDomElement(u"br"));
    root.AppendChild(TSDomElement(u"hr"));
    TSXmlDataBufferSink sink;
    Custom formatter(&sink);
    formatter.SetCollapseEmpty(0);
    formatter.SetPretty(0);
    formatter.Format(document);
    EXPECT_EQ(WideToUtf8(sink.GetText()), "<?xml version='1.0'?><p k='[v]'><br><hr></hr></p>");
}

TEST(TSDomFormatter, RefusesWhatItCannotWrite)
{
    TSDomFormatter noSink;
    EXPECT_THROW(noSink.Format(Nested()), TSInternalError);

    TSDomDocument document(u"a");
    document.GetDocumentElement().AppendChild(TSDomAttr(u"n", u"v"));
    TSXmlDataBufferSink sink;
    TSDomFormatter formatter(&sink);
    EXPECT_THROW(formatter.Format(document), TSInternalError);
}

TEST(TSXmlDataBufferSink, CollectsEveryKindOfWrite)
{
    TSXmlDataBufferSink sink;
    sink.PutChar(u'a');
    sink.PutString(u"bc");
    const std::u16string big(1000, u'x');
    sink.PutChars(big.data(), big.size());
    EXPECT_EQ(sink.GetText(), u"abc" + big);
    EXPECT_EQ(sink.TakeText().size(), 1003u);
    EXPECT_TRUE(sink.GetText().empty());
}

} // namespace

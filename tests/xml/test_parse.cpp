#include "tst/xml/io/domparse.h"

#include "tests/xml/xmlcorpus.h"
#include "tests/xml/xmltestutil.h"
#include "tst/http/htrsp.h"
#include "tst/xml/io/xmlsource.h"
#include "tst/xml/transcode.h"
#include "tst/xml/xmlexcep.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct ErrorCase {
    const char* document;
    const char* message;
};

TEST(TSDomParser, ReportsErrorsWithCodeAndPosition)
{
    const ErrorCase cases[] = {
        {"", "TSXmlException: Premature EOF: Line 1 Column 1"},
        {"  \n ", "TSXmlException: Premature EOF: Line 2 Column 2"},
        {"<?xml version='1.0'?>", "TSXmlException: Premature EOF: Line 1 Column 22"},
        {"<?xml version='1.1'?><a/>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<?xml encoding='UTF-8'?><a/>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<?XML version='1.0'?><a/>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<!-- c --><?xml version='1.0'?><a/>", "TSXmlException: Tag format error: Line 1 Column 11"},
        {"<![CDATA[x]]><a/>", "TSXmlException: Missing element start: Line 1 Column 1"},
        {"<a/>text", "TSXmlException: Item not allowed here: Line 1 Column 5"},
        {"<a/>\n<b/>", "TSXmlException: Item not allowed here: Line 2 Column 1"},
        {"text<a/>", "TSXmlException: Item not allowed here: Line 1 Column 1"},
        {"<a/><![CDATA[x]]>", "TSXmlException: Item not allowed here: Line 1 Column 5"},
        {"<a/><!DOCTYPE a>", "TSXmlException: Item not allowed here: Line 1 Column 5"},
        {"<!DOCTYPE a><!DOCTYPE a><a/>", "TSXmlException: Item not allowed here: Line 1 Column 13"},
        {"<!doctype a><a/>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<a>1 > 2</a>", "TSXmlException: Unmatched tag close: Line 1 Column 6"},
        {"<a>\n  <b", "TSXmlException: Missing tag close: Line 2 Column 3"},
        {"<a><b <c>", "TSXmlException: Missing tag close: Line 1 Column 4"},
        {"<a b='x>y'/>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<a b=1/>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<a b='1/>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<a b/>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<a ='1'/>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<a b='1' / c='2'/>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<a/b>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"< a/>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"</a>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<a></a x='1'>", "TSXmlException: Tag format error: Line 1 Column 4"},
        {"<a></a/>", "TSXmlException: Tag format error: Line 1 Column 4"},
        {"<a><?pi x?></a>", "TSXmlException: Item not allowed here: Line 1 Column 4"},
        {"<a><!DOCTYPE a></a>", "TSXmlException: Item not allowed here: Line 1 Column 4"},
        {"<a><?pi x></a>", "TSXmlException: Tag format error: Line 1 Column 10"},
        {"<?xml version='1.0'?><?Xml x?><a/>", "TSXmlException: Tag format error: Line 1 Column 22"},
        {"<? pi?><a/>", "TSXmlException: Tag format error: Line 1 Column 1"},
        {"<a>text", "TSXmlException: Premature EOF: Line 1 Column 8"},
        {"<a><!-- open", "TSXmlException: Missing tag close: Line 1 Column 4"},
        {"<a><![CDATA[ x ]>", "TSXmlException: Missing tag close: Line 1 Column 4"},
        {"<a>x</b>",
         "TSXmlException: Mismatched tag close: \nOpen: a At Line 1 Column 1\nClose: b At Line 1 Column 5"},
        {"<r>\n <\xC3\xA9l>\xC4\x80</\xC4\x80>", "TSXmlException: Mismatched tag close: \nOpen: \xE9l At "
                                                 "Line 2 Column 2\nClose: &#256; At Line 2 Column 7"},
    };
    for (const ErrorCase& c : cases)
        EXPECT_EQ(ParseError(c.document), c.message) << "document: " << c.document;
}

// Entities are never defined, so every reference to one is refused, also
// those a DOCTYPE declares (the classic expansion attacks).
TEST(TSDomParser, RefusesReferencesToUndefinedEntities)
{
    const ErrorCase cases[] = {
        {"<a>x\n&foo;</a>", "TSXmlException: Invalid entity: Line 2 Column 1"},
        {"<a b='&x;'/>", "TSXmlException: Invalid entity: Line 1 Column 1"},
        {"<a&x;/>", "TSXmlException: Invalid entity: Line 1 Column 1"},
        {"<!DOCTYPE a [<!ENTITY l0 'ha'><!ENTITY l1 '&l0;&l0;&l0;&l0;'>]><a>&l1;</a>",
         "TSXmlException: Invalid entity: Line 1 Column 67"},
        {"<!DOCTYPE a [<!ENTITY x SYSTEM 'file:///etc/passwd'>]>\n<a>&x;</a>",
         "TSXmlException: Invalid entity: Line 2 Column 4"},
    };
    for (const ErrorCase& c : cases)
        EXPECT_EQ(ParseError(c.document), c.message) << "document: " << c.document;
}

// No XML text holds a NUL: one in a reply is refused where it stands,
// never read as an empty or shortened text.
TEST(TSDomParser, RefusesNulCharactersWhereTheyStand)
{
    using namespace std::string_literals;
    const std::pair<std::string, std::string> cases[] = {
        {"<XSPLIT>\0\0</XSPLIT>"s, "TSXmlException: Character conversion error: Line 1 Column 9"},
        {"<a>\n x\0</a>"s, "TSXmlException: Character conversion error: Line 2 Column 3"},
        {"<a b='\0'/>"s, "TSXmlException: Character conversion error: Line 1 Column 7"},
        {"<a\0/>"s, "TSXmlException: Character conversion error: Line 1 Column 3"},
        {"<a><!-- \0 --></a>"s, "TSXmlException: Character conversion error: Line 1 Column 9"},
        {"<a/>\0"s, "TSXmlException: Character conversion error: Line 1 Column 5"},
        {"\0\0\0\0"s, "TSXmlException: Character conversion error: Line 1 Column 1"},
    };
    for (const auto& [document, message] : cases)
        EXPECT_EQ(ParseError(document), message) << "document: " << document;
    EXPECT_EQ(U8(ParseUtf8("<a>&#0;</a>").GetDocumentElement().GetFirstChild().GetNodeValue().View()),
              std::string(1, '\0'))
        << "a character reference stays as it was read";
}

std::string ManyAttributes(std::size_t count, const char* name = "a")
{
    std::string text = "<r><e";
    for (std::size_t i = 0; i < count; ++i)
        text.append(" ")
            .append(name)
            .append(std::to_string(i))
            .append("='v")
            .append(std::to_string(i))
            .append("'");
    return text + "/></r>";
}

TEST(TSDomParser, RefusesMoreAttributesOrDeeperNestingThanItsLimits)
{
    const TSDomParser::Limits limits;
    const std::string atLimit = ManyAttributes(limits.m_maxAttributes);
    EXPECT_EQ(
        TSDomElement(ParseUtf8(atLimit).GetDocumentElement().GetFirstChild()).GetAttributes().GetLength(),
        limits.m_maxAttributes);
    EXPECT_EQ(ParseError(ManyAttributes(limits.m_maxAttributes + 1)),
              "TSXmlException: Limit exceeded: more than 1024 attributes in one element at Line 1 Column 4");

    std::string deep;
    for (std::size_t i = 0; i < limits.m_maxDepth; ++i)
        deep += "<d>";
    std::string closing;
    for (std::size_t i = 0; i < limits.m_maxDepth; ++i)
        closing += "</d>";
    EXPECT_NO_THROW(ParseUtf8(deep + closing));
    EXPECT_EQ(ParseError(deep + "<d>" + "</d>" + closing),
              "TSXmlException: Limit exceeded: more than 256 levels of nesting at Line 1 Column " +
                  std::to_string(3 * limits.m_maxDepth + 1));
    // A hostile reply of a hundred thousand levels ends at the same place.
    std::string hostile;
    for (int i = 0; i < 100000; ++i)
        hostile += "<d>";
    EXPECT_EQ(ParseError(hostile),
              "TSXmlException: Limit exceeded: more than 256 levels of nesting at Line 1 "
              "Column " +
                  std::to_string(3 * limits.m_maxDepth + 1));
}

TEST(TSDomParser, ManyAttributesStillReplaceRepeatedNames)
{
    // Past the first few, names are looked up in an index: a repeat must
    // still replace the value in place, whatever its position.
    std::string text = ManyAttributes(40);
    text.insert(text.size() - 6, " a3='late' a39='last' a0='first'");
    const TSDomDocument document = ParseUtf8(text);
    const TSDomElement element(document.GetDocumentElement().GetFirstChild());
    EXPECT_EQ(element.GetAttributes().GetLength(), 40u);
    EXPECT_EQ(U8(element.GetAttribute(u"a0").View()), "first");
    EXPECT_EQ(U8(element.GetAttribute(u"a3").View()), "late");
    EXPECT_EQ(U8(element.GetAttribute(u"a39").View()), "last");
    EXPECT_EQ(U8(element.GetAttribute(u"a20").View()), "v20");

    TSXmlUtf8DataSource source(ManyAttributes(5000));
    TSDomParser parser(&source);
    parser.SetLimits({5000, 16});
    EXPECT_EQ(TSDomElement(parser.Parse().GetDocumentElement().GetFirstChild()).GetAttributes().GetLength(),
              5000u)
        << "the limits are the caller's to raise";
}

TEST(TSDomParser, ErrorsCarryTheirCode)
{
    try {
        ParseUtf8("<a>x</b>");
        FAIL() << "parsed a mismatched end tag";
    } catch (const TSXmlException& error) {
        EXPECT_EQ(error.GetCode(), TSXmlException::kMismatchedTagClose);
    }
}

TEST(TSDomParser, BuildsTheTree)
{
    const TSDomDocument document =
        ParseUtf8("<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\n"
                  "<!DOCTYPE root [ <!ENTITY x 'y'> ]>\n"
                  "<!-- before --><?style sheet?>\n"
                  "<root a=\"1\" b='two' a='3'>\n"
                  "  <empty/><child  x = 'y' />text<![CDATA[<raw> &amp;]]><!--inner-->\n"
                  "</root>\n"
                  "<!-- after -->\n");
    EXPECT_EQ(DumpTree(document), "#document\n"
                                  "  C [ before ]\n"
                                  "  P style [sheet]\n"
                                  "  E root a=[3] b=[two]\n"
                                  "    T [\\x0A  ]\n"
                                  "    E empty\n"
                                  "    E child x=[y]\n"
                                  "    T [text]\n"
                                  "    D [<raw> &amp;]\n"
                                  "    C [inner]\n"
                                  "    T [\\x0A]\n"
                                  "  C [ after ]\n");
}

TEST(TSDomParser, ExpandsEntitiesInTextNamesAndValues)
{
    const TSDomDocument document =
        ParseUtf8("<a v='&quot;&apos;&#x3c;&amp;amp;'>&lt;&#65;&#x42;&#X43;&#;&#x;&#12a;&amp &b=1 &;</a>");
    EXPECT_EQ(DumpTree(document.GetDocumentElement()),
              "E a v=[\"'<&amp;]\n  T [<ABC&#;&#x;&#12a;&amp &b=1 &;]\n");
    EXPECT_EQ(U8(ExpandEntities(u"&#65601;")), "A") << "values are taken modulo 65536";
    EXPECT_EQ(U8(ExpandEntities(u"plain")), "plain");
}

TEST(TSDomParser, LongDocumentsKeepEveryRepeatedText)
{
    // Thousands of short texts, most of them repeated, so that the parser's
    // table of recent texts grows while it shares them; the tree must come
    // out whole and outlive the parser.
    std::string text = "<root>\n";
    std::string expected = "E root\n";
    for (int i = 0; i < 6000; ++i) {
        const std::string name = "k" + std::to_string(i % 40);
        const std::string value = "v" + std::to_string(i % 700) + (i % 3 == 0 ? "" : "-" + std::to_string(i));
        text += "<i n='" + name + "'>" + value + "</i>\n";
        expected += "  T [\\x0A]\n  E i n=[" + name + "]\n    T [" + value + "]\n";
    }
    text += "</root>";
    expected += "  T [\\x0A]\n";
    TSDomDocument document = ParseUtf8(text);
    EXPECT_EQ(DumpTree(document.GetDocumentElement()), expected);
    const TSDomDocument again = ParseUtf8(text);
    document = TSDomDocument();
    EXPECT_EQ(DumpTree(again.GetDocumentElement()), expected);
}

TEST(TSDomParser, KeepsOneTextNodePerLine)
{
    const TSDomDocument document = ParseUtf8("<a>first\nsecond</a>");
    const TSDomNode first = document.GetDocumentElement().GetFirstChild();
    EXPECT_EQ(U8(first.GetNodeValue()), "first\n");
    EXPECT_EQ(U8(first.GetNextSibling().GetNodeValue()), "second");
}

TEST(TSDomParser, ElementHookSeesEveryTagAndMayChangeItsKind)
{
    // Turns <br> into an empty element, as an HTML reader would.
    class Hook : public TSDomParser {
    public:
        using TSDomParser::TSDomParser;
        std::string m_seen;

    protected:
        void ElementHook(TSDomElement& element, int& tagKind) override
        {
            m_seen += U8(element.GetTagName()) + ":" + std::to_string(tagKind) + " ";
            if (element.GetTagName() == u"br")
                tagKind = kEmptyTag;
        }
    };
    TSXmlUtf8DataSource source(std::string_view("<p k='v'>a<br>b<i/></p>"));
    Hook parser(&source);
    const TSDomDocument document = parser.Parse();
    EXPECT_EQ(parser.m_seen, "p:0 br:0 i:2 p:1 ");
    EXPECT_EQ(DumpTree(document.GetDocumentElement()), "E p k=[v]\n  T [a]\n  E br\n  T [b]\n  E i\n");
}

// Parses child by child and puts the children handed over back under a
// copy of the root, so the result compares with the whole tree; the
// message of the exception instead when the text does not parse.
std::string ChildByChild(std::string_view text, bool& heldOneAtATime)
{
    TSXmlUtf8DataSource source(text);
    TSDomParser parser(&source);
    TSDomDocument document;
    std::vector<TSDomNode> children;
    heldOneAtATime = true;
    try {
        parser.Parse(document, [&](const TSDomNode& child) {
            const TSDomNode parent = child.GetParentNode();
            heldOneAtATime = heldOneAtATime && parent.GetFirstChild().IsSameNode(child) &&
                             parent.GetLastChild().IsSameNode(child);
            children.push_back(child.CloneNode(true));
        });
    } catch (const TSXmlException& error) {
        return error.GetMessage();
    }
    TSDomElement root = document.GetDocumentElement();
    if (root.HasChildNodes())
        return "the root kept children";
    TSDomElement rebuilt = root.CloneNode(true); // no children: its attributes alone
    for (const TSDomNode& child : children)
        rebuilt.AppendChild(child);
    return DumpTree(rebuilt);
}

TEST(TSDomParser, ChildByChildHandsOverWhatTheWholeTreeHolds)
{
    std::vector<std::string> texts = {"<a/>", "<a k='v'>only text</a>",
                                      "<a>\n  <b/>\n  x<!-- c --><![CDATA[d]]>\n</a>",
                                      "<?pi x?><a><b><c/></b></a><!-- after -->"};
    for (std::uint64_t seed = 1; seed <= 300; ++seed)
        texts.push_back(GenerateDocument(seed));
    // Broken ones fail the same way, also after children were handed over.
    texts.push_back("<a><b/><c></a>");
    texts.push_back("<a><b/>\n<c/>");
    texts.push_back("<a><b/></a><d/>");
    for (const std::string& text : texts) {
        bool heldOneAtATime = false;
        const std::string streamed = ChildByChild(text, heldOneAtATime);
        const std::string whole =
            ParseError(text).empty() ? DumpTree(ParseUtf8(text).GetDocumentElement()) : ParseError(text);
        EXPECT_EQ(streamed, whole) << text;
        EXPECT_TRUE(heldOneAtATime) << text;
    }
}

TEST(TSDomParser, ReadsFromEverySource)
{
    const std::u16string text = u"<a>\u00e9\u4e2d</a>";
    TSXmlMemoryDataSource memory(text);
    EXPECT_EQ(U8(TSDomParser(&memory).Parse().GetDocumentElement().GetFirstChild().GetNodeValue()),
              "\xC3\xA9\xE4\xB8\xAD");

    // A long text crosses many refills of the line buffer.
    std::string big = "<list>";
    for (int i = 0; i < 5000; ++i)
        big += "<item n='" + std::to_string(i) + "'>\xC3\xA9</item>";
    big += "</list>";
    TSXmlUtf8DataSource utf8{std::string(big)};
    const TSDomDocument document = TSDomParser(&utf8).Parse();
    EXPECT_EQ(document.GetDocumentElement().GetChildNodes().GetLength(), 5000u);

    TSDomParser noSource(nullptr);
    EXPECT_THROW(noSource.Parse(), TSInternalError);
}

TEST(Transcode, Utf8DecodingFollowsTheServersRules)
{
    EXPECT_EQ(Utf8ToWide(std::string_view("\xC3\xA9")), u"\u00e9");
    EXPECT_EQ(Utf8ToWide(std::string_view("a\xE4\xB8\xAD"
                                          "b")),
              u"a\u4e2db");
    // Continuation bytes are not checked; 0xF0 and up lead three bytes.
    EXPECT_EQ(Utf8ToWide(std::string_view("\xE0\x41\x42")),
              std::u16string(1, char16_t(0x0042 | (0x01 << 6))));
    EXPECT_EQ(Utf8ToWide(std::string_view("\xF1\x80\x80")).size(), 1u);

    for (std::string_view bad : {"\x80", "a\xBF", "\xC3", "\xE4\xB8", "\xF0\x9F\x98\x80"})
        EXPECT_THROW(Utf8ToWide(bad), TSXmlException) << "bytes of length " << bad.size();
    try {
        ParseUtf8("<a>\x80</a>");
        FAIL();
    } catch (const TSXmlException& error) {
        EXPECT_EQ(error.GetCode(), TSXmlException::kConversionError);
    }
}

TEST(Transcode, EncodesAndNarrows)
{
    EXPECT_EQ(WideToUtf8(u"a\u00e9\u4e2d"), "a\xC3\xA9\xE4\xB8\xAD");
    EXPECT_EQ(Utf8ToWide(WideToUtf8(u"\xd800\xffff")), u"\xd800\xffff");
    EXPECT_EQ(NarrowForMessage(u"a\u00e9\u0100"), "a\xE9&#256;");
    std::string narrow;
    std::u16string wide;
    CharacterReference(u'\u00e9', narrow);
    CharacterReference(0, wide);
    EXPECT_EQ(narrow, "&#233;");
    EXPECT_EQ(wide, u"&#0;");
    EXPECT_EQ(WideToMultibyte(u"plain"), "plain");
    EXPECT_THROW(WideToMultibyte(u"\u4e2d"), TSXmlException) << "the C locale has no such character";

    std::size_t position = 0;
    char16_t c = 0;
    EXPECT_TRUE(DecodeEntity(u"&gt;rest", position, c));
    EXPECT_EQ(position, 4u);
    EXPECT_EQ(c, u'>');
    position = 0;
    EXPECT_FALSE(DecodeEntity(u"&gt", position, c));
    EXPECT_EQ(position, 0u);
}

} // namespace

namespace {

// A response body is read as UTF-8 whatever the headers say.
TEST(TSXmlHttpDataSource, ParsesTheResponseBodyAsUtf8)
{
    TSHttpResponse response;
    response.AddHeader("Content-Type", "text/xml; charset=ISO-8859-1");
    response.SetBody("<?xml version=\"1.0\"?>\n<XDESC><TEXT>Caf\xC3\xA9</TEXT></XDESC>");
    TSXmlHttpDataSource source(response);
    TSDomParser parser(&source);
    const TSDomDocument document = parser.Parse();
    const TSDomElement root = document.GetDocumentElement();
    EXPECT_EQ(std::u16string_view(root.GetTagName()), u"XDESC");
    EXPECT_EQ(std::u16string_view(root.GetFirstChild().GetFirstChild().GetNodeValue()), u"Caf\u00e9");

    TSHttpResponse broken;
    broken.SetBody("<a>\x80</a>"); // a continuation byte cannot start a character
    try {
        TSXmlHttpDataSource rejected(broken);
        FAIL() << "a malformed body was accepted";
    } catch (const TSXmlException& error) {
        EXPECT_EQ(error.GetCode(), TSXmlException::kConversionError);
    }
}

} // namespace

// Our parser against libxml2 on a generated corpus: both must build the same
// tree, and what our formatter writes must read back to it, in both parsers.
#include "tests/xml/xmlcorpus.h"
#include "tests/xml/xmltestutil.h"
#include "tst/xml/transcode.h"
#include "tst/xml/xmlexcep.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int kDocuments = 10000;

std::string Visible(const xmlChar* text)
{
    std::string out;
    for (const char* p = reinterpret_cast<const char*>(text); p && *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// The same lines as DumpTree, from libxml2's tree.
void DumpLibxml(xmlNodePtr node, int depth, std::string& out)
{
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    switch (node->type) {
    case XML_DOCUMENT_NODE:
        out += "#document";
        break;
    case XML_ELEMENT_NODE:
        out += "E " + Visible(node->name);
        for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
            xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attribute));
            out += " " + Visible(attribute->name) + "=[" + Visible(value) + "]";
            xmlFree(value);
        }
        break;
    case XML_CDATA_SECTION_NODE:
        out += "D [" + Visible(node->content) + "]";
        break;
    case XML_COMMENT_NODE:
        out += "C [" + Visible(node->content) + "]";
        break;
    case XML_PI_NODE:
        out += "P " + Visible(node->name) + " [" + Visible(node->content) + "]";
        break;
    default:
        out += "? " + std::to_string(node->type);
        break;
    }
    out += "\n";
    for (xmlNodePtr child = node->children; child;) {
        if (child->type == XML_DTD_NODE) { // ours checks the DOCTYPE and drops it
            child = child->next;
            continue;
        }
        if (child->type == XML_TEXT_NODE) {
            std::string text;
            for (; child && child->type == XML_TEXT_NODE; child = child->next)
                text += Visible(child->content);
            out.append(static_cast<std::size_t>(depth + 1) * 2, ' ');
            out += "T [" + text + "]\n";
            continue;
        }
        DumpLibxml(child, depth + 1, out);
        child = child->next;
    }
}

// libxml2's tree as text, or "" with its message when it refuses the document.
std::string ParseWithLibxml(const std::string& text, std::string& error)
{
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> document(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), "corpus.xml", "UTF-8",
                      XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
        xmlFreeDoc);
    if (!document) {
        const xmlError* last = xmlGetLastError();
        error = last && last->message ? last->message : "unknown";
        return "";
    }
    std::string out;
    DumpLibxml(reinterpret_cast<xmlNodePtr>(document.get()), 0, out);
    return out;
}

bool IsAscii(std::u16string_view text)
{
    for (char16_t c : text)
        if (c >= 0x80)
            return false;
    return true;
}

bool HasRawLineBreakOrTab(std::u16string_view text)
{
    return text.find_first_of(u"\t\n\r") != std::u16string_view::npos;
}

// The formatter writes names with character references beyond ASCII and
// copies tab, line feed and carriage return into attribute values and
// carriage returns into text; our parser reads that back as it was, other
// readers refuse names with references and fold those characters.
bool StandardReadersKeep(const TSDomNodeImpl* node)
{
    if (node->GetNodeType() == kDomElementNode) {
        if (!IsAscii(node->GetNodeName()))
            return false;
        const TSDomAttrList& attributes = static_cast<const TSDomElementImpl*>(node)->Attributes();
        for (std::size_t i = 0; i < attributes.Size(); ++i)
            if (!IsAscii(attributes.Slot(i).Name()) || HasRawLineBreakOrTab(attributes.Slot(i).Value()))
                return false;
    }
    if (node->GetNodeType() == kDomTextNode &&
        node->GetNodeValue().View().find(u'\r') != std::u16string_view::npos)
        return false;
    for (const TSDomNodeImpl* child = node->GetFirstChild(); child; child = child->GetNextSibling())
        if (!StandardReadersKeep(child))
            return false;
    return true;
}

TEST(Differential, SameTreeAsLibxml2AndFormattedTextReadsBack)
{
    int compared = 0;
    int readByLibxml = 0;
    for (int seed = 1; seed <= kDocuments; ++seed) {
        const std::string text = GenerateDocument(static_cast<std::uint64_t>(seed));
        std::string libxmlError;
        const std::string expected = ParseWithLibxml(text, libxmlError);
        ASSERT_FALSE(expected.empty()) << "libxml2 refused seed " << seed << ": " << libxmlError << "\n"
                                       << text;

        std::string ours;
        TSDomDocument document;
        try {
            document = ParseUtf8(text);
            ours = DumpTree(document);
        } catch (const TSXmlException& error) {
            ours = error.GetMessage();
        }
        ASSERT_EQ(ours, expected) << "seed " << seed << "\n" << text;

        // Round trip through the formatter (without indentation, which
        // would add text), read back by both parsers.
        const std::string flat = FormatUtf8(document, 0);
        ASSERT_EQ(DumpTree(ParseUtf8(flat)), expected) << "seed " << seed << "\n" << flat;
        if (StandardReadersKeep(document.Impl())) {
            ASSERT_EQ(ParseWithLibxml(flat, libxmlError), expected)
                << "seed " << seed << " " << libxmlError << "\n"
                << flat;
            ++readByLibxml;
        }
        // Indented output stays readable.
        ASSERT_NO_THROW(ParseUtf8(FormatUtf8(document, 1))) << "seed " << seed;
        ++compared;
    }
    EXPECT_EQ(compared, kDocuments);
    // Enough of the corpus stays within what other readers take unchanged.
    EXPECT_GT(readByLibxml, kDocuments / 5);
    std::printf("libxml2 read back %d of %d formatted documents\n", readByLibxml, compared);
}

TEST(Differential, CorpusIsDeterministicAndVaried)
{
    EXPECT_EQ(GenerateDocument(42), GenerateDocument(42));
    EXPECT_NE(GenerateDocument(42), GenerateDocument(43));
    bool seen[5] = {};
    for (int seed = 1; seed <= 200; ++seed) {
        const std::string text = GenerateDocument(seed);
        seen[0] |= text.find("<![CDATA[") != std::string::npos;
        seen[1] |= text.find("<!--") != std::string::npos;
        seen[2] |= text.find("&#x") != std::string::npos;
        seen[3] |= text.find("=\"") != std::string::npos && text.find("='") != std::string::npos;
        seen[4] |= text.find("\xE4\xB8\xAD") != std::string::npos;
    }
    for (bool kind : seen)
        EXPECT_TRUE(kind);
}

} // namespace

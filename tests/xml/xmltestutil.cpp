#include "tests/xml/xmltestutil.h"

#include "tst/xml/io/domformat.h"
#include "tst/xml/io/domparse.h"
#include "tst/xml/io/xmlsink.h"
#include "tst/xml/io/xmlsource.h"
#include "tst/xml/transcode.h"
#include "tst/xml/xmlexcep.h"

#include <cstdio>

TSDomDocument ParseUtf8(std::string_view text)
{
    TSXmlUtf8DataSource source(text);
    TSDomParser parser(&source);
    return parser.Parse();
}

std::string U8(std::u16string_view text)
{
    return WideToUtf8(text);
}

std::string FormatUtf8(const TSDomDocument& document, int pretty, int indentWidth)
{
    TSXmlDataBufferSink sink;
    TSDomFormatter formatter(&sink);
    formatter.SetPretty(pretty);
    formatter.SetIndentWidth(indentWidth);
    formatter.Format(document);
    return WideToUtf8(sink.GetText());
}

namespace {

std::string Visible(std::u16string_view text)
{
    std::string out;
    for (char16_t c : text) {
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
            out += hex;
        } else {
            out += WideToUtf8(std::u16string_view(&c, 1));
        }
    }
    return out;
}

void Dump(const TSDomNodeImpl* node, int depth, std::string& out)
{
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
    switch (node->GetNodeType()) {
    case kDomElementNode: {
        out += "E " + Visible(node->GetNodeName());
        const TSDomAttrList& attributes = static_cast<const TSDomElementImpl*>(node)->Attributes();
        for (std::size_t i = 0; i < attributes.Size(); ++i)
            out +=
                " " + Visible(attributes.Slot(i).Name()) + "=[" + Visible(attributes.Slot(i).Value()) + "]";
        break;
    }
    case kDomTextNode:
        out += "T [" + Visible(node->GetNodeValue()) + "]";
        break;
    case kDomCDATASectionNode:
        out += "D [" + Visible(node->GetNodeValue()) + "]";
        break;
    case kDomCommentNode:
        out += "C [" + Visible(node->GetNodeValue()) + "]";
        break;
    case kDomProcessingInstructionNode:
        out += "P " + Visible(node->GetNodeName()) + " [" + Visible(node->GetNodeValue()) + "]";
        break;
    case kDomDocumentNode:
        out += "#document";
        break;
    default:
        out += "? " + std::to_string(node->GetNodeType());
        break;
    }
    out += "\n";
    std::u16string text;
    const TSDomNodeImpl* child = node->GetFirstChild();
    while (child) {
        if (child->GetNodeType() == kDomTextNode) {
            text.clear();
            while (child && child->GetNodeType() == kDomTextNode) {
                text += child->GetNodeValue().View();
                child = child->GetNextSibling();
            }
            out.append(static_cast<std::size_t>(depth + 1) * 2, ' ');
            out += "T [" + Visible(text) + "]\n";
            continue;
        }
        Dump(child, depth + 1, out);
        child = child->GetNextSibling();
    }
}

} // namespace

std::string DumpTree(const TSDomNode& node)
{
    std::string out;
    Dump(node.Impl(), 0, out);
    return out;
}

std::string ParseError(std::string_view text)
{
    try {
        ParseUtf8(text);
    } catch (const TSXmlException& error) {
        return error.GetMessage();
    }
    return "";
}

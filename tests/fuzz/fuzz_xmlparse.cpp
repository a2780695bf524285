// Arbitrary bytes through Utf8ToWide and the parser. A document that parses
// must format, read back to the same tree (without indentation), and read
// the same from the streaming UTF-8 source as from the decoded text.
#include "tst/tsexcep.h"
#include "tst/xml/dom/domnode.h"
#include "tst/xml/io/domformat.h"
#include "tst/xml/io/domparse.h"
#include "tst/xml/io/xmlsink.h"
#include "tst/xml/io/xmlsource.h"
#include "tst/xml/transcode.h"
#include "tst/xml/xmlexcep.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

void Emit(const TSDomNodeImpl* node, std::u16string& out)
{
    const int type = node->GetNodeType();
    out += u"(" + std::u16string(1, char16_t(u'0' + type)) + node->GetNodeName().ToStdString() + u"|";
    if (type == kDomElementNode) {
        const TSDomAttrList& attributes = static_cast<const TSDomElementImpl*>(node)->Attributes();
        for (std::size_t i = 0; i < attributes.Size(); ++i)
            out += attributes.Slot(i).Name().ToStdString() + u"=" + attributes.Slot(i).Value().ToStdString() +
                   u"|";
    } else {
        out += node->GetNodeValue().ToStdString();
    }
}

// The tree as text, each run of text nodes joined (the parser splits text
// at line feeds, which a character reference can bring along).
std::u16string Canonical(const TSDomNodeImpl* root)
{
    std::u16string out;
    Emit(root, out);
    std::vector<const TSDomNodeImpl*> cursors{root->GetFirstChild()};
    while (!cursors.empty()) {
        const TSDomNodeImpl* node = cursors.back();
        if (!node) {
            cursors.pop_back();
            out += u")";
            continue;
        }
        if (node->GetNodeType() == kDomTextNode) {
            out += u"(3|";
            for (; node && node->GetNodeType() == kDomTextNode; node = node->GetNextSibling())
                out += node->GetNodeValue().View();
            out += u")";
            cursors.back() = node;
            continue;
        }
        cursors.back() = node->GetNextSibling();
        Emit(node, out);
        cursors.push_back(node->GetFirstChild());
    }
    return out;
}

TSDomDocument ParseWide(const std::u16string& text)
{
    TSXmlMemoryDataSource source(text);
    return TSDomParser(&source).Parse();
}

std::u16string Format(const TSDomDocument& document, int pretty)
{
    TSXmlDataBufferSink sink;
    TSDomFormatter formatter(&sink);
    formatter.SetPretty(pretty);
    formatter.Format(document);
    return sink.TakeText();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // The streaming source must agree with decoding first.
    std::string streamed;
    try {
        TSXmlUtf8DataSource source(bytes);
        streamed = WideToUtf8(Canonical(TSDomParser(&source).Parse().Impl()));
    } catch (const TSXmlException& error) {
        streamed = "error";
    }

    std::u16string wide;
    try {
        wide = Utf8ToWide(bytes);
    } catch (const TSXmlException& error) {
        if (error.GetCode() != TSXmlException::kConversionError || streamed != "error")
            __builtin_trap();
        return 0;
    }

    TSDomDocument document;
    try {
        document = ParseWide(wide);
    } catch (const TSXmlException&) {
        if (streamed != "error")
            __builtin_trap();
        return 0;
    }
    const std::u16string canonical = Canonical(document.Impl());
    if (streamed != WideToUtf8(canonical))
        __builtin_trap();

    // Without indentation the text reads back to the same tree; with it, it
    // still reads back.
    const std::u16string flat = Format(document, 0);
    if (Canonical(ParseWide(flat).Impl()) != canonical)
        __builtin_trap();
    ParseWide(Format(document, 1));
    // Through UTF-8 and back as a server would receive it.
    if (Utf8ToWide(WideToUtf8(flat)) != flat)
        __builtin_trap();
    return 0;
}

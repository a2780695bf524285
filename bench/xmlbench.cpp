#include "bench/xmlbench.h"

#include "tst/xml/dom/domnode.h"
#include "tst/xml/io/domformat.h"
#include "tst/xml/io/xmlsink.h"
#include "tst/xml/transcode.h"

#include <expat.h>
#include <malloc.h>

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

std::u16string Wide(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

std::string Digits(unsigned long value, int width)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*lu", width, value);
    return text;
}

std::string Write(const TSDomDocument& document)
{
    TSXmlDataBufferSink sink;
    TSDomFormatter formatter(&sink);
    formatter.SetIndentWidth(4);
    formatter.Format(document);
    return WideToUtf8(sink.GetText());
}

void AddCode(TSDomElement& list, unsigned i)
{
    static const char* const kTypes[] = {"UPCA", "UPCE", "EAN13", "EAN8", "ISBN", "VANTREL"};
    TSDomElement code(u"CODE");
    code.SetAttribute(u"TYPE", Wide(kTypes[i % 6]));
    code.SetAttribute(u"LOW", Wide(Digits(i * 1000ul, 12)));
    code.SetAttribute(u"HIGH", Wide(Digits(i * 1000ul + 999, 12)));
    const auto child = [&](const char16_t* name,
                           std::initializer_list<std::pair<const char16_t*, std::string>> attributes) {
        TSDomElement element(name);
        for (const auto& [key, value] : attributes)
            element.SetAttribute(key, Wide(value));
        code.AppendChild(element);
    };
    child(u"RID", {{u"START", "0"}, {u"LENGTH", std::to_string(5 + i % 3)}});
    child(u"IID", {{u"START", std::to_string(5 + i % 3)}, {u"LENGTH", "5"}});
    child(u"CANONICAL", {{u"FORMAT", "^SID^-^IID^"}});
    child(u"EXPIRE", {{u"DATE", "2027" + Digits(101 + i % 1100, 4) + Digits(i % 240000, 6)}});
    list.AppendChild(code);
}

void AddRoutingKey(TSDomElement& list, unsigned i)
{
    TSDomElement key(u"ROUTING_KEY");
    key.SetAttribute(u"TYPE", i % 2 ? u"UPCA" : u"EAN13");
    key.SetAttribute(u"RID", Wide(Digits(i, 6)));
    key.SetAttribute(u"CACHEDATE", Wide("2027" + Digits(101 + i % 1100, 4) + Digits(i % 240000, 6)));
    TSDomElement name(u"SERVERNAME");
    name.AppendChild(TSDomText(Wide("Resolution server " + std::to_string(i % 40))));
    key.AppendChild(name);
    for (const char* command : {"GET", "DESC"}) {
        TSDomElement entry(u"TEMPLATE");
        entry.SetAttribute(u"CMD", Wide(command));
        entry.AppendChild(TSDomText(
            Wide("http://127.0.0.1:8470/" + std::string(command) + "?sid=<^SID^>&iid=<^IID^>&uid=<^UID^>")));
        key.AppendChild(entry);
    }
    list.AppendChild(key);
}

std::string MakeCache(const char16_t* root, std::size_t bytes,
                      const std::function<void(TSDomElement&, unsigned)>& add)
{
    // Measure a sample, then write the count that gives about `bytes`.
    unsigned count = 64;
    for (int round = 0; round < 2; ++round) {
        TSDomDocument document(root);
        TSDomElement list = document.GetDocumentElement();
        for (unsigned i = 0; i < count; ++i)
            add(list, i);
        const std::string text = Write(document);
        if (round == 1)
            return text;
        count = static_cast<unsigned>(count * double(bytes) / text.size()) + 1;
    }
    return {};
}

} // namespace

std::string MakeFormatCache(std::size_t bytes)
{
    return MakeCache(u"CODE_FORMAT_LIST", bytes, AddCode);
}

std::string MakeTemplateCache(std::size_t bytes)
{
    return MakeCache(u"SERVER_DATA_LIST", bytes, AddRoutingKey);
}

std::size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// ---- expat anchors

struct ExpatNode {
    enum Kind { kDocument, kElement, kText, kComment, kInstruction };
    Kind m_kind;
    std::u16string m_name;
    std::u16string m_value;
    std::vector<std::pair<std::u16string, std::u16string>> m_attributes;
    std::vector<std::unique_ptr<ExpatNode>> m_children;
};

ExpatTree::ExpatTree() = default;
ExpatTree::ExpatTree(ExpatTree&&) noexcept = default;
ExpatTree& ExpatTree::operator=(ExpatTree&&) noexcept = default;
ExpatTree::~ExpatTree() = default;

namespace {

// Standard UTF-8 (expat has checked it) to 16-bit characters.
void AppendWide(std::u16string& out, const char* text, std::size_t length)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* end = p + length;
    while (p < end) {
        const unsigned c = *p;
        if (c < 0x80) {
            out.push_back(static_cast<char16_t>(c));
            ++p;
        } else if (c < 0xE0) {
            out.push_back(static_cast<char16_t>(((c & 0x1F) << 6) | (p[1] & 0x3F)));
            p += 2;
        } else if (c < 0xF0) {
            out.push_back(static_cast<char16_t>(((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F)));
            p += 3;
        } else {
            const unsigned value =
                ((c & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
            out.push_back(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
            p += 4;
        }
    }
}

std::u16string Widen(const char* text)
{
    std::u16string out;
    AppendWide(out, text, std::char_traits<char>::length(text));
    return out;
}

struct Builder {
    ExpatTree m_tree;
    std::vector<ExpatNode*> m_open;

    ExpatNode* Add(ExpatNode::Kind kind)
    {
        auto node = std::make_unique<ExpatNode>();
        node->m_kind = kind;
        ExpatNode* raw = node.get();
        m_open.back()->m_children.push_back(std::move(node));
        return raw;
    }
};

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes)
{
    auto* builder = static_cast<Builder*>(data);
    ExpatNode* element = builder->Add(ExpatNode::kElement);
    element->m_name = Widen(name);
    for (; attributes[0]; attributes += 2)
        element->m_attributes.emplace_back(Widen(attributes[0]), Widen(attributes[1]));
    builder->m_open.push_back(element);
}

void XMLCALL OnEnd(void* data, const XML_Char*)
{
    static_cast<Builder*>(data)->m_open.pop_back();
}

void XMLCALL OnText(void* data, const XML_Char* text, int length)
{
    auto* builder = static_cast<Builder*>(data);
    auto& children = builder->m_open.back()->m_children;
    // expat reports text in pieces; a piece after text continues it.
    ExpatNode* node = !children.empty() && children.back()->m_kind == ExpatNode::kText
                          ? children.back().get()
                          : builder->Add(ExpatNode::kText);
    AppendWide(node->m_value, text, static_cast<std::size_t>(length));
}

void XMLCALL OnComment(void* data, const XML_Char* text)
{
    static_cast<Builder*>(data)->Add(ExpatNode::kComment)->m_value = Widen(text);
}

void XMLCALL OnInstruction(void* data, const XML_Char* target, const XML_Char* text)
{
    ExpatNode* node = static_cast<Builder*>(data)->Add(ExpatNode::kInstruction);
    node->m_name = Widen(target);
    node->m_value = Widen(text);
}

void XMLCALL OnCount(void* data, const XML_Char*, const XML_Char**)
{
    ++*static_cast<std::size_t*>(data);
}

void Run(XML_Parser parser, std::string_view bytes)
{
    const bool ok = XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) == XML_STATUS_OK;
    const std::string error = ok ? "" : XML_ErrorString(XML_GetErrorCode(parser));
    XML_ParserFree(parser);
    if (!ok)
        throw std::runtime_error("expat: " + error);
}

} // namespace

ExpatTree ParseExpatTree(std::string_view bytes)
{
    Builder builder;
    builder.m_tree.m_document = std::make_unique<ExpatNode>();
    builder.m_tree.m_document->m_kind = ExpatNode::kDocument;
    builder.m_open.push_back(builder.m_tree.m_document.get());
    XML_Parser parser = XML_ParserCreate("UTF-8");
    XML_SetUserData(parser, &builder);
    XML_SetElementHandler(parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser, OnText);
    XML_SetCommentHandler(parser, OnComment);
    XML_SetProcessingInstructionHandler(parser, OnInstruction);
    Run(parser, bytes);
    return std::move(builder.m_tree);
}

std::size_t CountElements(const ExpatTree& tree)
{
    std::size_t count = 0;
    std::vector<const ExpatNode*> pending{tree.m_document.get()};
    while (!pending.empty()) {
        const ExpatNode* node = pending.back();
        pending.pop_back();
        count += node->m_kind == ExpatNode::kElement;
        for (const auto& child : node->m_children)
            pending.push_back(child.get());
    }
    return count;
}

std::size_t ParseExpatOnly(std::string_view bytes)
{
    std::size_t count = 0;
    XML_Parser parser = XML_ParserCreate("UTF-8");
    XML_SetUserData(parser, &count);
    XML_SetStartElementHandler(parser, OnCount);
    Run(parser, bytes);
    return count;
}

#include "tst/xml/io/domformat.h"

#include "tst/tsexcep.h"
#include "tst/xml/io/xmlsink.h"
#include "tst/xml/transcode.h"

#include <array>

namespace {

constexpr std::size_t kFlushAt = 8192;

enum : unsigned char { kMarkup = 1, kQuote = 2, kNonAscii = 4, kNameBreak = 8 };

// What each ASCII character needs escaping for.
constexpr auto kEscapeClass = [] {
    std::array<unsigned char, 128> table{};
    for (int c = 0; c < 32; ++c)
        table[c] = kNonAscii | kNameBreak;
    table[u'\t'] = table[u'\n'] = table[u'\r'] = kNameBreak;
    table[127] = kNonAscii | kNameBreak;
    table[u'&'] = table[u'<'] = table[u'>'] = kMarkup | kNameBreak;
    table[u'"'] = table[u'\''] = kQuote;
    table[u' '] = table[u'/'] = table[u'='] = kNameBreak;
    return table;
}();

unsigned char EscapeClass(char16_t c)
{
    return c < 128 ? kEscapeClass[c] : kNonAscii | kNameBreak;
}

void AppendEscaped(char16_t c, std::u16string& out)
{
    switch (c) {
    case u'&':
        out.append(u"&amp;");
        break;
    case u'<':
        out.append(u"&lt;");
        break;
    case u'>':
        out.append(u"&gt;");
        break;
    case u'"':
        out.append(u"&quot;");
        break;
    case u'\'':
        out.append(u"&apos;");
        break;
    default:
        CharacterReference(c, out);
        break;
    }
}

// Appends text, escaping every character whose class meets `mask`.
void EscapeWith(std::u16string_view text, unsigned char mask, std::u16string& out)
{
    std::size_t done = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (EscapeClass(text[i]) & mask) {
            out.append(text.substr(done, i - done));
            AppendEscaped(text[i], out);
            done = i + 1;
        }
    }
    out.append(text.substr(done));
}

} // namespace

TSDomFormatter::~TSDomFormatter() = default;

void TSDomFormatter::SetIndentWidth(int width)
{
    TS_ASSERT(width >= 0);
    m_indentWidth = width;
}

void TSDomFormatter::SetQuoteChar(char16_t quote)
{
    TS_ASSERT(quote == u'\'' || quote == u'"');
    m_quote = quote;
}

void TSDomFormatter::Escape(std::u16string_view text, bool markup, bool quotes, bool nonAscii,
                            std::u16string& out)
{
    EscapeWith(text, (markup ? kMarkup : 0) | (quotes ? kQuote : 0) | (nonAscii ? kNonAscii : 0), out);
}

void TSDomFormatter::Format(const TSDomDocument& document)
{
    TS_CHECK_NULL(m_sink);
    m_depth = 0;
    m_out.clear();
    m_textOnly.clear();
    WriteDeclaration();
    for (const TSDomNodeImpl* child = document.Impl()->GetFirstChild(); child;
         child = child->GetNextSibling())
        WriteTree(child);
    Flush();
}

void TSDomFormatter::WriteDeclaration()
{
    if (m_quote == u'\'')
        Write(u"<?xml version='1.0' standalone='yes'?>\n");
    else
        Write(u"<?xml version=\"1.0\" standalone=\"yes\"?>\n");
}

void TSDomFormatter::EscapeAttributeValue(std::u16string_view value, std::u16string& out)
{
    Escape(value, true, m_escape != 0, true, out);
}

bool TSDomFormatter::KeepsOpenTag(std::u16string_view)
{
    return false;
}

void TSDomFormatter::Write(std::u16string_view text)
{
    m_out.append(text);
    FlushIfFull();
}

void TSDomFormatter::Write(char16_t character)
{
    m_out.push_back(character);
    FlushIfFull();
}

// Walks the subtree without recursion: down to the first child, on to the
// next sibling, up to the parent (closing it) when a level is done.
void TSDomFormatter::WriteTree(const TSDomNodeImpl* top)
{
    const TSDomNodeImpl* node = top;
    bool indented = true;
    for (;;) {
        if (node->GetNodeType() == kDomElementNode && WriteOpenElement(node)) {
            indented = !m_textOnly.back();
            node = node->GetFirstChild();
            continue;
        }
        if (node->GetNodeType() != kDomElementNode)
            WriteLeaf(node, indented);
        while (node != top && !node->GetNextSibling()) {
            node = node->GetContainer();
            const bool textOnly = m_textOnly.back();
            m_textOnly.pop_back();
            WriteEndTag(node, textOnly);
        }
        if (node == top)
            return;
        node = node->GetNextSibling();
        indented = !m_textOnly.back();
    }
}

void TSDomFormatter::WriteStartTag(const TSDomNodeImpl* element)
{
    WriteIndentation();
    m_out.push_back(u'<');
    WriteName(element->GetNodeName());
    const TSDomAttrList& attributes = static_cast<const TSDomElementImpl*>(element)->Attributes();
    for (std::size_t i = 0; i < attributes.Size(); ++i) {
        const TSDomAttrSlot& slot = attributes.Slot(i);
        m_out.push_back(u' ');
        WriteName(slot.Name());
        m_out.push_back(u'=');
        m_out.push_back(m_quote);
        EscapeAttributeValue(slot.Value(), m_out);
        m_out.push_back(m_quote);
    }
}

// Writes an element's start tag; true when it has children to write next
// (its text-only state is then on the stack), false when it is complete.
bool TSDomFormatter::WriteOpenElement(const TSDomNodeImpl* element)
{
    WriteStartTag(element);
    if (element->HasChildNodes()) {
        bool textOnly = true;
        for (const TSDomNodeImpl* child = element->GetFirstChild(); child && textOnly;
             child = child->GetNextSibling())
            textOnly = child->GetNodeType() == kDomTextNode;
        m_out.push_back(u'>');
        if (!textOnly) {
            WriteLineFeed();
            ++m_depth;
        }
        m_textOnly.push_back(textOnly);
        FlushIfFull();
        return true;
    }
    if (m_collapseEmpty) {
        m_out.push_back(u'/');
    } else if (!KeepsOpenTag(element->GetNodeName())) {
        m_out.append(u"></");
        WriteName(element->GetNodeName());
    }
    m_out.push_back(u'>');
    WriteLineFeed();
    FlushIfFull();
    return false;
}

void TSDomFormatter::WriteEndTag(const TSDomNodeImpl* element, bool textOnly)
{
    if (!textOnly) {
        --m_depth;
        WriteIndentation();
    }
    m_out.append(u"</");
    WriteName(element->GetNodeName());
    m_out.push_back(u'>');
    WriteLineFeed();
    FlushIfFull();
}

void TSDomFormatter::WriteLeaf(const TSDomNodeImpl* node, bool indented)
{
    const TSDomString& value = node->GetNodeValue();
    switch (node->GetNodeType()) {
    case kDomTextNode:
        if (indented)
            WriteIndentation();
        EscapeWith(value, (m_escape ? kMarkup : 0) | kNonAscii, m_out);
        if (indented)
            WriteLineFeed();
        break;
    case kDomCDATASectionNode:
        WriteIndentation();
        m_out.append(u"<![CDATA[").append(value.View()).append(u"]]>");
        WriteLineFeed();
        break;
    case kDomProcessingInstructionNode:
        WriteIndentation();
        m_out.append(u"<?").append(node->GetNodeName().View());
        if (!value.IsEmpty())
            m_out.append(u" ").append(value.View());
        m_out.append(u"?>");
        WriteLineFeed();
        break;
    case kDomCommentNode:
        WriteIndentation();
        m_out.append(u"<!--").append(value.View()).append(u"-->");
        WriteLineFeed();
        break;
    default:
        TS_INTERNAL_ERROR("Node type cannot be written");
    }
    FlushIfFull();
}

void TSDomFormatter::WriteIndentation()
{
    if (!m_pretty)
        return;
    if (m_indentWidth == 0)
        m_out.append(static_cast<std::size_t>(m_depth), u'\t');
    else
        m_out.append(static_cast<std::size_t>(m_depth) * m_indentWidth, u' ');
}

void TSDomFormatter::WriteLineFeed()
{
    if (m_pretty)
        m_out.push_back(u'\n');
}

// Names are written so that they read back the same: besides characters
// outside printable ASCII, markup characters and those that would end the
// name become references (ordinary names are written as they are).
void TSDomFormatter::WriteName(std::u16string_view name)
{
    EscapeWith(name, kNameBreak, m_out);
}

void TSDomFormatter::FlushIfFull()
{
    if (m_out.size() >= kFlushAt)
        Flush();
}

void TSDomFormatter::Flush()
{
    if (m_out.empty())
        return;
    m_sink->PutChars(m_out.data(), m_out.size());
    m_out.clear();
}

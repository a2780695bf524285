#include "tst/xml/io/xmlwriter.h"

#include "tst/tsexcep.h"
#include "tst/xml/io/domformat.h"
#include "tst/xml/transcode.h"

#include <algorithm>
#include <array>

TSXmlWriter::~TSXmlWriter() = default;

void TSDomTreeWriter::StartElement(std::u16string_view name)
{
    if (m_open.empty()) {
        TS_ASSERT_MSG(m_document.GetDocumentElement().IsNull(), "Second root element");
        m_document = TSDomDocument(name);
        m_open.push_back(m_document.GetDocumentElement());
        return;
    }
    TSDomElement element{TSDomString(name)};
    m_open.back().AppendChild(element);
    m_open.push_back(element);
}

void TSDomTreeWriter::Attribute(std::u16string_view name, std::string_view value)
{
    TS_ASSERT(!m_open.empty());
    m_open.back().SetAttribute(TSDomString(name), TSDomString(Utf8OrLatin1ToWide(value)));
}

void TSDomTreeWriter::Text(std::string_view text)
{
    TS_ASSERT(!m_open.empty());
    if (!text.empty())
        m_open.back().AppendChild(TSDomText(TSDomString(Utf8OrLatin1ToWide(text))));
}

void TSDomTreeWriter::EndElement()
{
    TS_ASSERT(!m_open.empty());
    m_open.pop_back();
}

TSDomDocument TSDomTreeWriter::Take()
{
    TS_ASSERT_MSG(m_open.empty(), "Element not ended");
    TSDomDocument document = m_document;
    m_document = TSDomDocument();
    return document;
}

namespace {

constexpr std::string_view kDeclaration = "<?xml version='1.0' standalone='yes'?>\n";

// How the formatter writes an ASCII character: as it is (null), or the reference.
const char* AsciiEscape(unsigned char c, bool attribute)
{
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '\'':
        return attribute ? "&apos;" : nullptr;
    case '"':
        return attribute ? "&quot;" : nullptr;
    default:
        return nullptr;
    }
}

// The bytes that go out as they are: printable ASCII, tab, line feed and
// carriage return, but for the markup characters and, in attributes, the
// quotes. The other control characters and DEL become references.
enum : unsigned char { kPlainInText = 1, kPlainInAttribute = 2 };
constexpr auto kPlain = [] {
    std::array<unsigned char, 256> table{};
    for (std::size_t c = 32; c < 127; ++c)
        table[c] = kPlainInText | kPlainInAttribute;
    table['\t'] = table['\n'] = table['\r'] = kPlainInText | kPlainInAttribute;
    table['&'] = table['<'] = table['>'] = 0;
    table['\''] = table['"'] = kPlainInText;
    return table;
}();

} // namespace

TSXmlTextWriter::TSXmlTextWriter(int indentWidth) : m_indentWidth(indentWidth), m_text(kDeclaration)
{
    TS_ASSERT(indentWidth >= 0);
}

void TSXmlTextWriter::StartElement(std::u16string_view name)
{
    CheckName(name);
    if (!m_open.empty()) {
        Open& parent = m_open.back();
        TS_ASSERT_MSG(parent.content != kText, "Element after text");
        if (parent.content == kNothing)
            m_text += ">\n";
        parent.content = kElements;
    }
    WriteIndentation(m_open.size());
    m_text += '<';
    WriteName(name);
    m_open.push_back({name, kNothing});
}

void TSXmlTextWriter::Attribute(std::u16string_view name, std::string_view value)
{
    TS_ASSERT(!m_open.empty() && m_open.back().content == kNothing);
    CheckName(name);
    m_text += ' ';
    WriteName(name);
    m_text += "='";
    WriteEscaped(value, true);
    m_text += '\'';
}

void TSXmlTextWriter::Text(std::string_view text)
{
    TS_ASSERT(!m_open.empty() && m_open.back().content != kElements);
    if (text.empty())
        return;
    if (m_open.back().content == kNothing)
        m_text += '>';
    m_open.back().content = kText;
    WriteEscaped(text, false);
}

void TSXmlTextWriter::EndElement()
{
    TS_ASSERT(!m_open.empty());
    const Open open = m_open.back();
    m_open.pop_back();
    if (open.content == kNothing) {
        m_text += "/>\n";
        return;
    }
    if (open.content == kElements)
        WriteIndentation(m_open.size());
    m_text += "</";
    WriteName(open.name);
    m_text += ">\n";
}

std::string TSXmlTextWriter::Take()
{
    TS_ASSERT_MSG(m_open.empty(), "Element not ended");
    std::string text = std::move(m_text);
    m_text = kDeclaration;
    return text;
}

void TSXmlTextWriter::WriteIndentation(std::size_t depth)
{
    if (m_indentWidth == 0)
        m_text.append(depth, '\t');
    else
        m_text.append(depth * static_cast<std::size_t>(m_indentWidth), ' ');
}

void TSXmlTextWriter::CheckName(std::u16string_view name)
{
    for (const char16_t c : name)
        TS_ASSERT_MSG(c > 32 && c < 127 && c != '/' && c != '=' && c != '&' && c != '<' && c != '>',
                      "Not a plain name");
}

void TSXmlTextWriter::WriteName(std::u16string_view name)
{
    const std::size_t at = m_text.size();
    m_text.resize(at + name.size());
    std::copy(name.begin(), name.end(), m_text.begin() + static_cast<std::ptrdiff_t>(at));
}

void TSXmlTextWriter::WriteEscaped(std::string_view value, bool attribute)
{
    const unsigned char plain = attribute ? kPlainInAttribute : kPlainInText;
    std::size_t i = 0;
    for (;;) {
        const std::size_t run = i;
        while (i < value.size() && (kPlain[static_cast<unsigned char>(value[i])] & plain))
            ++i;
        m_text.append(value.substr(run, i - run));
        if (i == value.size())
            return;
        const auto c = static_cast<unsigned char>(value[i]);
        if (c >= 128)
            break;
        if (const char* escape = AsciiEscape(c, attribute))
            m_text += escape;
        else
            CharacterReference(c, m_text);
        ++i;
    }
    // From the first byte beyond ASCII on, as the formatter escapes the
    // tree's characters (whether the text is UTF-8 does not depend on the
    // ASCII before it). Every character it writes is printable ASCII, so
    // its UTF-8 is the same bytes.
    std::u16string escaped;
    TSDomFormatter::Escape(Utf8OrLatin1ToWide(value.substr(i)), true, attribute, true, escaped);
    m_text += WideToUtf8(escaped);
}

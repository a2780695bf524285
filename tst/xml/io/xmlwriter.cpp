#include "tst/xml/io/xmlwriter.h"

#include "tst/tsexcep.h"
#include "tst/xml/io/domformat.h"
#include "tst/xml/transcode.h"

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

// A byte that goes out as it is: printable ASCII, tab, line feed and
// carriage return, but for the markup characters and, in attributes, the quotes.
bool IsPlain(unsigned char c, bool attribute)
{
    if (c >= 127 || (c < 32 && c != '\t' && c != '\n' && c != '\r'))
        return false;
    if (c == '&' || c == '<' || c == '>')
        return false;
    return !attribute || (c != '\'' && c != '"');
}

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
    for (const char16_t c : name)
        m_text += static_cast<char>(c);
}

void TSXmlTextWriter::WriteEscaped(std::string_view value, bool attribute)
{
    std::size_t plain = 0;
    while (plain < value.size() && IsPlain(static_cast<unsigned char>(value[plain]), attribute))
        ++plain;
    m_text.append(value.substr(0, plain));
    if (plain == value.size())
        return;
    // The rest as the formatter escapes it: every character it writes is
    // then printable ASCII, so its UTF-8 is the same bytes.
    std::u16string escaped;
    TSDomFormatter::Escape(Utf8OrLatin1ToWide(value.substr(plain)), true, attribute, true, escaped);
    m_text += WideToUtf8(escaped);
}

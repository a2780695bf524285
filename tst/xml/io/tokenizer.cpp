#include "tst/xml/io/tokenizer.h"

#include "tst/xml/io/linebuf.h"
#include "tst/xml/xmlexcep.h"

const TSXmlToken& TSXmlTokenizer::Next()
{
    if (m_pushedBack) {
        m_pushedBack = false;
        return m_token;
    }
    m_buffer.SetMark();
    m_token.m_line = m_buffer.GetNextLine();
    m_token.m_column = m_buffer.GetNextColumn();
    const std::u16string_view head = m_buffer.Peek(9);
    if (head.empty()) {
        m_token.m_kind = kXmlTokenEndOfData;
        m_token.m_text = {};
    } else if (head[0] != u'<') {
        ScanCharacterData();
    } else if (head.starts_with(u"<?")) {
        ScanMarkup(kXmlTokenProcessingInstruction, 2, u"?>");
    } else if (head.starts_with(u"<!--")) {
        ScanMarkup(kXmlTokenComment, 4, u"-->");
    } else if (head.starts_with(u"<![CDATA[")) {
        ScanMarkup(kXmlTokenCDATASection, 9, u"]]>");
    } else if (head.starts_with(u"<!")) {
        ScanMarkup(kXmlTokenDeclaration, 2, u">");
    } else {
        ScanMarkup(kXmlTokenTag, 1, u">");
    }
    RefuseNul();
    return m_token;
}

void TSXmlTokenizer::RefuseNul() const
{
    const std::u16string_view text = m_buffer.SinceMark();
    const std::size_t at = text.find(u'\0');
    if (at == std::u16string_view::npos)
        return;
    unsigned line = m_token.m_line;
    unsigned column = m_token.m_column;
    for (const char16_t c : text.substr(0, at)) {
        if (c == u'\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    Fail(TSXmlException::kConversionError, line, column);
}

void TSXmlTokenizer::ScanCharacterData()
{
    m_token.m_kind = kXmlTokenCharacterData;
    for (;;) {
        const std::u16string_view window = m_buffer.Window();
        std::size_t i = 0;
        while (i < window.size() && window[i] != u'<' && window[i] != u'>' && window[i] != u'\n')
            ++i;
        if (i < window.size()) {
            const char16_t stop = window[i];
            m_buffer.Consume(stop == u'<' ? i : i + 1);
            if (stop == u'>')
                Fail(TSXmlException::kUnmatchedTagClose, m_buffer.GetLine(), m_buffer.GetColumn());
            break;
        }
        m_buffer.Consume(i);
        if (!m_buffer.Fill())
            break;
    }
    m_token.m_text = m_buffer.SinceMark();
}

void TSXmlTokenizer::ScanMarkup(int kind, std::size_t openingLength, std::u16string_view closing)
{
    m_token.m_kind = kind;
    m_buffer.Consume(openingLength);
    const bool plain = kind == kXmlTokenProcessingInstruction || kind == kXmlTokenTag;
    const bool nests = kind == kXmlTokenDeclaration;
    int nesting = 0;
    for (;;) {
        const std::u16string_view window = m_buffer.Window();
        std::size_t i = 0;
        if (plain || nests) {
            while (i < window.size() && window[i] != u'>' && window[i] != u'<')
                ++i;
        } else {
            i = window.find(u'>');
            if (i == std::u16string_view::npos)
                i = window.size();
        }
        if (i == window.size()) {
            m_buffer.Consume(i);
            if (!m_buffer.Fill())
                Fail(TSXmlException::kMissingTagClose, m_token.m_line, m_token.m_column);
            continue;
        }
        m_buffer.Consume(i + 1);
        if (window[i] == u'<') {
            if (plain)
                Fail(TSXmlException::kMissingTagClose, m_token.m_line, m_token.m_column);
            ++nesting;
            continue;
        }
        if (nests && nesting > 0) {
            --nesting;
            continue;
        }
        const std::u16string_view text = m_buffer.SinceMark().substr(openingLength);
        if (text.ends_with(closing)) {
            m_token.m_text = text.substr(0, text.size() - closing.size());
            return;
        }
        if (plain)
            Fail(TSXmlException::kTagFormatError, m_buffer.GetLine(), m_buffer.GetColumn());
    }
}

void TSXmlTokenizer::Fail(int code, unsigned line, unsigned column) const
{
    throw TSXmlException(code, TSXmlException::Position(line, column));
}

#include "tst/xml/io/linebuf.h"

#include "tst/tsexcep.h"
#include "tst/xml/io/xmlsource.h"

#include <algorithm>

std::u16string_view TSXmlLineBuffer::Peek(std::size_t count)
{
    while (m_chars.size() - m_position < count && Fill()) {
    }
    return Window().substr(0, count);
}

bool TSXmlLineBuffer::Read(char16_t& character)
{
    if (m_position == m_chars.size() && !Fill())
        return false;
    character = m_chars[m_position];
    Consume(1);
    return true;
}

bool TSXmlLineBuffer::Fill()
{
    if (m_atEnd)
        return false;
    TS_CHECK_NULL(m_source);
    if (m_mark > 0) {
        m_chars.erase(0, m_mark);
        m_position -= m_mark;
        m_mark = 0;
    }
    if (!m_source->GetChars(m_chars, kRefill)) {
        m_atEnd = true;
        return false;
    }
    return true;
}

void TSXmlLineBuffer::Consume(std::size_t count) noexcept
{
    if (!count)
        return;
    const char16_t* chars = m_chars.data() + m_position;
    m_position += count;
    const char16_t* last = chars + count - 1;
    if (!m_afterLineFeed && std::find(chars, last, u'\n') == last) {
        m_column += static_cast<unsigned>(count);
        m_afterLineFeed = *last == u'\n';
        return;
    }
    // A line feed moves only the characters after it to the next line.
    unsigned newLines = m_afterLineFeed ? 1 : 0;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        if (chars[i] == u'\n') {
            ++newLines;
            lineStart = i + 1;
        }
    }
    if (newLines == 0) {
        m_column += static_cast<unsigned>(count);
    } else {
        m_line += newLines;
        m_column = static_cast<unsigned>(count - lineStart);
    }
    m_afterLineFeed = chars[count - 1] == u'\n';
}

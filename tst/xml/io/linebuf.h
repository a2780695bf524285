#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class TSXmlDataSource;

// Characters read ahead from a data source, with the line and column of
// the last character read (both from 1; a character after a line feed
// starts a new line at column 1). The tokenizer works on the buffered
// window directly: everything from the mark on stays buffered, so a token's
// text is one contiguous view.
class TSXmlLineBuffer {
public:
    static constexpr std::size_t kRefill = 16384;

    // A null source raises the null-pointer internal error on the first read.
    explicit TSXmlLineBuffer(TSXmlDataSource* source) : m_source(source) {}

    // The next `count` characters (fewer at the end of data), not consumed.
    std::u16string_view Peek(std::size_t count);
    // Consumes one character; false at the end of data.
    bool Read(char16_t& character);

    unsigned GetLine() const noexcept { return m_line; }
    unsigned GetColumn() const noexcept { return m_column; }
    // Where the next character will be.
    unsigned GetNextLine() const noexcept { return m_afterLineFeed ? m_line + 1 : m_line; }
    unsigned GetNextColumn() const noexcept { return m_afterLineFeed ? 1 : m_column + 1; }

    // The unread buffered characters (empty does not mean the end: Fill).
    std::u16string_view Window() const noexcept { return std::u16string_view(m_chars).substr(m_position); }
    // Reads more from the source; false at the end of data.
    bool Fill();
    // Consumes `count` buffered characters.
    void Consume(std::size_t count) noexcept;
    void SetMark() noexcept { m_mark = m_position; }
    // Everything consumed since the mark.
    std::u16string_view SinceMark() const noexcept
    {
        return std::u16string_view(m_chars).substr(m_mark, m_position - m_mark);
    }

private:
    TSXmlDataSource* m_source;
    std::u16string m_chars;
    std::size_t m_position = 0;
    std::size_t m_mark = 0;
    bool m_atEnd = false;
    bool m_afterLineFeed = false;
    unsigned m_line = 1;
    unsigned m_column = 0;
};

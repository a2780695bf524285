#pragma once

#include "tst/xml/dom/domnode.h"

#include <string>
#include <string_view>
#include <vector>

class TSXmlDataSink;

// Writes a document as XML text into a sink. With the defaults, nodes are
// indented by one tab per level and end with a line feed, an element that
// holds only text stays on one line, an element without children is an
// empty-element tag, markup characters are escaped and attributes are
// quoted with the apostrophe. Characters below 32 (but tab, line feed and
// carriage return) and from 127 on are written as character references,
// except inside comments, CDATA sections and processing instructions,
// which cannot carry references and get them as they are.
class TSDomFormatter {
public:
    explicit TSDomFormatter(TSXmlDataSink* sink = nullptr) : m_sink(sink) {}
    TSDomFormatter(const TSDomFormatter&) = delete;
    TSDomFormatter& operator=(const TSDomFormatter&) = delete;
    virtual ~TSDomFormatter();

    void SetSink(TSXmlDataSink* sink) noexcept { m_sink = sink; }
    // 0: one tab per level; n > 0: n blanks per level.
    void SetIndentWidth(int width);
    void SetPretty(int pretty) noexcept { m_pretty = pretty; }
    void SetCollapseEmpty(int collapse) noexcept { m_collapseEmpty = collapse; }
    void SetEscape(int escape) noexcept { m_escape = escape; }
    // The apostrophe or the double quote.
    void SetQuoteChar(char16_t quote);
    int GetIndentWidth() const noexcept { return m_indentWidth; }
    int GetPretty() const noexcept { return m_pretty; }
    int GetCollapseEmpty() const noexcept { return m_collapseEmpty; }
    int GetEscape() const noexcept { return m_escape; }
    char16_t GetQuoteChar() const noexcept { return m_quote; }

    // Writes the declaration and every child of the document. Without a
    // sink this raises the null-pointer internal error.
    void Format(const TSDomDocument& document);

    // Appends `text` with the chosen escapes.
    static void Escape(std::u16string_view text, bool markup, bool quotes, bool nonAscii,
                       std::u16string& out);

protected:
    // "<?xml version='1.0' standalone='yes'?>" and a line feed, in the quote
    // character.
    virtual void WriteDeclaration();
    // Appends the value escaped for markup, for quotes (when escaping is
    // on) and for characters outside printable ASCII.
    virtual void EscapeAttributeValue(std::u16string_view value, std::u16string& out);
    // For an element without children while collapsing is off: true writes
    // the start tag alone, false the start tag and the end tag.
    virtual bool KeepsOpenTag(std::u16string_view elementName);

    // Output for the hooks; it reaches the sink in order with the rest.
    void Write(std::u16string_view text);
    void Write(char16_t character);

private:
    void WriteTree(const TSDomNodeImpl* top);
    void WriteStartTag(const TSDomNodeImpl* element);
    bool WriteOpenElement(const TSDomNodeImpl* element);
    void WriteEndTag(const TSDomNodeImpl* element, bool textOnly);
    void WriteLeaf(const TSDomNodeImpl* node, bool indented);
    void WriteIndentation();
    void WriteLineFeed();
    void WriteName(std::u16string_view name);
    void FlushIfFull();
    void Flush();

    TSXmlDataSink* m_sink;
    int m_indentWidth = 0;
    int m_depth = 0;
    int m_pretty = 1;
    int m_collapseEmpty = 1;
    int m_escape = 1;
    char16_t m_quote = u'\'';
    std::u16string m_out;
    std::vector<bool> m_textOnly;
};

#pragma once

#include "tst/xml/dom/domnode.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Takes a document element by element: a start, its attributes, then its
// text or its child elements, then its end; the first element is the
// root. Names are plain ASCII names. Values and texts are 8-bit, read as
// Utf8OrLatin1ToWide reads them, so writing never fails.
class TSXmlWriter {
public:
    TSXmlWriter() = default;
    TSXmlWriter(const TSXmlWriter&) = delete;
    TSXmlWriter& operator=(const TSXmlWriter&) = delete;
    virtual ~TSXmlWriter();

    virtual void StartElement(std::u16string_view name) = 0;
    // Only before the element's text and children.
    virtual void Attribute(std::u16string_view name, std::string_view value) = 0;
    // The text of an element without child elements; an empty text adds nothing.
    virtual void Text(std::string_view text) = 0;
    virtual void EndElement() = 0;
};

// Builds the document as a tree.
class TSDomTreeWriter : public TSXmlWriter {
public:
    void StartElement(std::u16string_view name) override;
    void Attribute(std::u16string_view name, std::string_view value) override;
    void Text(std::string_view text) override;
    void EndElement() override;

    // The document once every element has ended.
    TSDomDocument Take();

private:
    TSDomDocument m_document;
    std::vector<TSDomElement> m_open;
};

// Writes the document straight into UTF-8 text, byte for byte as
// TSDomFormatter writes the tree TSDomTreeWriter builds from the same
// calls (pretty, `indentWidth` blanks per level or a tab for 0, escapes on,
// apostrophes, empty elements collapsed), without building the tree.
class TSXmlTextWriter : public TSXmlWriter {
public:
    explicit TSXmlTextWriter(int indentWidth);

    void StartElement(std::u16string_view name) override;
    void Attribute(std::u16string_view name, std::string_view value) override;
    void Text(std::string_view text) override;
    void EndElement() override;

    // Room for that many bytes of text, for a writer that can tell.
    void Reserve(std::size_t bytes) { m_text.reserve(bytes); }
    // The text once every element has ended.
    std::string Take();

private:
    // What follows an element's start tag so far.
    enum Content : unsigned char { kNothing, kText, kElements };
    struct Open {
        std::u16string_view name;
        Content content;
    };

    // Names go out as they are: they must need no escape (an assertion).
    static void CheckName(std::u16string_view name);
    void WriteIndentation(std::size_t depth);
    void WriteName(std::u16string_view name);
    // The value with the formatter's escapes, for attributes or for text.
    void WriteEscaped(std::string_view value, bool attribute);

    int m_indentWidth;
    std::string m_text;
    std::vector<Open> m_open;
};

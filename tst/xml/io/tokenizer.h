#pragma once

#include <string_view>

class TSXmlLineBuffer;

enum TSXmlTokenKind {
    kXmlTokenProcessingInstruction = 0, // "<?" ... "?>"
    kXmlTokenTag = 1,                   // "<" ... ">": start, end or empty-element tag
    kXmlTokenCharacterData = 2,         // up to "<", the end of data, or a line feed (kept)
    kXmlTokenComment = 3,               // "<!--" ... "-->"
    kXmlTokenCDATASection = 4,          // "<![CDATA[" ... "]]>"
    kXmlTokenDeclaration = 5,           // "<!" ... ">", inner "<" ">" balanced
    kXmlTokenEndOfData = 6,
};

// Text between opening and closing (both excluded), and where the token
// began. The text stays valid until the tokenizer is asked for the next
// token.
struct TSXmlToken {
    int m_kind = kXmlTokenEndOfData;
    std::u16string_view m_text;
    unsigned m_line = 0;
    unsigned m_column = 0;
};

// Splits the characters of a line buffer into tokens; throws
// TSXmlException for a token that does not close properly or holds a NUL
// character, which no XML text may hold.
class TSXmlTokenizer {
public:
    explicit TSXmlTokenizer(TSXmlLineBuffer& buffer) : m_buffer(buffer) {}

    const TSXmlToken& Next();
    // The token last returned comes again from the next call.
    void PushBack() noexcept { m_pushedBack = true; }

private:
    void ScanCharacterData();
    void ScanMarkup(int kind, std::size_t openingLength, std::u16string_view closing);
    // A conversion error at the first NUL of the token, if it has one.
    void RefuseNul() const;
    [[noreturn]] void Fail(int code, unsigned line, unsigned column) const;

    TSXmlLineBuffer& m_buffer;
    TSXmlToken m_token;
    bool m_pushedBack = false;
};

#pragma once

#include <cstddef>
#include <string>

// Where the formatter writes its 16-bit characters.
class TSXmlDataSink {
public:
    TSXmlDataSink() = default;
    TSXmlDataSink(const TSXmlDataSink&) = delete;
    TSXmlDataSink& operator=(const TSXmlDataSink&) = delete;
    virtual ~TSXmlDataSink();

    virtual void PutChar(char16_t character) = 0;
    // A zero-terminated text; the base version calls PutChar.
    virtual void PutString(const char16_t* text);
    // The base version calls PutChar for each character.
    virtual void PutChars(const char16_t* chars, std::size_t count);
};

// Collects the characters in a string it owns; take it when done.
class TSXmlDataBufferSink : public TSXmlDataSink {
public:
    TSXmlDataBufferSink();

    void PutChar(char16_t character) override;
    void PutString(const char16_t* text) override;
    void PutChars(const char16_t* chars, std::size_t count) override;

    const std::u16string& GetText() const noexcept { return m_text; }
    // Hands the text over and starts afresh.
    std::u16string TakeText();
    // Empties the text but keeps its room, for writing many documents.
    void Clear() noexcept { m_text.clear(); }

private:
    void MakeRoom(std::size_t count);

    std::u16string m_text;
};

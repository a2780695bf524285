#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class TSHttpResponse;

// Where the parser pulls its 16-bit characters from.
class TSXmlDataSource {
public:
    TSXmlDataSource() = default;
    TSXmlDataSource(const TSXmlDataSource&) = delete;
    TSXmlDataSource& operator=(const TSXmlDataSource&) = delete;
    virtual ~TSXmlDataSource();

    // The next character; false at the end of data.
    virtual bool GetChar(char16_t& character) = 0;
    // Appends up to `count` characters to `out`; false only when not even
    // one was available. The base version calls GetChar.
    virtual bool GetChars(std::u16string& out, std::size_t count);
};

// Serves characters from memory: a caller-owned buffer that must outlive
// the source, or a string the source owns.
class TSXmlMemoryDataSource : public TSXmlDataSource {
public:
    TSXmlMemoryDataSource(const char16_t* chars, std::size_t count);
    explicit TSXmlMemoryDataSource(std::u16string_view chars)
        : TSXmlMemoryDataSource(chars.data(), chars.size())
    {
    }
    explicit TSXmlMemoryDataSource(std::u16string&& chars);

    bool GetChar(char16_t& character) override;
    bool GetChars(std::u16string& out, std::size_t count) override;
    std::size_t GetRemaining() const noexcept { return m_remaining; }

private:
    std::u16string m_owned;
    const char16_t* m_next;
    std::size_t m_remaining;
};

// Decodes UTF-8 bytes (see Utf8ToWide) as the parser asks for characters,
// so no decoded copy of the whole text is made. A malformed sequence
// throws TSXmlException code 0 when it is reached. The bytes are
// caller-owned, or owned by the source when moved in.
class TSXmlUtf8DataSource : public TSXmlDataSource {
public:
    explicit TSXmlUtf8DataSource(std::string_view bytes);
    explicit TSXmlUtf8DataSource(std::string&& bytes);

    bool GetChar(char16_t& character) override;
    bool GetChars(std::u16string& out, std::size_t count) override;

private:
    std::string m_owned;
    const char* m_next;
    const char* m_end;
};

// The body of an HTTP response, decoded from UTF-8 up front. Response
// bodies are always UTF-8: no header or declaration is consulted.
class TSXmlHttpDataSource : public TSXmlMemoryDataSource {
public:
    explicit TSXmlHttpDataSource(const TSHttpResponse& response);
};

#include "tst/xml/io/xmlsink.h"

#include "tst/tsexcep.h"

TSXmlDataSink::~TSXmlDataSink() = default;

void TSXmlDataSink::PutString(const char16_t* text)
{
    TS_CHECK_NULL(text);
    while (*text)
        PutChar(*text++);
}

void TSXmlDataSink::PutChars(const char16_t* chars, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        PutChar(chars[i]);
}

TSXmlDataBufferSink::TSXmlDataBufferSink()
{
    m_text.reserve(64);
}

void TSXmlDataBufferSink::MakeRoom(std::size_t count)
{
    std::size_t capacity = m_text.capacity();
    while (capacity - m_text.size() < count)
        capacity *= 2;
    m_text.reserve(capacity);
}

void TSXmlDataBufferSink::PutChar(char16_t character)
{
    MakeRoom(1);
    m_text.push_back(character);
}

void TSXmlDataBufferSink::PutString(const char16_t* text)
{
    TS_CHECK_NULL(text);
    PutChars(text, std::char_traits<char16_t>::length(text));
}

void TSXmlDataBufferSink::PutChars(const char16_t* chars, std::size_t count)
{
    MakeRoom(count);
    m_text.append(chars, count);
}

std::u16string TSXmlDataBufferSink::TakeText()
{
    std::u16string text = std::move(m_text);
    m_text.clear();
    m_text.reserve(64);
    return text;
}

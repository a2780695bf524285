#include "tst/xml/io/xmlsource.h"

#include "tst/http/htrsp.h"
#include "tst/tsexcep.h"
#include "tst/xml/transcode.h"

#include <algorithm>

TSXmlDataSource::~TSXmlDataSource() = default;

bool TSXmlDataSource::GetChars(std::u16string& out, std::size_t count)
{
    std::size_t got = 0;
    char16_t character;
    while (got < count && GetChar(character)) {
        out.push_back(character);
        ++got;
    }
    return got > 0;
}

TSXmlMemoryDataSource::TSXmlMemoryDataSource(const char16_t* chars, std::size_t count)
    : m_next(chars), m_remaining(count)
{
    if (count)
        TS_CHECK_NULL(chars);
}

TSXmlMemoryDataSource::TSXmlMemoryDataSource(std::u16string&& chars)
    : m_owned(std::move(chars)), m_next(m_owned.data()), m_remaining(m_owned.size())
{
}

bool TSXmlMemoryDataSource::GetChar(char16_t& character)
{
    if (!m_remaining)
        return false;
    character = *m_next++;
    --m_remaining;
    return true;
}

bool TSXmlMemoryDataSource::GetChars(std::u16string& out, std::size_t count)
{
    const std::size_t n = std::min(count, m_remaining);
    if (!n)
        return false;
    out.append(m_next, n);
    m_next += n;
    m_remaining -= n;
    return true;
}

TSXmlUtf8DataSource::TSXmlUtf8DataSource(std::string_view bytes)
    : m_next(bytes.data()), m_end(bytes.data() + bytes.size())
{
}

TSXmlUtf8DataSource::TSXmlUtf8DataSource(std::string&& bytes)
    : m_owned(std::move(bytes)), m_next(m_owned.data()), m_end(m_owned.data() + m_owned.size())
{
}

bool TSXmlUtf8DataSource::GetChar(char16_t& character)
{
    return DecodeUtf8(m_next, m_end, &character, 1, true) == 1;
}

bool TSXmlUtf8DataSource::GetChars(std::u16string& out, std::size_t count)
{
    // Never more characters than bytes.
    count = std::min<std::size_t>(count, m_end - m_next);
    if (!count)
        return false;
    const std::size_t old = out.size();
    out.resize(old + count);
    const std::size_t got = DecodeUtf8(m_next, m_end, out.data() + old, count, true);
    out.resize(old + got);
    return got > 0;
}

TSXmlHttpDataSource::TSXmlHttpDataSource(const TSHttpResponse& response)
    : TSXmlMemoryDataSource(Utf8ToWide(response.GetBodyText()))
{
}

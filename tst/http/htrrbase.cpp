#include "tst/http/htrrbase.h"

// A copy is deep: the headers get a body of their own at once, so two
// threads holding copies never touch one header body.
TSHttpReqRspBase::TSHttpReqRspBase(const TSHttpReqRspBase& other)
    : m_headers(other.m_headers.Copy()), m_body(other.m_body), m_version(other.m_version)
{
}

TSHttpReqRspBase& TSHttpReqRspBase::operator=(const TSHttpReqRspBase& other)
{
    if (this != &other) {
        m_headers = other.m_headers.Copy();
        m_body = other.m_body;
        m_version = other.m_version;
    }
    return *this;
}

void TSHttpReqRspBase::SetBody(std::string_view bytes)
{
    m_body.Clear();
    m_body.Append(bytes.data(), bytes.size());
}

#include "tst/tsobject.h"

#include <utility>

TSObjectImpl::~TSObjectImpl() = default;

TSObjectImpl* TSObjectImpl::Clone() const
{
    return const_cast<TSObjectImpl*>(this);
}

TSObjectRef::TSObjectRef(TSObjectImpl* body) noexcept : m_body(body)
{
    if (m_body)
        m_body->AddRef();
}

TSObjectRef::TSObjectRef(const TSObjectRef& other) noexcept : TSObjectRef(other.m_body) {}

TSObjectRef::TSObjectRef(TSObjectRef&& other) noexcept : m_body(std::exchange(other.m_body, nullptr)) {}

TSObjectRef& TSObjectRef::operator=(const TSObjectRef& other)
{
    SetBody(other.m_body);
    return *this;
}

TSObjectRef& TSObjectRef::operator=(TSObjectRef&& other)
{
    if (this != &other) {
        ReleaseBody();
        m_body = std::exchange(other.m_body, nullptr);
    }
    return *this;
}

TSObjectRef::~TSObjectRef()
{
    ReleaseBody();
}

void TSObjectRef::SetBody(TSObjectImpl* body)
{
    if (body == m_body)
        return;
    // Take the new reference first: releasing the old body may destroy an
    // object that owns the new one.
    if (body)
        body->AddRef();
    ReleaseBody();
    m_body = body;
}

void TSObjectRef::Unshare()
{
    if (m_body && m_body->GetRefCount() > 1)
        SetBody(m_body->Clone());
}

void TSObjectRef::DeleteBody(TSObjectImpl* body)
{
    delete body;
}

void TSObjectRef::ReleaseBody()
{
    TSObjectImpl* body = std::exchange(m_body, nullptr);
    if (body && body->Release())
        DeleteBody(body);
}

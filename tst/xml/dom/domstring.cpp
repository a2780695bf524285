#include "tst/xml/dom/domstring.h"

#include "tst/tsexcep.h"
#include "tst/xml/dom/domarena.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

std::size_t RepBytes(std::size_t capacity)
{
    return sizeof(TSDomStringRep) + (capacity + 1) * sizeof(char16_t);
}

void FillRep(TSDomStringRep* rep, std::u16string_view text, std::uint32_t capacity)
{
    rep->m_length = static_cast<std::uint32_t>(text.size());
    rep->m_capacity = capacity;
    if (!text.empty())
        std::memcpy(rep->Chars(), text.data(), text.size() * sizeof(char16_t));
    rep->Chars()[text.size()] = u'\0';
}

TSDomStringRep* NewHeapRep(std::u16string_view text, std::size_t capacity)
{
    TS_ASSERT(capacity < 0xFFFFFFFFu);
    void* memory = std::malloc(RepBytes(capacity));
    if (!memory)
        throw std::bad_alloc();
    auto* rep = new (memory) TSDomStringRep{{1}, 0, 0, 0, TSDomStringRep::kHeap};
    FillRep(rep, text, static_cast<std::uint32_t>(capacity));
    return rep;
}

} // namespace

TSDomString::TSDomString(std::u16string_view text)
{
    if (!text.empty())
        m_rep = NewHeapRep(text, text.size());
}

TSDomString::TSDomString(const TSDomString& other) noexcept : m_rep(other.m_rep)
{
    AddRef(m_rep);
}

TSDomString& TSDomString::operator=(const TSDomString& other) noexcept
{
    AddRef(other.m_rep);
    Release(m_rep);
    m_rep = other.m_rep;
    return *this;
}

TSDomString& TSDomString::operator=(TSDomString&& other) noexcept
{
    if (this != &other) {
        Release(m_rep);
        m_rep = other.m_rep;
        other.m_rep = nullptr;
    }
    return *this;
}

TSDomString TSDomString::InArena(TSDomArena& arena, std::u16string_view text)
{
    TSDomString result;
    if (text.empty())
        return result;
    const std::size_t bytes = RepBytes(text.size());
    if (bytes > TSDomArena::kMaxObject) {
        result.m_rep = NewHeapRep(text, text.size());
        return result;
    }
    std::uint16_t offset = 0;
    void* memory = arena.Allocate(bytes, offset);
    auto* rep = new (memory) TSDomStringRep{{1}, 0, 0, offset, TSDomStringRep::kArena};
    FillRep(rep, text, static_cast<std::uint32_t>(text.size()));
    result.m_rep = rep;
    return result;
}

namespace {

void FreeRep(TSDomStringRep* rep) noexcept
{
    if (rep->m_kind == TSDomStringRep::kArena)
        TSDomArena::Free(rep, rep->m_blockOffset);
    else
        std::free(rep);
}

} // namespace

void TSDomString::Release(TSDomStringRep* rep) noexcept
{
    if (!rep || rep->m_kind == TSDomStringRep::kStatic)
        return;
    // The only reference cannot gain company: no need for the locked decrement.
    if (rep->m_refs.load(std::memory_order_acquire) == 1 ||
        rep->m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        FreeRep(rep);
}

void TSDomString::AdjustCount(TSDomStringRep* rep, std::int32_t delta) noexcept
{
    if (rep->m_refs.fetch_add(delta, std::memory_order_acq_rel) + delta == 0)
        FreeRep(rep);
}

TSDomString TSDomString::Substring(std::size_t offset, std::size_t count) const
{
    TS_ASSERT(offset <= Length() && count <= Length() - offset);
    return TSDomString(View().substr(offset, count));
}

void TSDomString::Append(std::u16string_view text)
{
    if (text.empty())
        return;
    const std::size_t length = Length();
    const bool owned =
        m_rep && m_rep->m_kind == TSDomStringRep::kHeap && m_rep->m_refs.load(std::memory_order_acquire) == 1;
    if (owned && m_rep->m_capacity >= length + text.size()) {
        // The text may be part of this string: memmove copes with that.
        std::memmove(m_rep->Chars() + length, text.data(), text.size() * sizeof(char16_t));
        m_rep->m_length = static_cast<std::uint32_t>(length + text.size());
        m_rep->Chars()[m_rep->m_length] = u'\0';
        return;
    }
    const std::size_t capacity = std::max(length + text.size(), length * 2);
    TSDomStringRep* rep = NewHeapRep(View(), capacity);
    std::memcpy(rep->Chars() + length, text.data(), text.size() * sizeof(char16_t));
    rep->m_length = static_cast<std::uint32_t>(length + text.size());
    rep->Chars()[rep->m_length] = u'\0';
    Release(m_rep);
    m_rep = rep;
}

void TSDomString::Clear() noexcept
{
    Release(m_rep);
    m_rep = nullptr;
}

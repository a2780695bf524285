#include "tst/xml/dom/domimpl.h"

#include "tst/tsexcep.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_THREAD__)
#define LUMORA_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define LUMORA_THREAD_SANITIZER 1
#endif
#endif

namespace {

// Whether this node's count of 1 is ours alone, so that it needs no locked
// decrement: the fence orders what follows after whoever let go before.
// The thread sanitizer cannot follow fences, so there it takes the locked way.
bool HeldAlone(const TSDomNodeImpl* node) noexcept
{
#if defined(LUMORA_THREAD_SANITIZER)
    (void)node;
    return false;
#else
    if (node->GetRefCount() != 1)
        return false;
    std::atomic_thread_fence(std::memory_order_acquire);
    return true;
#endif
}

constinit TSDomStaticText<6> kTextName{{{1}, 5, 5, 0, TSDomStringRep::kStatic}, u"#text"};
constinit TSDomStaticText<15> kCDATAName{{{1}, 14, 14, 0, TSDomStringRep::kStatic}, u"#cdata-section"};
constinit TSDomStaticText<9> kCommentName{{{1}, 8, 8, 0, TSDomStringRep::kStatic}, u"#comment"};
constinit TSDomStaticText<10> kDocumentName{{{1}, 9, 9, 0, TSDomStringRep::kStatic}, u"#document"};
constinit TSDomStaticText<19> kFragmentName{{{1}, 18, 18, 0, TSDomStringRep::kStatic}, u"#document-fragment"};

// Never destroyed through a handle; its count may reach zero and rise again.
constinit TSDomNullNodeImpl gNullNode;

} // namespace

// ---- attribute slots and lists

const TSDomString& TSDomAttrSlot::Name() const noexcept
{
    return m_node ? m_node->GetNodeName() : m_name;
}

const TSDomString& TSDomAttrSlot::Value() const noexcept
{
    return m_node ? m_node->GetNodeValue() : m_value;
}

TSDomAttrList::~TSDomAttrList()
{
    TSDomNodeImpl* pending = nullptr;
    Release(pending);
    while (pending) {
        TSDomNodeImpl* node = pending;
        pending = node->m_next;
        TSDomNodeImpl::DestroyReleased(node);
    }
}

std::ptrdiff_t TSDomAttrList::Find(std::u16string_view name) const noexcept
{
    for (std::uint32_t i = 0; i < m_count; ++i)
        if (m_slots[i].Name() == name)
            return i;
    return -1;
}

TSDomNodeImpl* TSDomAttrList::NodeAt(std::size_t index)
{
    TS_ASSERT(index < m_count);
    TSDomAttrSlot& slot = m_slots[index];
    if (!slot.m_node) {
        slot.m_node = new TSDomAttrImpl(std::move(slot.m_name), std::move(slot.m_value));
        slot.m_node->AddNodeRef();
    }
    return slot.m_node;
}

void TSDomAttrList::SetValue(TSDomString name, TSDomString value)
{
    const std::ptrdiff_t index = Find(name);
    if (index < 0) {
        TSDomAttrSlot& slot = Grow();
        slot.m_name = std::move(name);
        slot.m_value = std::move(value);
    } else if (m_slots[index].m_node) {
        m_slots[index].m_node->SetNodeValue(std::move(value));
    } else {
        m_slots[index].m_value = std::move(value);
    }
}

void TSDomAttrList::SetNode(TSDomNodeImpl* node)
{
    const std::ptrdiff_t index = Find(node->GetNodeName());
    TSDomAttrSlot& slot = index < 0 ? Grow() : m_slots[index];
    node->AddNodeRef();
    TSDomNodeImpl* old = slot.m_node;
    slot.m_node = node;
    slot.m_name.Clear();
    slot.m_value.Clear();
    TSDomNodeImpl::ReleaseNode(old);
}

void TSDomAttrList::CopyFrom(const TSDomAttrList& other)
{
    for (std::uint32_t i = 0; i < other.m_count; ++i) {
        const TSDomAttrSlot& source = other.m_slots[i];
        if (!source.m_node || source.m_node->GetNodeType() == kDomAttributeNode) {
            TSDomAttrSlot& slot = Grow();
            slot.m_name = source.Name();
            slot.m_value = source.Value();
        } else {
            TSDomNodeImpl* clone = source.m_node->CloneNode(true);
            Grow().m_node = clone;
            clone->AddNodeRef();
        }
    }
}

void TSDomAttrList::UseInline(TSDomAttrSlot* slots, std::uint32_t capacity) noexcept
{
    m_slots = slots;
    m_capacity = capacity;
    m_heap = 0;
}

void TSDomAttrList::AppendUnchecked(TSDomString name, TSDomString value) noexcept
{
    new (&m_slots[m_count++]) TSDomAttrSlot{std::move(name), std::move(value), nullptr};
}

void TSDomAttrList::Release(TSDomNodeImpl*& pending) noexcept
{
    for (std::uint32_t i = 0; i < m_count; ++i) {
        TSDomNodeImpl* node = m_slots[i].m_node;
        if (node && node->Release() && !node->IsNull()) {
            node->m_next = pending;
            pending = node;
        }
        m_slots[i].~TSDomAttrSlot();
    }
    if (m_heap)
        std::free(m_slots);
    m_slots = nullptr;
    m_count = 0;
    m_capacity = 0;
    m_heap = 0;
}

TSDomAttrSlot& TSDomAttrList::Grow()
{
    if (m_count == m_capacity) {
        const std::uint32_t capacity = std::max<std::uint32_t>(4, m_capacity * 2);
        auto* slots = static_cast<TSDomAttrSlot*>(std::malloc(capacity * sizeof(TSDomAttrSlot)));
        if (!slots)
            throw std::bad_alloc();
        for (std::uint32_t i = 0; i < m_count; ++i) {
            new (&slots[i]) TSDomAttrSlot(std::move(m_slots[i]));
            m_slots[i].~TSDomAttrSlot();
        }
        if (m_heap)
            std::free(m_slots);
        m_slots = slots;
        m_capacity = capacity;
        m_heap = 1;
    }
    return *new (&m_slots[m_count++]) TSDomAttrSlot();
}

// ---- nodes

TSDomNodeImpl::~TSDomNodeImpl() = default;

void TSDomNodeImpl::operator delete(TSDomNodeImpl* node, std::destroying_delete_t) noexcept
{
    if (!node->IsNull())
        DestroyReleased(node);
}

TSDomNodeImpl* TSDomNodeImpl::Null() noexcept
{
    return &gNullNode;
}

void TSDomNodeImpl::ReleaseNode(TSDomNodeImpl* node) noexcept
{
    if (node && node->Release() && !node->IsNull())
        DestroyReleased(node);
}

// Children whose count drops to zero join a list (linked through m_next,
// which a released node no longer needs) instead of being destroyed from
// within their parent.
void TSDomNodeImpl::DestroyReleased(TSDomNodeImpl* node) noexcept
{
    TSDomArena::FreeBatch batch;
    TSDomNodeImpl* pending = node;
    node->m_next = nullptr;
    while (pending) {
        TSDomNodeImpl* current = pending;
        pending = current->m_next;
        if (current->CanHaveChildren()) {
            auto* parent = static_cast<TSDomParentImpl*>(current);
            for (TSDomNodeImpl* child = parent->m_first; child;) {
                TSDomNodeImpl* next = child->m_next;
                child->m_container = nullptr;
                child->m_next = nullptr;
                if (HeldAlone(child) || child->Release()) {
                    child->m_next = pending;
                    pending = child;
                }
                child = next;
            }
            parent->m_first = parent->m_last = nullptr;
        }
        if (current->m_type == kDomElementNode)
            static_cast<TSDomElementImpl*>(current)->Attributes().Release(pending);
        const bool inArena = current->m_inArena;
        const std::uint16_t offset = current->m_blockOffset;
        current->~TSDomNodeImpl();
        if (inArena)
            TSDomArena::Free(current, offset);
        else
            ::operator delete(current);
    }
}

void TSDomNodeImpl::SetContainer(TSDomNodeImpl* container)
{
    TS_ASSERT_MSG(!IsNull(), "SetContainer on null node");
    m_container = container;
}

// Entities and document types can have children too, but this system never
// makes such nodes: every node that can have children has a child list.
bool TSDomNodeImpl::CanHaveChildren() const noexcept
{
    return m_type == kDomElementNode || m_type == kDomDocumentNode || m_type == kDomDocumentFragmentNode;
}

TSDomNodeImpl* TSDomNodeImpl::GetFirstChild() const noexcept
{
    return CanHaveChildren() ? static_cast<const TSDomParentImpl*>(this)->m_first : nullptr;
}

TSDomNodeImpl* TSDomNodeImpl::GetLastChild() const noexcept
{
    return CanHaveChildren() ? static_cast<const TSDomParentImpl*>(this)->m_last : nullptr;
}

std::size_t TSDomNodeImpl::GetChildCount() const noexcept
{
    return CanHaveChildren() ? static_cast<const TSDomParentImpl*>(this)->m_childCount : 0;
}

std::uint32_t TSDomNodeImpl::GetChildStamp() const noexcept
{
    return CanHaveChildren() ? static_cast<const TSDomParentImpl*>(this)->m_childStamp : 0;
}

bool TSDomNodeImpl::HasAncestor(const TSDomNodeImpl* node) const noexcept
{
    for (const TSDomNodeImpl* up = m_container; up; up = up->m_container)
        if (up == node)
            return true;
    return false;
}

void TSDomNodeImpl::CheckNewChild(const TSDomNodeImpl* newChild) const
{
    TS_ASSERT(CanHaveChildren());
    TS_CHECK_NULL(newChild);
    TS_ASSERT(!newChild->IsNull());
    // A node inside its own subtree would own itself.
    TS_ASSERT(newChild != this && !HasAncestor(newChild));
}

TSDomNodeImpl* TSDomNodeImpl::PreviousOf(const TSDomNodeImpl* child) const noexcept
{
    TSDomNodeImpl* prev = nullptr;
    for (TSDomNodeImpl* node = GetFirstChild(); node != child; node = node->m_next)
        prev = node;
    return prev;
}

void TSDomNodeImpl::InsertAt(TSDomNodeImpl* prev, TSDomNodeImpl* child) noexcept
{
    auto* self = static_cast<TSDomParentImpl*>(this);
    child->m_container = this;
    if (prev) {
        child->m_next = prev->m_next;
        prev->m_next = child;
    } else {
        child->m_next = self->m_first;
        self->m_first = child;
    }
    if (!child->m_next)
        self->m_last = child;
    ++self->m_childCount;
    ++self->m_childStamp;
}

void TSDomNodeImpl::Unlink(TSDomNodeImpl* prev, TSDomNodeImpl* child) noexcept
{
    auto* self = static_cast<TSDomParentImpl*>(this);
    if (prev)
        prev->m_next = child->m_next;
    else
        self->m_first = child->m_next;
    if (self->m_last == child)
        self->m_last = prev;
    child->m_next = nullptr;
    child->m_container = nullptr;
    --self->m_childCount;
    ++self->m_childStamp;
}

void TSDomNodeImpl::LinkChild(TSDomNodeImpl* child) noexcept
{
    child->AddRef();
    InsertAt(static_cast<TSDomParentImpl*>(this)->m_last, child);
}

void TSDomNodeImpl::InsertChildBefore(TSDomNodeImpl* child, TSDomNodeImpl* refChild) noexcept
{
    child->AddRef();
    InsertAt(PreviousOf(refChild), child);
}

void TSDomNodeImpl::Detach(TSDomNodeImpl* child)
{
    if (child->m_container)
        child->m_container->RemoveChild(child);
}

// Inserts before refChild (a child of this node), or appends when refChild
// is null; a fragment gives its children in order.
TSDomNodeImpl* TSDomNodeImpl::InsertOne(TSDomNodeImpl* newChild, TSDomNodeImpl* refChild)
{
    if (newChild->m_type == kDomDocumentFragmentNode) {
        auto* fragment = static_cast<TSDomParentImpl*>(newChild);
        while (TSDomNodeImpl* child = fragment->m_first) {
            fragment->Unlink(nullptr, child);
            InsertAt(refChild ? PreviousOf(refChild) : GetLastChild(), child);
        }
        return newChild;
    }
    if (newChild == refChild)
        return newChild;
    Detach(newChild);
    newChild->AddRef();
    InsertAt(refChild ? PreviousOf(refChild) : GetLastChild(), newChild);
    return newChild;
}

TSDomNodeImpl* TSDomNodeImpl::InsertBefore(TSDomNodeImpl* newChild, TSDomNodeImpl* refChild)
{
    CheckNewChild(newChild);
    if (!refChild || refChild->m_container != this)
        return AppendChild(newChild);
    return InsertOne(newChild, refChild);
}

TSDomNodeImpl* TSDomNodeImpl::AppendChild(TSDomNodeImpl* newChild)
{
    CheckNewChild(newChild);
    return InsertOne(newChild, nullptr);
}

TSDomNodeImpl* TSDomNodeImpl::ReplaceChild(TSDomNodeImpl* newChild, TSDomNodeImpl* oldChild)
{
    CheckNewChild(newChild);
    TS_CHECK_NULL(oldChild);
    if (oldChild->m_container != this) {
        AppendChild(newChild);
        return Null();
    }
    if (newChild == oldChild)
        return oldChild;
    InsertOne(newChild, oldChild);
    Unlink(PreviousOf(oldChild), oldChild);
    ReleaseNode(oldChild); // the caller still holds it
    return oldChild;
}

TSDomNodeImpl* TSDomNodeImpl::RemoveChild(TSDomNodeImpl* child)
{
    TS_ASSERT(CanHaveChildren());
    TS_CHECK_NULL(child);
    if (child->IsNull() || child->m_container != this)
        return Null();
    Unlink(PreviousOf(child), child);
    ReleaseNode(child); // the caller still holds it
    return child;
}

TSDomNodeImpl* TSDomNodeImpl::CloneNode(bool deep) const
{
    if (IsNull())
        return Null();
    TSDomNodeImpl* root = CloneOne(this, deep);
    if (!deep || !HasChildNodes())
        return root;
    try {
        CloneChildren(root);
    } catch (...) {
        delete root;
        throw;
    }
    return root;
}

// Walks the subtree without recursion, keeping the copy's parent in step.
void TSDomNodeImpl::CloneChildren(TSDomNodeImpl* root) const
{
    const TSDomNodeImpl* source = GetFirstChild();
    TSDomNodeImpl* target = root;
    while (source) {
        TSDomNodeImpl* copy = CloneOne(source, true);
        target->LinkChild(copy);
        if (source->HasChildNodes()) {
            source = source->GetFirstChild();
            target = copy;
            continue;
        }
        while (!source->m_next && source->m_container != this) {
            source = source->m_container;
            target = target->m_container;
        }
        source = source->m_next;
    }
}

TSDomNodeImpl* TSDomNodeImpl::CloneOne(const TSDomNodeImpl* source, bool withAttributes)
{
    TSDomNodeImpl* copy = source->CloneBody(withAttributes);
    copy->m_name = source->m_name;
    copy->m_value = source->m_value;
    return copy;
}

// ---- node classes

void TSDomElementImpl::Normalize()
{
    TSDomNodeImpl* node = GetFirstChild();
    while (node) {
        TSDomNodeImpl* next = node->GetNextSibling();
        if (node->GetNodeType() == kDomTextNode && next && next->GetNodeType() == kDomTextNode) {
            TSDomString merged = node->GetNodeValue();
            node->SetNodeValue(TSDomString()); // unshare, so that appending grows in place
            merged.Append(next->GetNodeValue());
            node->SetNodeValue(std::move(merged));
            Unlink(node, next);
            ReleaseNode(next);
            continue;
        }
        node = next;
    }
}

TSDomNodeImpl* TSDomElementImpl::CloneBody(bool deep) const
{
    auto* copy = new TSDomElementImpl(TSDomString());
    if (deep) {
        try {
            copy->m_attributes.CopyFrom(m_attributes);
        } catch (...) {
            delete copy;
            throw;
        }
    }
    return copy;
}

TSDomNodeImpl* TSDomAttrImpl::CloneBody(bool) const
{
    return new TSDomAttrImpl(TSDomString(), TSDomString());
}

TSDomTextImpl::TSDomTextImpl(TSDomString text) noexcept
    : TSDomCharacterDataImpl(kDomTextNode, TSDomString(kTextName), std::move(text))
{
}

TSDomNodeImpl* TSDomTextImpl::SplitText(std::size_t offset)
{
    TSDomNodeImpl* parent = GetContainer();
    TS_ASSERT(parent != nullptr);
    const TSDomString& text = GetNodeValue();
    TS_ASSERT(offset <= text.Length());
    TSDomNodeImpl* copy = CloneNode(false);
    copy->SetNodeValue(text.Substring(0, offset));
    SetNodeValue(text.Substring(offset, text.Length() - offset));
    parent->InsertChildBefore(copy, this);
    return this;
}

TSDomNodeImpl* TSDomTextImpl::CloneBody(bool) const
{
    return new TSDomTextImpl(TSDomString());
}

TSDomCDATASectionImpl::TSDomCDATASectionImpl(TSDomString text) noexcept
    : TSDomTextImpl(kDomCDATASectionNode, TSDomString(kCDATAName), std::move(text))
{
}

TSDomNodeImpl* TSDomCDATASectionImpl::CloneBody(bool) const
{
    return new TSDomCDATASectionImpl(TSDomString());
}

TSDomCommentImpl::TSDomCommentImpl(TSDomString text) noexcept
    : TSDomCharacterDataImpl(kDomCommentNode, TSDomString(kCommentName), std::move(text))
{
}

TSDomNodeImpl* TSDomCommentImpl::CloneBody(bool) const
{
    return new TSDomCommentImpl(TSDomString());
}

TSDomNodeImpl* TSDomProcessingInstructionImpl::CloneBody(bool) const
{
    return new TSDomProcessingInstructionImpl(TSDomString(), TSDomString());
}

TSDomDocumentImpl::TSDomDocumentImpl() noexcept
    : TSDomParentImpl(kDomDocumentNode, TSDomString(kDocumentName), TSDomString())
{
}

TSDomNodeImpl* TSDomDocumentImpl::GetDocumentElement() const noexcept
{
    for (TSDomNodeImpl* node = GetFirstChild(); node; node = node->GetNextSibling())
        if (node->GetNodeType() == kDomElementNode)
            return node;
    return Null();
}

namespace {

void CheckDocumentChild(const TSDomNodeImpl* child)
{
    TS_CHECK_NULL(child);
    const int type = child->GetNodeType();
    if (type != kDomProcessingInstructionNode && type != kDomCommentNode && type != kDomDocumentTypeNode &&
        type != kDomNotationNode)
        TS_INTERNAL_ERROR("Node type not allowed in a document");
}

} // namespace

TSDomNodeImpl* TSDomDocumentImpl::InsertBefore(TSDomNodeImpl* newChild, TSDomNodeImpl* refChild)
{
    CheckDocumentChild(newChild);
    return TSDomParentImpl::InsertBefore(newChild, refChild);
}

TSDomNodeImpl* TSDomDocumentImpl::AppendChild(TSDomNodeImpl* newChild)
{
    CheckDocumentChild(newChild);
    return TSDomParentImpl::AppendChild(newChild);
}

TSDomNodeImpl* TSDomDocumentImpl::ReplaceChild(TSDomNodeImpl* newChild, TSDomNodeImpl* oldChild)
{
    TS_CHECK_NULL(newChild);
    TS_CHECK_NULL(oldChild);
    TS_ASSERT(newChild->GetNodeType() == oldChild->GetNodeType());
    return TSDomParentImpl::ReplaceChild(newChild, oldChild);
}

TSDomNodeImpl* TSDomDocumentImpl::RemoveChild(TSDomNodeImpl* child)
{
    TS_CHECK_NULL(child);
    TS_ASSERT(child->GetNodeType() != kDomElementNode);
    return TSDomParentImpl::RemoveChild(child);
}

TSDomNodeImpl* TSDomDocumentImpl::CloneBody(bool) const
{
    return new TSDomDocumentImpl();
}

TSDomDocumentFragmentImpl::TSDomDocumentFragmentImpl() noexcept
    : TSDomParentImpl(kDomDocumentFragmentNode, TSDomString(kFragmentName), TSDomString())
{
}

TSDomNodeImpl* TSDomDocumentFragmentImpl::CloneBody(bool) const
{
    return new TSDomDocumentFragmentImpl();
}

TSDomNodeImpl* TSDomNullNodeImpl::CloneBody(bool) const
{
    return Null();
}

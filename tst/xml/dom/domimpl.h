#pragma once

#include "tst/tsobject.h"
#include "tst/xml/dom/domarena.h"
#include "tst/xml/dom/domstring.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

class TSDomArena;
class TSDomNodeImpl;

// Node type numbers as in DOM Level 1; 0 is the null node.
enum TSDomNodeType : std::uint8_t {
    kDomNullNode = 0,
    kDomElementNode = 1,
    kDomAttributeNode = 2,
    kDomTextNode = 3,
    kDomCDATASectionNode = 4,
    kDomEntityReferenceNode = 5,
    kDomEntityNode = 6,
    kDomProcessingInstructionNode = 7,
    kDomCommentNode = 8,
    kDomDocumentNode = 9,
    kDomDocumentTypeNode = 10,
    kDomDocumentFragmentNode = 11,
    kDomNotationNode = 12,
};

// One attribute of an element. The parser stores name and value alone; an
// attribute node is made only when someone asks for one, and from then on
// the node holds the name and value.
struct TSDomAttrSlot {
    TSDomString m_name;
    TSDomString m_value;
    TSDomNodeImpl* m_node = nullptr; // holds a reference when set

    const TSDomString& Name() const noexcept;
    const TSDomString& Value() const noexcept;
};

// The ordered attributes of an element or of a free-standing named node map.
class TSDomAttrList {
public:
    TSDomAttrList() noexcept = default;
    TSDomAttrList(const TSDomAttrList&) = delete;
    TSDomAttrList& operator=(const TSDomAttrList&) = delete;
    ~TSDomAttrList();

    std::size_t Size() const noexcept { return m_count; }
    const TSDomAttrSlot& Slot(std::size_t index) const noexcept { return m_slots[index]; }
    // Index of the first entry with that name, or -1.
    std::ptrdiff_t Find(std::u16string_view name) const noexcept;
    // The node of an entry, made from its name and value when it has none.
    TSDomNodeImpl* NodeAt(std::size_t index);
    // Replaces the entry with an equal name in place, or appends.
    void SetValue(TSDomString name, TSDomString value);
    void SetNode(TSDomNodeImpl* node);
    void CopyFrom(const TSDomAttrList& other);

    // Room for `capacity` entries placed right behind the owner (parser).
    void UseInline(TSDomAttrSlot* slots, std::uint32_t capacity) noexcept;
    // Appends without looking for an equal name (parser; names are unique).
    void AppendUnchecked(TSDomString name, TSDomString value) noexcept;
    // Hands the attached nodes to a destruction list (see TSDomNodeImpl).
    void Release(TSDomNodeImpl*& pending) noexcept;

private:
    TSDomAttrSlot& Grow();

    TSDomAttrSlot* m_slots = nullptr;
    std::uint32_t m_count = 0;
    std::uint32_t m_capacity : 31 = 0;
    std::uint32_t m_heap : 1 = 0;
};

// Body of every DOM node. Bodies are shared by all handles (no copy on
// write); a parent holds a reference to each child, a child only a plain
// pointer to its parent. Children are singly linked with the parent
// knowing the first and the last.
class TSDomNodeImpl : public TSObjectImpl {
public:
    TSDomNodeImpl(const TSDomNodeImpl&) = delete;
    ~TSDomNodeImpl() override;

    // Destruction never recurses, so trees of any depth can go.
    static void operator delete(TSDomNodeImpl* node, std::destroying_delete_t) noexcept;

    int GetNodeType() const noexcept { return m_type; }
    const TSDomString& GetNodeName() const noexcept { return m_name; }
    void SetNodeName(TSDomString name) noexcept { m_name = std::move(name); }
    const TSDomString& GetNodeValue() const noexcept { return m_value; }
    void SetNodeValue(TSDomString value) noexcept { m_value = std::move(value); }
    TSDomNodeImpl* GetContainer() const noexcept { return m_container; }
    void SetContainer(TSDomNodeImpl* container);
    TSDomNodeImpl* GetNextSibling() const noexcept { return m_next; }

    bool IsNull() const noexcept { return m_type == kDomNullNode; }
    // Element, entity, document, document type and fragment.
    bool CanHaveChildren() const noexcept;
    TSDomNodeImpl* GetFirstChild() const noexcept;
    TSDomNodeImpl* GetLastChild() const noexcept;
    std::size_t GetChildCount() const noexcept;
    bool HasChildNodes() const noexcept { return GetFirstChild() != nullptr; }
    // Counts changes of the child list (for node list cursors).
    std::uint32_t GetChildStamp() const noexcept;
    bool HasAncestor(const TSDomNodeImpl* node) const noexcept;

    // Structural operations; the arguments are kept alive by the caller.
    // Results are bodies of this tree or the null node.
    virtual TSDomNodeImpl* InsertBefore(TSDomNodeImpl* newChild, TSDomNodeImpl* refChild);
    virtual TSDomNodeImpl* ReplaceChild(TSDomNodeImpl* newChild, TSDomNodeImpl* oldChild);
    virtual TSDomNodeImpl* RemoveChild(TSDomNodeImpl* child);
    virtual TSDomNodeImpl* AppendChild(TSDomNodeImpl* newChild);
    // A new body (count 0) equal to this one, with its subtree when deep.
    TSDomNodeImpl* CloneNode(bool deep) const;

    // Appends or inserts without any rule (parser, cloning, splitting). The
    // child must be detached; this node takes a reference to it.
    void LinkChild(TSDomNodeImpl* child) noexcept;
    void InsertChildBefore(TSDomNodeImpl* child, TSDomNodeImpl* refChild) noexcept;

    void AddNodeRef() noexcept { AddRef(); }
    static void ReleaseNode(TSDomNodeImpl* node) noexcept;

    // Constructs a node in arena storage.
    template <class Body, class... Args>
    static Body* NewInArena(TSDomArena& arena, std::size_t extra, Args&&... args);

    // The process-wide null node.
    static TSDomNodeImpl* Null() noexcept;

protected:
    TSDomNodeImpl(TSDomNodeType type, TSDomString name, TSDomString value) noexcept
        : m_type(type), m_name(std::move(name)), m_value(std::move(value))
    {
    }
    explicit constexpr TSDomNodeImpl(TSDomNodeType type) noexcept : m_type(type) {}

    // A body of the same class with name, value and, for an element with
    // `deep`, the attributes.
    virtual TSDomNodeImpl* CloneBody(bool deep) const = 0;
    void CheckNewChild(const TSDomNodeImpl* newChild) const;
    // Child list primitives; Unlink leaves the parent's reference with the caller.
    void InsertAt(TSDomNodeImpl* prev, TSDomNodeImpl* child) noexcept;
    void Unlink(TSDomNodeImpl* prev, TSDomNodeImpl* child) noexcept;
    TSDomNodeImpl* PreviousOf(const TSDomNodeImpl* child) const noexcept;

private:
    friend class TSDomParentImpl;
    friend class TSDomAttrList;
    static void DestroyReleased(TSDomNodeImpl* node) noexcept;
    static TSDomNodeImpl* CloneOne(const TSDomNodeImpl* source, bool withAttributes);
    void CloneChildren(TSDomNodeImpl* root) const;
    void Detach(TSDomNodeImpl* child);
    TSDomNodeImpl* InsertOne(TSDomNodeImpl* newChild, TSDomNodeImpl* refChild);

    TSDomNodeType m_type;
    std::uint8_t m_inArena = 0;
    std::uint16_t m_blockOffset = 0;
    TSDomString m_name;
    TSDomString m_value;
    TSDomNodeImpl* m_container = nullptr;
    TSDomNodeImpl* m_next = nullptr;
};

// The child list shared by elements, documents and fragments.
class TSDomParentImpl : public TSDomNodeImpl {
protected:
    using TSDomNodeImpl::TSDomNodeImpl;

private:
    friend class TSDomNodeImpl;
    TSDomNodeImpl* m_first = nullptr;
    TSDomNodeImpl* m_last = nullptr;
    std::uint32_t m_childCount = 0;
    std::uint32_t m_childStamp = 0;
};

class TSDomElementImpl : public TSDomParentImpl {
public:
    explicit TSDomElementImpl(TSDomString tagName) noexcept
        : TSDomParentImpl(kDomElementNode, std::move(tagName), TSDomString())
    {
    }
    TSDomAttrList& Attributes() noexcept { return m_attributes; }
    const TSDomAttrList& Attributes() const noexcept { return m_attributes; }
    // Merges adjacent text nodes among the children.
    void Normalize();

protected:
    TSDomNodeImpl* CloneBody(bool deep) const override;

private:
    TSDomAttrList m_attributes;
};

class TSDomAttrImpl : public TSDomNodeImpl {
public:
    TSDomAttrImpl(TSDomString name, TSDomString value) noexcept
        : TSDomNodeImpl(kDomAttributeNode, std::move(name), std::move(value))
    {
    }

protected:
    TSDomNodeImpl* CloneBody(bool deep) const override;
};

class TSDomCharacterDataImpl : public TSDomNodeImpl {
protected:
    using TSDomNodeImpl::TSDomNodeImpl;
};

class TSDomTextImpl : public TSDomCharacterDataImpl {
public:
    explicit TSDomTextImpl(TSDomString text) noexcept;
    // Keeps the characters from `offset` on; a copy with those before it is
    // inserted in front. Returns this node.
    virtual TSDomNodeImpl* SplitText(std::size_t offset);

protected:
    TSDomTextImpl(TSDomNodeType type, TSDomString name, TSDomString text) noexcept
        : TSDomCharacterDataImpl(type, std::move(name), std::move(text))
    {
    }
    TSDomNodeImpl* CloneBody(bool deep) const override;
};

class TSDomCDATASectionImpl : public TSDomTextImpl {
public:
    explicit TSDomCDATASectionImpl(TSDomString text) noexcept;

protected:
    TSDomNodeImpl* CloneBody(bool deep) const override;
};

class TSDomCommentImpl : public TSDomCharacterDataImpl {
public:
    explicit TSDomCommentImpl(TSDomString text) noexcept;

protected:
    TSDomNodeImpl* CloneBody(bool deep) const override;
};

class TSDomProcessingInstructionImpl : public TSDomNodeImpl {
public:
    TSDomProcessingInstructionImpl(TSDomString target, TSDomString data) noexcept
        : TSDomNodeImpl(kDomProcessingInstructionNode, std::move(target), std::move(data))
    {
    }

protected:
    TSDomNodeImpl* CloneBody(bool deep) const override;
};

// A document takes through the public operations only processing
// instructions, comments, document types and notations; its element comes
// with the constructor or the parser, and stays.
class TSDomDocumentImpl : public TSDomParentImpl {
public:
    TSDomDocumentImpl() noexcept;
    TSDomNodeImpl* GetDocumentElement() const noexcept;

    TSDomNodeImpl* InsertBefore(TSDomNodeImpl* newChild, TSDomNodeImpl* refChild) override;
    TSDomNodeImpl* ReplaceChild(TSDomNodeImpl* newChild, TSDomNodeImpl* oldChild) override;
    TSDomNodeImpl* RemoveChild(TSDomNodeImpl* child) override;
    TSDomNodeImpl* AppendChild(TSDomNodeImpl* newChild) override;

protected:
    TSDomNodeImpl* CloneBody(bool deep) const override;
};

class TSDomDocumentFragmentImpl : public TSDomParentImpl {
public:
    TSDomDocumentFragmentImpl() noexcept;

protected:
    TSDomNodeImpl* CloneBody(bool deep) const override;
};

class TSDomNullNodeImpl : public TSDomNodeImpl {
public:
    constexpr TSDomNullNodeImpl() noexcept : TSDomNodeImpl(kDomNullNode) {}

protected:
    TSDomNodeImpl* CloneBody(bool deep) const override;
};

template <class Body, class... Args>
Body* TSDomNodeImpl::NewInArena(TSDomArena& arena, std::size_t extra, Args&&... args)
{
    std::uint16_t offset = 0;
    void* memory = arena.Allocate(sizeof(Body) + extra, offset);
    Body* body = new (memory) Body(std::forward<Args>(args)...);
    static_cast<TSDomNodeImpl*>(body)->m_inArena = 1;
    static_cast<TSDomNodeImpl*>(body)->m_blockOffset = offset;
    return body;
}

#pragma once

#include "tst/tsobject.h"
#include "tst/xml/dom/domimpl.h"
#include "tst/xml/dom/domstring.h"

#include <cstddef>
#include <initializer_list>
#include <string_view>

class TSDomNodeList;
class TSDomNamedNodeMap;

// Handle of any DOM node. Copies share the node: a change through one handle
// is seen through all. A handle that refers to nothing refers to the
// process-wide null node (type 0). Misuse raises TSInternalError.
class TSDomNode : public TSObjectRef {
public:
    TSDomNode() noexcept;
    explicit TSDomNode(TSDomNodeImpl* body) noexcept;
    TSDomNode(const TSDomNode& other) noexcept = default;
    TSDomNode(TSDomNode&& other) noexcept = default;
    TSDomNode& operator=(const TSDomNode& other) = default;
    TSDomNode& operator=(TSDomNode&& other) = default;
    ~TSDomNode() override;

    TSDomString GetNodeName() const { return Impl()->GetNodeName(); }
    void SetNodeName(TSDomString name);
    TSDomString GetNodeValue() const { return Impl()->GetNodeValue(); }
    void SetNodeValue(TSDomString value);
    int GetNodeType() const noexcept { return Impl()->GetNodeType(); }
    // True for the null node (hides the body test of TSObjectRef).
    bool IsNull() const noexcept { return Impl()->IsNull(); }
    bool IsSameNode(const TSDomNode& other) const noexcept { return Impl() == other.Impl(); }

    TSDomNode GetParentNode() const;
    TSDomNodeList GetChildNodes() const;
    TSDomNode GetFirstChild() const;
    TSDomNode GetLastChild() const;
    // The null node for the last child and for a detached node.
    TSDomNode GetNextSibling() const;
    // An element's own map; for other nodes a new empty map.
    TSDomNamedNodeMap GetAttributes() const;
    bool HasChildNodes() const noexcept { return Impl()->HasChildNodes(); }
    TSDomNode CloneNode(bool deep) const;

    // Structural operations. The node must be able to have children and the
    // new child must not be this node or one of its ancestors; a document
    // fragment gives its children. A new child is first taken from its parent.
    TSDomNode InsertBefore(const TSDomNode& newChild, const TSDomNode& refChild);
    TSDomNode ReplaceChild(const TSDomNode& newChild, const TSDomNode& oldChild);
    TSDomNode RemoveChild(const TSDomNode& oldChild);
    TSDomNode AppendChild(const TSDomNode& newChild);

    // The body; never null (the null node when the handle refers to nothing).
    TSDomNodeImpl* Impl() const noexcept
    {
        TSObjectImpl* body = GetBody();
        return body ? static_cast<TSDomNodeImpl*>(body) : TSDomNodeImpl::Null();
    }

protected:
    void DeleteBody(TSObjectImpl* body) override;
    // The body of `node` when its type is one of `types` or it is the null
    // node; otherwise an assertion internal error.
    static TSDomNodeImpl* Checked(const TSDomNode& node, std::initializer_list<int> types);
    TSDomNodeImpl* NonNull() const;
};

class TSDomAttr : public TSDomNode {
public:
    TSDomAttr() noexcept = default;
    TSDomAttr(const TSDomNode& node);
    TSDomAttr& operator=(const TSDomNode& node);
    TSDomAttr(TSDomString name, TSDomString value);

    TSDomString GetName() const { return GetNodeName(); }
    TSDomString GetValue() const { return GetNodeValue(); }
    void SetValue(TSDomString value) { SetNodeValue(std::move(value)); }
};

class TSDomElement : public TSDomNode {
public:
    TSDomElement() noexcept = default;
    TSDomElement(const TSDomNode& node);
    TSDomElement& operator=(const TSDomNode& node);
    explicit TSDomElement(TSDomString tagName);

    TSDomString GetTagName() const { return GetNodeName(); }
    // The attribute of that name (exact comparison) or the null node.
    TSDomAttr GetAttributeNode(std::u16string_view name) const;
    // Replaces an attribute of the same name in its place, or appends.
    TSDomAttr SetAttributeNode(const TSDomAttr& attribute);
    // The value, or the empty string when there is no such attribute.
    TSDomString GetAttribute(std::u16string_view name) const;
    bool HasAttribute(std::u16string_view name) const;
    void SetAttribute(TSDomString name, TSDomString value);
    // Merges each run of adjacent text nodes among the children into its first.
    void Normalize();

private:
    TSDomElementImpl* Element() const;
};

class TSDomCharacterData : public TSDomNode {
public:
    TSDomCharacterData() noexcept = default;
    TSDomCharacterData(const TSDomNode& node);
    TSDomCharacterData& operator=(const TSDomNode& node);

    TSDomString GetData() const { return GetNodeValue(); }
    void SetData(TSDomString data) { SetNodeValue(std::move(data)); }
    std::size_t GetLength() const noexcept { return Impl()->GetNodeValue().Length(); }
    void AppendData(std::u16string_view text);

protected:
    explicit TSDomCharacterData(TSDomNodeImpl* body) noexcept : TSDomNode(body) {}
};

// Also accepts CDATA sections and comments.
class TSDomText : public TSDomCharacterData {
public:
    TSDomText() noexcept = default;
    TSDomText(const TSDomNode& node);
    TSDomText& operator=(const TSDomNode& node);
    explicit TSDomText(TSDomString text);

    // The node keeps the characters from `offset` on and is returned; a copy
    // holding those before it goes in front. The node must have a parent.
    TSDomText SplitText(std::size_t offset);

protected:
    explicit TSDomText(TSDomNodeImpl* body) noexcept : TSDomCharacterData(body) {}
};

class TSDomCDATASection : public TSDomText {
public:
    TSDomCDATASection() noexcept = default;
    TSDomCDATASection(const TSDomNode& node);
    TSDomCDATASection& operator=(const TSDomNode& node);
    explicit TSDomCDATASection(TSDomString text);
};

class TSDomComment : public TSDomCharacterData {
public:
    TSDomComment() noexcept = default;
    TSDomComment(const TSDomNode& node);
    TSDomComment& operator=(const TSDomNode& node);
    explicit TSDomComment(TSDomString text);
};

class TSDomProcessingInstruction : public TSDomNode {
public:
    TSDomProcessingInstruction() noexcept = default;
    TSDomProcessingInstruction(const TSDomNode& node);
    TSDomProcessingInstruction& operator=(const TSDomNode& node);
    explicit TSDomProcessingInstruction(TSDomString target, TSDomString data = {});

    TSDomString GetTarget() const { return GetNodeName(); }
    TSDomString GetData() const { return GetNodeValue(); }
    void SetData(TSDomString data) { SetNodeValue(std::move(data)); }
};

class TSDomDocumentFragment : public TSDomNode {
public:
    TSDomDocumentFragment();
    TSDomDocumentFragment(const TSDomNode& node);
    TSDomDocumentFragment& operator=(const TSDomNode& node);
};

class TSDomDocument : public TSDomNode {
public:
    // A new empty document.
    TSDomDocument();
    TSDomDocument(const TSDomNode& node);
    TSDomDocument& operator=(const TSDomNode& node);
    // A new document whose element is `root` (taken from its parent).
    explicit TSDomDocument(const TSDomElement& root);
    // A new document with a new element of that name.
    explicit TSDomDocument(std::u16string_view rootName);

    // The first child that is an element, or the null node.
    TSDomElement GetDocumentElement() const;
};

// Body of a node list: a live view of a node's children that keeps the node
// alive. Remembers the last position asked for, so a forward walk by index
// costs one step per item.
class TSDomNodeListImpl : public TSObjectImpl {
public:
    explicit TSDomNodeListImpl(const TSDomNode& owner) : m_owner(owner) {}
    std::size_t GetLength() const noexcept { return m_owner.Impl()->GetChildCount(); }
    TSDomNodeImpl* At(std::size_t index) const noexcept;

private:
    TSDomNode m_owner;
    mutable TSDomNodeImpl* m_cursorNode = nullptr;
    mutable std::size_t m_cursorIndex = 0;
    mutable std::uint32_t m_cursorStamp = 0;
};

class TSDomNodeList : public TSObjectRef {
public:
    explicit TSDomNodeList(const TSDomNode& owner);

    std::size_t GetLength() const noexcept { return Body().GetLength(); }
    // An index at or beyond the length is an assertion internal error.
    TSDomNode Item(std::size_t index) const;
    // The null node beyond the end.
    TSDomNode ItemOrNull(std::size_t index) const;

private:
    const TSDomNodeListImpl& Body() const noexcept { return *static_cast<TSDomNodeListImpl*>(GetBody()); }
};

// Body of a named node map: an element's attributes, or a free-standing list.
class TSDomNamedNodeMapImpl : public TSObjectImpl {
public:
    TSDomNamedNodeMapImpl() = default;
    explicit TSDomNamedNodeMapImpl(const TSDomNode& element) : m_owner(element) {}
    TSDomAttrList& List() noexcept;

private:
    TSDomNode m_owner;
    TSDomAttrList m_own;
};

class TSDomNamedNodeMap : public TSObjectRef {
public:
    // A new empty map.
    TSDomNamedNodeMap();
    // The attributes of an element, shared with it.
    explicit TSDomNamedNodeMap(const TSDomElement& element);

    std::size_t GetLength() const noexcept;
    // An index at or beyond the length is an assertion internal error.
    TSDomNode Item(std::size_t index) const;
    // The first node with exactly that name, or the null node.
    TSDomNode GetNamedItem(std::u16string_view name) const;
    // Replaces the node with an equal name in its place, or appends; returns
    // the stored node.
    TSDomNode SetNamedItem(const TSDomNode& node);

private:
    TSDomAttrList& List() const noexcept { return static_cast<TSDomNamedNodeMapImpl*>(GetBody())->List(); }
};

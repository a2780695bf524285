#include "tst/xml/dom/domnode.h"

#include "tst/tsexcep.h"

#include <algorithm>

// ---- TSDomNode

TSDomNode::TSDomNode() noexcept : TSObjectRef(TSDomNodeImpl::Null()) {}

TSDomNode::TSDomNode(TSDomNodeImpl* body) noexcept : TSObjectRef(body ? body : TSDomNodeImpl::Null()) {}

TSDomNode::~TSDomNode()
{
    ReleaseBody();
}

void TSDomNode::DeleteBody(TSObjectImpl* body)
{
    // The null node lives for the whole process.
    if (body != TSDomNodeImpl::Null())
        delete static_cast<TSDomNodeImpl*>(body);
}

TSDomNodeImpl* TSDomNode::Checked(const TSDomNode& node, std::initializer_list<int> types)
{
    TSDomNodeImpl* body = node.Impl();
    const int type = body->GetNodeType();
    TS_ASSERT_MSG(type == kDomNullNode || std::find(types.begin(), types.end(), type) != types.end(),
                  "Wrong node type");
    return body;
}

TSDomNodeImpl* TSDomNode::NonNull() const
{
    TSDomNodeImpl* body = Impl();
    TS_ASSERT_MSG(!body->IsNull(), "Null node");
    return body;
}

void TSDomNode::SetNodeName(TSDomString name)
{
    NonNull()->SetNodeName(std::move(name));
}

void TSDomNode::SetNodeValue(TSDomString value)
{
    NonNull()->SetNodeValue(std::move(value));
}

TSDomNode TSDomNode::GetParentNode() const
{
    return TSDomNode(Impl()->GetContainer());
}

TSDomNodeList TSDomNode::GetChildNodes() const
{
    return TSDomNodeList(*this);
}

TSDomNode TSDomNode::GetFirstChild() const
{
    return TSDomNode(Impl()->GetFirstChild());
}

TSDomNode TSDomNode::GetLastChild() const
{
    return TSDomNode(Impl()->GetLastChild());
}

TSDomNode TSDomNode::GetNextSibling() const
{
    // A detached node has no siblings, whatever it once had.
    TSDomNodeImpl* body = Impl();
    return TSDomNode(body->GetContainer() ? body->GetNextSibling() : nullptr);
}

TSDomNamedNodeMap TSDomNode::GetAttributes() const
{
    if (GetNodeType() == kDomElementNode)
        return TSDomNamedNodeMap(TSDomElement(*this));
    return TSDomNamedNodeMap();
}

TSDomNode TSDomNode::CloneNode(bool deep) const
{
    return TSDomNode(Impl()->CloneNode(deep));
}

TSDomNode TSDomNode::InsertBefore(const TSDomNode& newChild, const TSDomNode& refChild)
{
    return TSDomNode(Impl()->InsertBefore(newChild.Impl(), refChild.Impl()));
}

TSDomNode TSDomNode::ReplaceChild(const TSDomNode& newChild, const TSDomNode& oldChild)
{
    return TSDomNode(Impl()->ReplaceChild(newChild.Impl(), oldChild.Impl()));
}

TSDomNode TSDomNode::RemoveChild(const TSDomNode& oldChild)
{
    return TSDomNode(Impl()->RemoveChild(oldChild.Impl()));
}

TSDomNode TSDomNode::AppendChild(const TSDomNode& newChild)
{
    return TSDomNode(Impl()->AppendChild(newChild.Impl()));
}

// ---- typed handles

#define TS_DOM_CONVERSIONS(Class, ...)                                                                       \
    Class::Class(const TSDomNode& node) : TSDomNode(Checked(node, {__VA_ARGS__})) {}                         \
    Class& Class::operator=(const TSDomNode& node)                                                           \
    {                                                                                                        \
        SetBody(Checked(node, {__VA_ARGS__}));                                                               \
        return *this;                                                                                        \
    }

TS_DOM_CONVERSIONS(TSDomAttr, kDomAttributeNode)
TS_DOM_CONVERSIONS(TSDomElement, kDomElementNode)
TS_DOM_CONVERSIONS(TSDomProcessingInstruction, kDomProcessingInstructionNode)
TS_DOM_CONVERSIONS(TSDomDocumentFragment, kDomDocumentFragmentNode)
TS_DOM_CONVERSIONS(TSDomDocument, kDomDocumentNode)
#undef TS_DOM_CONVERSIONS

TSDomCharacterData::TSDomCharacterData(const TSDomNode& node)
    : TSDomNode(Checked(node, {kDomTextNode, kDomCDATASectionNode, kDomCommentNode}))
{
}

TSDomCharacterData& TSDomCharacterData::operator=(const TSDomNode& node)
{
    SetBody(Checked(node, {kDomTextNode, kDomCDATASectionNode, kDomCommentNode}));
    return *this;
}

TSDomText::TSDomText(const TSDomNode& node)
    : TSDomCharacterData(Checked(node, {kDomTextNode, kDomCDATASectionNode, kDomCommentNode}))
{
}

TSDomText& TSDomText::operator=(const TSDomNode& node)
{
    SetBody(Checked(node, {kDomTextNode, kDomCDATASectionNode, kDomCommentNode}));
    return *this;
}

TSDomCDATASection::TSDomCDATASection(const TSDomNode& node) : TSDomText(Checked(node, {kDomCDATASectionNode}))
{
}

TSDomCDATASection& TSDomCDATASection::operator=(const TSDomNode& node)
{
    SetBody(Checked(node, {kDomCDATASectionNode}));
    return *this;
}

TSDomComment::TSDomComment(const TSDomNode& node) : TSDomCharacterData(Checked(node, {kDomCommentNode})) {}

TSDomComment& TSDomComment::operator=(const TSDomNode& node)
{
    SetBody(Checked(node, {kDomCommentNode}));
    return *this;
}

TSDomAttr::TSDomAttr(TSDomString name, TSDomString value)
    : TSDomNode(new TSDomAttrImpl(std::move(name), std::move(value)))
{
}

TSDomElement::TSDomElement(TSDomString tagName) : TSDomNode(new TSDomElementImpl(std::move(tagName))) {}

TSDomElementImpl* TSDomElement::Element() const
{
    return static_cast<TSDomElementImpl*>(NonNull());
}

TSDomAttr TSDomElement::GetAttributeNode(std::u16string_view name) const
{
    TSDomAttrList& list = Element()->Attributes();
    const std::ptrdiff_t index = list.Find(name);
    return TSDomAttr(TSDomNode(index < 0 ? nullptr : list.NodeAt(index)));
}

TSDomAttr TSDomElement::SetAttributeNode(const TSDomAttr& attribute)
{
    TS_ASSERT_MSG(!attribute.IsNull(), "Null node");
    Element()->Attributes().SetNode(attribute.Impl());
    return attribute;
}

TSDomString TSDomElement::GetAttribute(std::u16string_view name) const
{
    const TSDomAttrList& list = Element()->Attributes();
    const std::ptrdiff_t index = list.Find(name);
    return index < 0 ? TSDomString() : list.Slot(index).Value();
}

bool TSDomElement::HasAttribute(std::u16string_view name) const
{
    return Element()->Attributes().Find(name) >= 0;
}

void TSDomElement::SetAttribute(TSDomString name, TSDomString value)
{
    Element()->Attributes().SetValue(std::move(name), std::move(value));
}

void TSDomElement::Normalize()
{
    Element()->Normalize();
}

void TSDomCharacterData::AppendData(std::u16string_view text)
{
    TSDomNodeImpl* body = NonNull();
    TSDomString data = body->GetNodeValue();
    body->SetNodeValue(TSDomString()); // leaves `data` unshared, so it grows in place
    data.Append(text);
    body->SetNodeValue(std::move(data));
}

TSDomText::TSDomText(TSDomString text) : TSDomCharacterData(new TSDomTextImpl(std::move(text))) {}

TSDomText TSDomText::SplitText(std::size_t offset)
{
    const int type = GetNodeType();
    TS_ASSERT_MSG(type == kDomTextNode || type == kDomCDATASectionNode, "Wrong node type");
    return TSDomText(TSDomNode(static_cast<TSDomTextImpl*>(Impl())->SplitText(offset)));
}

TSDomCDATASection::TSDomCDATASection(TSDomString text) : TSDomText(new TSDomCDATASectionImpl(std::move(text)))
{
}

TSDomComment::TSDomComment(TSDomString text) : TSDomCharacterData(new TSDomCommentImpl(std::move(text))) {}

TSDomProcessingInstruction::TSDomProcessingInstruction(TSDomString target, TSDomString data)
    : TSDomNode(new TSDomProcessingInstructionImpl(std::move(target), std::move(data)))
{
}

TSDomDocumentFragment::TSDomDocumentFragment() : TSDomNode(new TSDomDocumentFragmentImpl()) {}

TSDomDocument::TSDomDocument() : TSDomNode(new TSDomDocumentImpl()) {}

TSDomDocument::TSDomDocument(const TSDomElement& root) : TSDomDocument()
{
    TS_ASSERT_MSG(!root.IsNull(), "Null node");
    TSDomNodeImpl* element = root.Impl();
    if (TSDomNodeImpl* parent = element->GetContainer())
        parent->RemoveChild(element);
    Impl()->LinkChild(element);
}

TSDomDocument::TSDomDocument(std::u16string_view rootName)
    : TSDomDocument(TSDomElement(TSDomString(rootName)))
{
}

TSDomElement TSDomDocument::GetDocumentElement() const
{
    const TSDomNodeImpl* body = Impl();
    if (body->IsNull())
        return TSDomElement();
    return TSDomElement(TSDomNode(static_cast<const TSDomDocumentImpl*>(body)->GetDocumentElement()));
}

// ---- node lists

TSDomNodeImpl* TSDomNodeListImpl::At(std::size_t index) const noexcept
{
    const TSDomNodeImpl* owner = m_owner.Impl();
    if (index >= owner->GetChildCount())
        return nullptr;
    TSDomNodeImpl* node = owner->GetFirstChild();
    std::size_t position = 0;
    if (m_cursorNode && m_cursorStamp == owner->GetChildStamp() && m_cursorIndex <= index) {
        node = m_cursorNode;
        position = m_cursorIndex;
    }
    for (; position < index; ++position)
        node = node->GetNextSibling();
    m_cursorNode = node;
    m_cursorIndex = index;
    m_cursorStamp = owner->GetChildStamp();
    return node;
}

TSDomNodeList::TSDomNodeList(const TSDomNode& owner) : TSObjectRef(new TSDomNodeListImpl(owner)) {}

TSDomNode TSDomNodeList::Item(std::size_t index) const
{
    TS_ASSERT(index < GetLength());
    return TSDomNode(Body().At(index));
}

TSDomNode TSDomNodeList::ItemOrNull(std::size_t index) const
{
    return TSDomNode(Body().At(index));
}

// ---- named node maps

TSDomAttrList& TSDomNamedNodeMapImpl::List() noexcept
{
    TSDomNodeImpl* owner = m_owner.Impl();
    if (owner->GetNodeType() == kDomElementNode)
        return static_cast<TSDomElementImpl*>(owner)->Attributes();
    return m_own;
}

TSDomNamedNodeMap::TSDomNamedNodeMap() : TSObjectRef(new TSDomNamedNodeMapImpl()) {}

TSDomNamedNodeMap::TSDomNamedNodeMap(const TSDomElement& element)
    : TSObjectRef(new TSDomNamedNodeMapImpl(element))
{
}

std::size_t TSDomNamedNodeMap::GetLength() const noexcept
{
    return List().Size();
}

TSDomNode TSDomNamedNodeMap::Item(std::size_t index) const
{
    TS_ASSERT(index < GetLength());
    return TSDomNode(List().NodeAt(index));
}

TSDomNode TSDomNamedNodeMap::GetNamedItem(std::u16string_view name) const
{
    TSDomAttrList& list = List();
    const std::ptrdiff_t index = list.Find(name);
    return TSDomNode(index < 0 ? nullptr : list.NodeAt(index));
}

TSDomNode TSDomNamedNodeMap::SetNamedItem(const TSDomNode& node)
{
    TS_ASSERT_MSG(!node.IsNull(), "Null node");
    List().SetNode(node.Impl());
    return node;
}

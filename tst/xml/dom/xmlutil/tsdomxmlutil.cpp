#include "tst/xml/dom/xmlutil/tsdomxmlutil.h"

#include "tst/tsexcep.h"
#include "tst/xml/dom/xmlutil/tsdomxmlexception.h"

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

void CheckArguments(const TSDomNode& node, std::u16string_view name)
{
    TS_ASSERT_MSG(!node.IsNull(), "Null node");
    TS_ASSERT_MSG(!name.empty(), "Empty name");
}

const TSDomNodeImpl* NextElementNamed(const TSDomNodeImpl* node, std::u16string_view name)
{
    for (; node; node = node->GetNextSibling())
        if (node->GetNodeType() == kDomElementNode && node->GetNodeName() == name)
            return node;
    return nullptr;
}

TSDomElement Wrap(const TSDomNodeImpl* node)
{
    return TSDomElement(TSDomNode(const_cast<TSDomNodeImpl*>(node)));
}

} // namespace

TSDomElement FindChildElement(const TSDomNode& parent, std::u16string_view name)
{
    CheckArguments(parent, name);
    return Wrap(NextElementNamed(parent.Impl()->GetFirstChild(), name));
}

TSDomElement GetChildElement(const TSDomNode& parent, std::u16string_view name)
{
    TSDomElement element = FindChildElement(parent, name);
    if (element.IsNull())
        throw TSDomXmlException(TSDomXmlException::kElementNotFound, name, parent);
    return element;
}

TSDomElement FindNextSiblingElement(const TSDomNode& node, std::u16string_view name)
{
    CheckArguments(node, name);
    const TSDomNodeImpl* body = node.Impl();
    return Wrap(body->GetContainer() ? NextElementNamed(body->GetNextSibling(), name) : nullptr);
}

std::vector<TSDomElement> GetChildElements(const TSDomNode& parent, std::u16string_view name)
{
    CheckArguments(parent, name);
    std::vector<TSDomElement> elements;
    for (const TSDomNodeImpl* node = NextElementNamed(parent.Impl()->GetFirstChild(), name); node;
         node = NextElementNamed(node->GetNextSibling(), name))
        elements.push_back(Wrap(node));
    return elements;
}

TSDomString GetElementText(const TSDomElement& element)
{
    TS_ASSERT_MSG(!element.IsNull(), "Null node");
    const_cast<TSDomElement&>(element).Normalize();
    const TSDomNodeImpl* first = element.Impl()->GetFirstChild();
    if (first && first->GetNodeType() == kDomTextNode)
        return first->GetNodeValue();
    return TSDomString();
}

TSDomString GetChildElementText(const TSDomNode& parent, std::u16string_view name, bool required)
{
    const TSDomElement child = required ? GetChildElement(parent, name) : FindChildElement(parent, name);
    return child.IsNull() ? TSDomString() : GetElementText(child);
}

long GetChildElementInteger(const TSDomNode& parent, std::u16string_view name, bool required, int radix)
{
    TS_ASSERT(radix > 0);
    const TSDomString text = GetChildElementText(parent, name, required);
    if (text.IsEmpty()) {
        if (required)
            throw TSDomXmlException(TSDomXmlException::kElementInvalid, name, parent);
        return 0;
    }
    // Characters beyond 8 bits cannot be digits: '?' stops the conversion there.
    std::string narrow;
    narrow.reserve(text.Length());
    for (char16_t c : text.View())
        narrow.push_back(c != 0 && c <= 0xFF ? static_cast<char>(c) : '?');
    char* end = nullptr;
    long value = 0;
    if (radix <= 36 && radix != 1) {
        errno = 0;
        value = std::strtol(narrow.c_str(), &end, radix);
    } else {
        end = narrow.data();
    }
    if (required && end != narrow.data() + narrow.size())
        throw TSDomXmlException(TSDomXmlException::kElementInvalid, name, parent);
    return value;
}

TSDomString GetAttribute(const TSDomElement& element, std::u16string_view name, bool required)
{
    CheckArguments(element, name);
    if (required && !element.HasAttribute(name))
        throw TSDomXmlException(TSDomXmlException::kAttributeNotFound, name, element);
    return element.GetAttribute(name);
}

#pragma once

#include "tst/xml/dom/domnode.h"

#include <string_view>
#include <vector>

// Lookups with which the response readers walk a document. Each rejects a
// null node and an empty name with an assertion internal error; missing or
// invalid content raises TSDomXmlException when it is required.

// The first child element with exactly that name, or the null node.
TSDomElement FindChildElement(const TSDomNode& parent, std::u16string_view name);
// As FindChildElement; a missing element raises "Element not found".
TSDomElement GetChildElement(const TSDomNode& parent, std::u16string_view name);
// The next following sibling element with that name, or the null node.
TSDomElement FindNextSiblingElement(const TSDomNode& node, std::u16string_view name);
// Every child element with that name, in document order.
std::vector<TSDomElement> GetChildElements(const TSDomNode& parent, std::u16string_view name);

// Normalises the element, then the value of its first child when that is
// a text node, else the empty string (CDATA sections and comments do not count).
TSDomString GetElementText(const TSDomElement& element);
// The text of the named child; a missing child raises "Element not found"
// when required and gives the empty string otherwise.
TSDomString GetChildElementText(const TSDomNode& parent, std::u16string_view name, bool required);
// The child's text as a signed integer in `radix` (leading blanks and a sign
// allowed). Required: an empty text or one not read to its end raises
// "Element invalid". Otherwise an empty text gives 0 and reading stops at
// the first character that does not belong.
long GetChildElementInteger(const TSDomNode& parent, std::u16string_view name, bool required, int radix = 10);
// The attribute's value; a missing attribute raises "Attribute not found"
// when required and gives the empty string otherwise.
TSDomString GetAttribute(const TSDomElement& element, std::u16string_view name, bool required);

#pragma once

#include <cstdint>
#include <string>

// Well-formed UTF-8 documents inside the parser's subset: elements,
// attributes in both quote kinds, text with entities and character
// references, CDATA sections, comments, processing instructions outside the
// root, an optional declaration and DOCTYPE, and characters beyond ASCII.
// The same seed gives the same document.
std::string GenerateDocument(std::uint64_t seed);

#include "tst/xml/xmlexcep.h"

#include <cstdio>

TSXmlException::TSXmlException(int code, std::string_view detail)
    : TSRuntimeException(ComposeMessage("TSXmlException", CodeText(code), detail)), m_code(code)
{
}

TSXmlException::~TSXmlException() = default;

const char* TSXmlException::CodeText(int code) noexcept
{
    static const char* const kTexts[] = {
        "Character conversion error", "Invalid entity",   "Missing tag close",     "Unmatched tag close",
        "Mismatched tag close",       "Tag format error", "Missing element start", "Premature EOF",
        "Item not allowed here",      "Limit exceeded",
    };
    if (code < 0 || code >= static_cast<int>(std::size(kTexts)))
        return "Unknown error";
    return kTexts[code];
}

std::string TSXmlException::Position(unsigned line, unsigned column)
{
    char text[48];
    std::snprintf(text, sizeof text, "Line %u Column %u", line, column);
    return text;
}

#include "tst/xml/dom/xmlutil/tsdomxmlexception.h"

#include "tst/xml/dom/domnode.h"
#include "tst/xml/transcode.h"

namespace {

int CheckedCode(int code)
{
    TS_ASSERT(code != 0);
    return code;
}

std::string Within(std::u16string_view name, const TSDomNode& within)
{
    return NarrowForMessage(name) + " within " + NarrowForMessage(within.GetNodeName());
}

} // namespace

TSDomXmlException::TSDomXmlException(int code, std::string_view detail)
    : TSRuntimeException(ComposeMessage("TSDomXmlException", CodeText(CheckedCode(code)), detail)),
      m_code(code)
{
}

TSDomXmlException::TSDomXmlException(int code, std::u16string_view name, const TSDomNode& within)
    : TSDomXmlException(code, Within(name, within))
{
}

TSDomXmlException::~TSDomXmlException() = default;

const char* TSDomXmlException::CodeText(int code) noexcept
{
    switch (code) {
    case kElementNotFound:
        return "Element not found";
    case kElementInvalid:
        return "Element invalid";
    case kAttributeNotFound:
        return "Attribute not found";
    case kAttributeInvalid:
        return "Attribute invalid";
    default:
        return "Unknown error";
    }
}

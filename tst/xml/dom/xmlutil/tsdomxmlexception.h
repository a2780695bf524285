#pragma once

#include "tst/tsexcep.h"

#include <string>
#include <string_view>

class TSDomNode;

// Missing or invalid content found by the DOM utilities:
// "TSDomXmlException: <text>: <name> within <element name>".
class TSDomXmlException : public TSRuntimeException {
public:
    enum Code {
        kElementNotFound = 1,
        kElementInvalid = 2,
        kAttributeNotFound = 3,
        kAttributeInvalid = 4, // reserved; not raised by the utilities
    };

    // A code of 0 is an assertion internal error.
    TSDomXmlException(int code, std::string_view detail);
    // The detail names what was looked for and the element searched.
    TSDomXmlException(int code, std::u16string_view name, const TSDomNode& within);
    ~TSDomXmlException() override;

    int GetCode() const noexcept { return m_code; }
    static const char* CodeText(int code) noexcept;

private:
    int m_code;
};

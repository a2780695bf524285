#pragma once

#include "tst/tsexcep.h"

#include <string>
#include <string_view>

// A malformed document or text: "TSXmlException: <text>[: <detail>]".
class TSXmlException : public TSRuntimeException {
public:
    enum Code {
        kConversionError = 0,
        kInvalidEntity = 1, // a reference to an entity that is not defined
        kMissingTagClose = 2,
        kUnmatchedTagClose = 3,
        kMismatchedTagClose = 4,
        kTagFormatError = 5,
        kMissingElementStart = 6,
        kPrematureEof = 7,
        kItemNotAllowed = 8,
        kLimitExceeded = 9, // more attributes or deeper nesting than the parser allows
    };

    explicit TSXmlException(int code, std::string_view detail = {});
    ~TSXmlException() override;

    int GetCode() const noexcept { return m_code; }

    // The text of a code ("Premature EOF"); "Unknown error" for others.
    static const char* CodeText(int code) noexcept;
    // "Line <line> Column <column>".
    static std::string Position(unsigned line, unsigned column);

private:
    int m_code;
};

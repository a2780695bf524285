#pragma once

#include "tst/tsexcep.h"

#include <cstdint>
#include <string_view>

// Malformed HTTP text, a misused transaction client or a thread that would
// not start.
class TSHttpException : public TSRuntimeException {
public:
    enum Code : int32_t {
        kInvalidUrl = 0,
        kInvalidVerb = 1,
        kInvalidVersion = 2,
        kInvalidStatus = 3,
        kInvalidFormat = 4,
        kInvalidRequest = 5,
        kInvalidResponse = 6,
        kInvalidCookie = 7,
        kInvalidHeader = 8,
        kInvalidDate = 9,
        kInvalidAddress = 10,
        kInvalidState = 11,
        kThreadError = 12,
    };

    explicit TSHttpException(int32_t code, std::string_view detail = {});
    ~TSHttpException() override;

    int32_t GetCode() const { return m_code; }
    static const char* CodeText(int32_t code);

private:
    int32_t m_code;
};

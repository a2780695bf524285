#pragma once

#include "tst/tsexcep.h"

#include <cstdint>
#include <string>

// Errors of the scanner framework itself: "VTBarcodeScannerException: text[: detail]".
class VTBarcodeScannerException : public TSRuntimeException {
public:
    static constexpr int32_t kStateError = 0;
    static constexpr int32_t kNotSupported = 1;
    static constexpr int32_t kThreadError = 2;

    // A code outside the table above is a programming error.
    explicit VTBarcodeScannerException(int32_t code, const std::string& detail = {});
    ~VTBarcodeScannerException() override;

    int32_t GetCode() const { return m_code; }
    static const char* CodeText(int32_t code);

private:
    int32_t m_code;
};

#pragma once

#include "tst/tsexcep.h"

#include <string_view>

// The toolkit's error for invalid use and invalid data. Its message is
// "VTToolkitException: <text of the code>" plus ": <detail>" when there is one.
class VTToolkitException : public TSRuntimeException {
public:
    static constexpr int kInvalidState = 0;
    static constexpr int kInvalidCode = 1;
    static constexpr int kInvalidCharacter = 2;
    static constexpr int kInvalidUserId = 3;
    static constexpr int kInvalidAuthentication = 4;
    static constexpr int kNotSupported = 5;

    // A code outside the table above raises an internal error.
    explicit VTToolkitException(int code, std::string_view detail = {});
    ~VTToolkitException() override;

    int GetCode() const { return m_code; }

    static const char* TextOf(int code);

private:
    int m_code;
};

// A null or empty detail means none.
[[noreturn]] void RaiseInvalidState(const char* detail = nullptr);
[[noreturn]] void RaiseInvalidCode(const char* detail = nullptr);
[[noreturn]] void RaiseInvalidUserId(const char* detail = nullptr);

#pragma once

#include "tst/tsexcep.h"

#include <cstdint>
#include <string_view>

// Misuse of a client socket. Blocking operations report their outcome as a
// result code; only a bad address or a call on a closed socket throws.
class TSSocketException : public TSRuntimeException {
public:
    enum Code : int32_t {
        kInvalidAddress = 0,
        kNotConnected = 1,
        kSocketError = 2,
        // The text is the socket library's own message, given as `detail`.
        kLibraryMessage = 3,
    };

    explicit TSSocketException(int32_t code, std::string_view detail = {});
    ~TSSocketException() override;

    int32_t GetCode() const { return m_code; }
    // The text of a code; the library-message code has none of its own.
    static const char* CodeText(int32_t code);

private:
    int32_t m_code;
};

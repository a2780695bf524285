#include "tst/http/htexcep.h"

#include <array>

namespace {

constexpr std::array<const char*, 13> kCodeTexts = {
    "Invalid URL",     "Invalid verb",     "Invalid version", "Invalid status", "Invalid format",
    "Invalid request", "Invalid response", "Invalid cookie",  "Invalid header", "Invalid date",
    "Invalid address", "Invalid state",    "Thread error",
};

} // namespace

TSHttpException::TSHttpException(int32_t code, std::string_view detail)
    : TSRuntimeException(ComposeMessage("TSHttpException", CodeText(code), detail)), m_code(code)
{
}

TSHttpException::~TSHttpException() = default;

const char* TSHttpException::CodeText(int32_t code)
{
    if (code < 0 || static_cast<std::size_t>(code) >= kCodeTexts.size())
        return "Unknown error";
    return kCodeTexts[static_cast<std::size_t>(code)];
}

#include "vtkit/vtexcep.h"

#include <array>

namespace {

constexpr std::array<const char*, 6> kCodeTexts = {
    "Invalid state", "Invalid code", "Invalid character", "Invalid user id", "Invalid authentication string",
    "Not supported",
};

std::string_view DetailOf(const char* detail)
{
    return detail ? std::string_view(detail) : std::string_view();
}

} // namespace

const char* VTToolkitException::TextOf(int code)
{
    if (code < 0 || code >= static_cast<int>(kCodeTexts.size()))
        TS_INTERNAL_ERROR("unknown toolkit error code");
    return kCodeTexts[static_cast<std::size_t>(code)];
}

VTToolkitException::VTToolkitException(int code, std::string_view detail)
    : TSRuntimeException(ComposeMessage("VTToolkitException", TextOf(code), detail)), m_code(code)
{
}

VTToolkitException::~VTToolkitException() = default;

void RaiseInvalidState(const char* detail)
{
    throw VTToolkitException(VTToolkitException::kInvalidState, DetailOf(detail));
}

void RaiseInvalidCode(const char* detail)
{
    throw VTToolkitException(VTToolkitException::kInvalidCode, DetailOf(detail));
}

void RaiseInvalidUserId(const char* detail)
{
    throw VTToolkitException(VTToolkitException::kInvalidUserId, DetailOf(detail));
}

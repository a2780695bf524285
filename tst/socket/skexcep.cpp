#include "tst/socket/skexcep.h"

namespace {

std::string Compose(int32_t code, std::string_view detail)
{
    if (code == TSSocketException::kLibraryMessage)
        return TSRuntimeException::ComposeMessage("TSSocketException", detail);
    return TSRuntimeException::ComposeMessage("TSSocketException", TSSocketException::CodeText(code), detail);
}

} // namespace

TSSocketException::TSSocketException(int32_t code, std::string_view detail)
    : TSRuntimeException(Compose(code, detail)), m_code(code)
{
}

TSSocketException::~TSSocketException() = default;

const char* TSSocketException::CodeText(int32_t code)
{
    switch (code) {
    case kInvalidAddress:
        return "Invalid address";
    case kNotConnected:
        return "Not open or connected";
    case kSocketError:
        return "Socket error code";
    default:
        return "";
    }
}

#include "vtkit/scanner/scexcep.h"

namespace {

constexpr const char* kTexts[] = {"State Error", "Not Supported", "Thread Error"};
constexpr int32_t kTextCount = sizeof kTexts / sizeof kTexts[0];

} // namespace

VTBarcodeScannerException::VTBarcodeScannerException(int32_t code, const std::string& detail) : m_code(code)
{
    SetMessage(ComposeMessage("VTBarcodeScannerException", CodeText(code), detail));
}

VTBarcodeScannerException::~VTBarcodeScannerException() = default;

const char* VTBarcodeScannerException::CodeText(int32_t code)
{
    TS_ASSERT(code >= 0 && code < kTextCount);
    return kTexts[code];
}

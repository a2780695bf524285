#include "vtkit/scanner/srexcep.h"

namespace {

constexpr const char* kTexts[] = {"Port Not Open", "OS Error Code", "Invalid config", "Invalid port",
                                  "Port In Use",   "Timeout error", "Receive error"};
constexpr int32_t kTextCount = sizeof kTexts / sizeof kTexts[0];

} // namespace

VTSerialPortException::VTSerialPortException(int32_t code, const std::string& detail) : m_code(code)
{
    SetMessage(ComposeMessage("VTSerialPortException", CodeText(code), detail));
}

VTSerialPortException::~VTSerialPortException() = default;

const char* VTSerialPortException::CodeText(int32_t code)
{
    TS_ASSERT(code >= 0 && code < kTextCount);
    return kTexts[code];
}

VTSerialPortInvalidException::VTSerialPortInvalidException(const std::string& detail)
    : VTSerialPortException(kInvalidPort, detail)
{
}

VTSerialPortInvalidException::~VTSerialPortInvalidException() = default;

VTSerialPortInUseException::VTSerialPortInUseException(const std::string& detail)
    : VTSerialPortException(kPortInUse, detail)
{
}

VTSerialPortInUseException::~VTSerialPortInUseException() = default;

VTSerialPortReceiveError::VTSerialPortReceiveError(const std::string& detail)
    : VTSerialPortException(kReceiveError, detail)
{
}

VTSerialPortReceiveError::~VTSerialPortReceiveError() = default;

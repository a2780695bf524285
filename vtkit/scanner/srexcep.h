#pragma once

#include "tst/tsexcep.h"

#include <cstdint>
#include <string>

// Errors of the serial port: "VTSerialPortException: text[: detail]". The
// subclasses fix the code so callers can catch the cases they handle.
class VTSerialPortException : public TSRuntimeException {
public:
    static constexpr int32_t kPortNotOpen = 0;
    static constexpr int32_t kOsError = 1;
    static constexpr int32_t kInvalidConfig = 2;
    static constexpr int32_t kInvalidPort = 3;
    static constexpr int32_t kPortInUse = 4;
    static constexpr int32_t kTimeout = 5;
    static constexpr int32_t kReceiveError = 6;

    // A code outside the table above is a programming error.
    explicit VTSerialPortException(int32_t code, const std::string& detail = {});
    ~VTSerialPortException() override;

    int32_t GetCode() const { return m_code; }
    static const char* CodeText(int32_t code);

private:
    int32_t m_code;
};

// The port does not exist; the detail is the port name.
class VTSerialPortInvalidException : public VTSerialPortException {
public:
    explicit VTSerialPortInvalidException(const std::string& detail = {});
    ~VTSerialPortInvalidException() override;
};

// Another program holds the port; the detail is the port name.
class VTSerialPortInUseException : public VTSerialPortException {
public:
    explicit VTSerialPortInUseException(const std::string& detail = {});
    ~VTSerialPortInUseException() override;
};

// A transfer was aborted after a line error; drivers drain, clear the
// errors and carry on.
class VTSerialPortReceiveError : public VTSerialPortException {
public:
    explicit VTSerialPortReceiveError(const std::string& detail = {});
    ~VTSerialPortReceiveError() override;
};

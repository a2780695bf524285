#pragma once

#include "vtkit/scanner/srsystem.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The line settings of a serial port.
struct VTSerialPortConfig {
    static constexpr int32_t kParityEven = 0;
    static constexpr int32_t kParityOdd = 1;
    static constexpr int32_t kParityNone = 2;
    static constexpr int32_t kOneStopBit = 0;
    static constexpr int32_t kTwoStopBits = 1;

    std::string portName; // "COM" and one digit, or a device path such as /dev/ttyUSB0
    uint32_t baudRate = 9600;
    int32_t parity = kParityNone;
    uint32_t dataBits = 8;
    int32_t stopBits = kOneStopBit;
    int32_t dtrOn = 1;
    int32_t rtsOn = 1;
    // After a line error, reads and writes fail until the errors are cleared.
    int32_t abortOnError = 1;

    // Checks the port name, baud rate and data bits. Parity and stop bits
    // outside their tables are programming errors caught when opening.
    bool IsValid() const;
    // "COM0" to "COM9".
    bool IsComName() const;

    bool operator==(const VTSerialPortConfig&) const = default;
};

// One open serial port with the few timed operations the drivers need.
// "COMn" is the device that $XDG_CONFIG_HOME/lumora/dosdevices/comn links
// to, else /dev/ttyS(n-1); a device path is that device. The port is held
// exclusively while open. Used by one thread at a time.
class VTSerialPort {
public:
    explicit VTSerialPort(VTSerialSystem& system = VTSerialSystem::Real());
    VTSerialPort(const VTSerialPort&) = delete;
    VTSerialPort& operator=(const VTSerialPort&) = delete;
    ~VTSerialPort();

    // Closes any open port first. Throws VTSerialPortException: "Invalid
    // config", "Invalid port", "Port In Use", "OS Error Code".
    void Open(const VTSerialPortConfig& config);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Throws "Timeout error" when the bytes are not all written in time; the
    // time-out is at least 50 ms.
    void Write(const void* bytes, std::size_t count, uint32_t timeoutMs);
    void Write(std::string_view bytes, uint32_t timeoutMs) { Write(bytes.data(), bytes.size(), timeoutMs); }
    // Reads until `count` bytes came or the time ran out. True when at least
    // one byte came: a short answer is not an error, callers that need an
    // exact length check it.
    bool Read(std::string& out, std::size_t count, uint32_t timeoutMs);
    // Discards whatever arrives for the given time.
    void Drain(uint32_t durationMs);
    // Ends a break and clears the line errors; nothing when closed.
    void ClearErrors();

    // Modem lines. A device without them (a pseudo-terminal, some adapters)
    // ignores the requests and reads CTS as off.
    void SetDTR(bool on);
    void SetRTS(bool on);
    void SetBreak(bool on);
    bool IsCTSOn();

    // Milliseconds to transfer two characters at the settings of the last open.
    uint32_t GetTwoCharTime() const { return m_twoCharTime; }
    const std::string& GetPortName() const { return m_portName; }

    // The device path of a "COMn" name (a device path stays as it is); empty
    // when there is none.
    static std::string ResolvePortName(const std::string& portName);
    static uint32_t TwoCharTime(uint32_t dataBits, uint32_t baudRate);

private:
    using Clock = std::chrono::steady_clock;

    // Line error counters of the driver, where it keeps them.
    struct LineErrorCounts {
        int frame = 0, parity = 0, overrun = 0, bufferOverrun = 0, breaks = 0;
        bool operator==(const LineErrorCounts&) const = default;
    };

    void Configure(const VTSerialPortConfig& config);
    void ApplyLineSettings(const VTSerialPortConfig& config);
    bool KeptAllButFraming(int result, const termios& wanted);
    void RequireOpen() const;
    // False when the deadline passed first.
    bool WaitFor(short events, Clock::time_point deadline, short& revents);
    void SetModemLine(int line, bool on);
    bool ReadLineErrorCounts(LineErrorCounts& counts);
    void CheckLineErrors();
    [[noreturn]] void RaiseError(int error) const;
    [[noreturn]] void RaiseTransferError(int error);

    VTSerialSystem* m_system;
    uint32_t m_twoCharTime = 2;
    int m_fd = -1;
    std::string m_portName;
    bool m_abortOnError = true;
    bool m_lineError = false;
    bool m_countsKnown = false;
    LineErrorCounts m_counts;
};

#include "tests/scanner/serialprobe.h"
#include "tests/support/dosdevices.h"
#include "tests/support/portholder.h"
#include "tests/support/ptydevice.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"
#include "vtkit/scanner/srexcep.h"
#include "vtkit/scanner/srport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <termios.h>

namespace {

using Ms = std::chrono::milliseconds;

VTSerialPortConfig Config(const std::string& port = "COM1")
{
    VTSerialPortConfig config;
    config.portName = port;
    return config;
}

// Runs `operation` and returns the message of the VTSerialPortException it
// throws, or "no error".
template <class Operation> std::string PortError(Operation&& operation, int* code = nullptr)
{
    try {
        operation();
    } catch (const VTSerialPortException& error) {
        if (code)
            *code = error.GetCode();
        return error.GetMessage();
    }
    return "no error";
}

// A pty device behind "COM1" of a temporary configuration.
class SerialPortTest : public ::testing::Test {
protected:
    SerialPortTest() { m_dosDevices.Link(1, m_device.SlavePath()); }

    DosDevices m_dosDevices;
    PtyDevice m_device;
};

TEST(VTSerialPortConfig, Validity)
{
    struct Case {
        const char* port;
        uint32_t baud;
        uint32_t dataBits;
        bool valid;
    } const cases[] = {
        {"COM1", 9600, 8, true},
        {"COM0", 9600, 8, true},
        {"COM9", 115200, 5, true},
        {"COM1", 2400, 7, true},
        {"COM1", 110, 8, true},
        {"COM10", 9600, 8, false},
        {"com1", 9600, 8, false},
        {"LPT1", 9600, 8, false},
        {"COMX", 9600, 8, false},
        {"", 9600, 8, false},
        {"COM1", 14400, 8, false},
        {"COM1", 0, 8, false},
        {"COM1", 9600, 4, false},
        {"COM1", 9600, 9, false},
        // A device path names the port itself.
        {"/dev/ttyUSB0", 9600, 8, true},
        {"dev/ttyUSB0", 9600, 8, false},
        {"/dev/ttyUSB0", 14400, 8, false},
    };
    for (const auto& c : cases) {
        VTSerialPortConfig config = Config(c.port);
        config.baudRate = c.baud;
        config.dataBits = c.dataBits;
        EXPECT_EQ(config.IsValid(), c.valid) << c.port << ' ' << c.baud << ' ' << c.dataBits;
    }
    // The defaults the drivers start from.
    const VTSerialPortConfig defaults;
    EXPECT_EQ(defaults.baudRate, 9600u);
    EXPECT_EQ(defaults.parity, VTSerialPortConfig::kParityNone);
    EXPECT_EQ(defaults.dataBits, 8u);
    EXPECT_EQ(defaults.stopBits, VTSerialPortConfig::kOneStopBit);
    EXPECT_TRUE(defaults.dtrOn && defaults.rtsOn && defaults.abortOnError);
}

TEST(VTSerialPort, TwoCharacterTime)
{
    EXPECT_EQ(VTSerialPort().GetTwoCharTime(), 2u);
    const struct {
        uint32_t dataBits, baud, expected;
    } cases[] = {{8, 9600, 2}, {8, 2400, 8}, {8, 115200, 1}, {7, 110, 163}, {5, 300, 46}};
    for (const auto& c : cases)
        EXPECT_EQ(VTSerialPort::TwoCharTime(c.dataBits, c.baud), c.expected) << c.baud;
}

TEST(VTSerialPort, ComNamesResolveThroughDosDevicesElseTtyS)
{
    DosDevices dosDevices;
    dosDevices.Link(3, "/dev/ttyUSB0");
    dosDevices.LinkMissing(4);
    const auto linkDir = dosDevices.ConfigHome() / "lumora/dosdevices";
    EXPECT_EQ(VTSerialPort::ResolvePortName("COM3"), (linkDir / "com3").string());
    // A dangling link still names the port; opening reports it missing.
    EXPECT_EQ(VTSerialPort::ResolvePortName("COM4"), (linkDir / "com4").string());
    EXPECT_EQ(VTSerialPort::ResolvePortName("COM1"), "/dev/ttyS0");
    EXPECT_EQ(VTSerialPort::ResolvePortName("COM9"), "/dev/ttyS8");
    EXPECT_EQ(VTSerialPort::ResolvePortName("COM0"), "");
    EXPECT_EQ(VTSerialPort::ResolvePortName("COM10"), "");
    EXPECT_EQ(VTSerialPort::ResolvePortName("/dev/ttyUSB0"), "/dev/ttyUSB0");

    // Without XDG_CONFIG_HOME (or with a relative one) the folder is ~/.config.
    TempDir home;
    std::filesystem::create_directories(home / ".config/lumora/dosdevices");
    std::filesystem::create_symlink("/dev/ttyACM0", home / ".config/lumora/dosdevices/com2");
    ScopedEnv homeEnv("HOME", home.Path().c_str());
    for (const char* xdg : {static_cast<const char*>(nullptr), "relative/config"}) {
        ScopedEnv xdgEnv("XDG_CONFIG_HOME", xdg);
        EXPECT_EQ(VTSerialPort::ResolvePortName("COM2"), (home / ".config/lumora/dosdevices/com2").string());
    }
}

// The pty keeps the speed, stop bits and modes; data bits and parity, which
// it forces to 8 and none, are read from the OS-call probe.
TEST_F(SerialPortTest, OpenAppliesTheLineSettings)
{
    const struct {
        uint32_t baud;
        uint32_t dataBits;
        int32_t parity;
        int32_t stopBits;
        speed_t speed;
        tcflag_t size;
        uint32_t twoCharTime;
    } cases[] = {
        {9600, 8, VTSerialPortConfig::kParityNone, 0, B9600, CS8, 2},
        {2400, 7, VTSerialPortConfig::kParityEven, 1, B2400, CS7, 7},
        {19200, 5, VTSerialPortConfig::kParityOdd, 1, B19200, CS5, 1},
        // Again: a pty keeps neither parity nor 5 data bits, so nothing it
        // holds changes now.
        {19200, 5, VTSerialPortConfig::kParityOdd, 1, B19200, CS5, 1},
    };
    SerialProbe probe;
    VTSerialPort port(probe);
    for (const auto& c : cases) {
        VTSerialPortConfig config = Config();
        config.baudRate = c.baud;
        config.dataBits = c.dataBits;
        config.parity = c.parity;
        config.stopBits = c.stopBits;
        port.Open(config);
        ASSERT_TRUE(port.IsOpen());
        const termios line = m_device.LineSettings();
        const termios asked = probe.LastSettings();
        SCOPED_TRACE(c.baud);
        EXPECT_EQ(cfgetispeed(&line), c.speed);
        EXPECT_EQ(cfgetospeed(&line), c.speed);
        EXPECT_EQ(asked.c_cflag & CSIZE, c.size);
        EXPECT_EQ((asked.c_cflag & PARENB) != 0, c.parity != VTSerialPortConfig::kParityNone);
        EXPECT_EQ((asked.c_iflag & INPCK) != 0, c.parity != VTSerialPortConfig::kParityNone);
        EXPECT_EQ((asked.c_cflag & PARODD) != 0, c.parity == VTSerialPortConfig::kParityOdd);
        EXPECT_EQ((line.c_cflag & CSTOPB) != 0, c.stopBits == 1);
        // Binary transfer, no flow control, modem status ignored.
        EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
        EXPECT_EQ(line.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | PARMRK), 0u);
        EXPECT_EQ(line.c_oflag & OPOST, 0u);
        EXPECT_EQ(line.c_cflag & CRTSCTS, 0u);
        EXPECT_NE(line.c_cflag & CLOCAL, 0u);
        EXPECT_EQ(port.GetTwoCharTime(), c.twoCharTime);
    }
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(m_device.IsOpenByDriver());
}

TEST_F(SerialPortTest, OpenFailuresNameTheirCause)
{
    m_dosDevices.LinkMissing(9);
    TempDir files;
    m_dosDevices.Link(5, files.WriteFile("plain", "").string());
    VTSerialPort port;
    const struct {
        std::string port;
        std::string message;
    } cases[] = {
        {"COM9", "VTSerialPortException: Invalid port: COM9"},
        {"COM0", "VTSerialPortException: Invalid port: COM0"},
        {"COM5", "VTSerialPortException: OS Error Code: " + std::to_string(ENOTTY)},
        {"COM10", "VTSerialPortException: Invalid config"},
        {"com1", "VTSerialPortException: Invalid config"},
        {"/dev/no-such-lumora-port", "VTSerialPortException: Invalid port: /dev/no-such-lumora-port"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortError([&] { port.Open(Config(c.port)); }), c.message);
        EXPECT_FALSE(port.IsOpen());
    }
    VTSerialPortConfig config = Config();
    config.parity = 3;
    EXPECT_THROW(port.Open(config), TSInternalError);
    config = Config();
    config.stopBits = 2;
    EXPECT_THROW(port.Open(config), TSInternalError);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPortTest, PortIsHeldExclusively)
{
    int code = -1;
    {
        PortHolder otherProgram(m_device.SlavePath());
        VTSerialPort port;
        EXPECT_EQ(PortError([&] { port.Open(Config()); }, &code), "VTSerialPortException: Port In Use: COM1");
        EXPECT_EQ(code, VTSerialPortException::kPortInUse);
    }
    VTSerialPort first, second;
    first.Open(Config());
    EXPECT_TRUE(m_device.IsOpenByDriver());
    EXPECT_EQ(PortError([&] { second.Open(Config()); }), "VTSerialPortException: Port In Use: COM1");
    first.Close();
    EXPECT_FALSE(m_device.IsOpenByDriver());
    second.Open(Config());
    EXPECT_TRUE(second.IsOpen());
}

TEST_F(SerialPortTest, ReadReturnsWhatCameInTime)
{
    VTSerialPort port;
    port.Open(Config());
    std::string out = "stale";
    EXPECT_FALSE(port.Read(out, 22, 50));
    EXPECT_EQ(out, "");

    m_device.Send("12345");
    EXPECT_TRUE(port.Read(out, 22, 200));
    EXPECT_EQ(out, "12345");

    // A read ends as soon as it has its count.
    m_device.Send("abcdefghij");
    EXPECT_TRUE(port.Read(out, 4, 10000));
    EXPECT_EQ(out, "abcd");
    EXPECT_TRUE(port.Read(out, 6, 10000));
    EXPECT_EQ(out, "efghij");

    // Null bytes and line ends pass unchanged.
    m_device.Send(std::string("\0\r\n\xff\x11\x13", 6));
    EXPECT_TRUE(port.Read(out, 6, 10000));
    EXPECT_EQ(out, std::string("\0\r\n\xff\x11\x13", 6));
}

TEST_F(SerialPortTest, WriteReachesTheDeviceOrTimesOut)
{
    VTSerialPort port;
    port.Open(Config());
    port.Write("\x01\x02hello", 50);
    EXPECT_TRUE(m_device.Expect("\x01\x02hello"));

    // The device reads nothing: the line fills up.
    const std::string big(1 << 20, 'x');
    int code = -1;
    EXPECT_EQ(PortError([&] { port.Write(big, 100); }, &code), "VTSerialPortException: Timeout error");
    EXPECT_EQ(code, VTSerialPortException::kTimeout);
}

// Uses the OS-call probe to see how long the port waits.
TEST_F(SerialPortTest, WriteWaitsAtLeast50Ms)
{
    SerialProbe probe;
    VTSerialPort port(probe);
    port.Open(Config());
    EXPECT_THROW(port.Write(std::string(1 << 20, 'x'), 10), VTSerialPortException);
    const auto waits = probe.WriteWaits();
    ASSERT_FALSE(waits.empty());
    EXPECT_GT(waits.front(), 10);
    EXPECT_LE(waits.front(), 50);
}

TEST_F(SerialPortTest, ClosedPortOperations)
{
    VTSerialPort port;
    std::string out;
    int code = -1;
    EXPECT_EQ(PortError([&] { port.Read(out, 1, 10); }, &code), "VTSerialPortException: Port Not Open");
    EXPECT_EQ(code, VTSerialPortException::kPortNotOpen);
    EXPECT_EQ(PortError([&] { port.Write("x", 10); }), "VTSerialPortException: Port Not Open");
    EXPECT_EQ(PortError([&] { port.Write("", 10); }), "no error");
    EXPECT_EQ(PortError([&] { port.ClearErrors(); }), "no error");
    EXPECT_EQ(PortError([&] { port.Drain(10); }), "no error");
    EXPECT_FALSE(port.IsCTSOn());
    EXPECT_THROW(port.SetDTR(true), TSInternalError);
    EXPECT_THROW(port.SetRTS(true), TSInternalError);
    EXPECT_THROW(port.SetBreak(true), TSInternalError);
    EXPECT_THROW(port.Write(nullptr, 1, 10), TSInternalError);
}

// A pseudo-terminal has no modem lines: requests are ignored, CTS is off.
TEST_F(SerialPortTest, DeviceWithoutModemLines)
{
    VTSerialPort port;
    port.Open(Config());
    EXPECT_NO_THROW({
        port.SetDTR(false);
        port.SetRTS(true);
        port.SetBreak(true);
        port.SetBreak(false);
        port.ClearErrors();
    });
    EXPECT_FALSE(port.IsCTSOn());
}

// Uses the OS-call probe: a pty carries no modem lines or break.
TEST_F(SerialPortTest, ModemLinesFollowTheSettingsAndRequests)
{
    SerialProbe probe;
    VTSerialPort port(probe);
    VTSerialPortConfig config = Config();
    config.dtrOn = 0;
    port.Open(config);
    EXPECT_EQ(probe.LineChanges(), (std::vector<std::string>{"DTR off", "RTS on"}));

    port.SetDTR(true);
    port.SetRTS(false);
    port.SetBreak(true);
    EXPECT_TRUE(probe.IsBreakOn());
    port.ClearErrors();
    EXPECT_FALSE(probe.IsBreakOn());
    EXPECT_EQ(probe.LineChanges(),
              (std::vector<std::string>{"DTR off", "RTS on", "DTR on", "RTS off", "break on", "break off"}));

    EXPECT_FALSE(port.IsCTSOn());
    probe.SetCTS(true);
    EXPECT_TRUE(port.IsCTSOn());
}

// Uses the OS-call probe to raise line errors, which a pty cannot carry.
TEST_F(SerialPortTest, LineErrorAbortsTransfersUntilCleared)
{
    SerialProbe probe;
    VTSerialPort port(probe);
    port.Open(Config());
    std::string out;
    int code = -1;

    probe.InjectLineError();
    m_device.Send("ok");
    EXPECT_EQ(PortError([&] { port.Read(out, 2, 1000); }, &code), "VTSerialPortException: Receive error");
    EXPECT_EQ(code, VTSerialPortException::kReceiveError);
    // Every transfer fails until the errors are cleared.
    EXPECT_EQ(PortError([&] { port.Read(out, 2, 10); }), "VTSerialPortException: Receive error");
    EXPECT_EQ(PortError([&] { port.Write("x", 10); }), "VTSerialPortException: Receive error");
    port.ClearErrors();
    port.Write("x", 10);
    EXPECT_TRUE(m_device.Expect("x"));

    // The system's own transfer failures.
    probe.FailNextRead(EIO);
    EXPECT_EQ(PortError([&] { port.Read(out, 2, 1000); }), "VTSerialPortException: Receive error");
    probe.FailNextWrite(EPERM);
    EXPECT_EQ(PortError([&] { port.Write("x", 10); }),
              "VTSerialPortException: OS Error Code: " + std::to_string(EPERM));

    // Without abort on error the line error passes unnoticed.
    VTSerialPortConfig config = Config();
    config.abortOnError = 0;
    port.Open(config);
    probe.InjectLineError();
    m_device.Send("ok");
    EXPECT_TRUE(port.Read(out, 2, 10000));
    EXPECT_EQ(out, "ok");
}

TEST_F(SerialPortTest, DrainDiscardsWhatArrives)
{
    VTSerialPort port;
    port.Open(Config());
    m_device.Send("noise after a line error");
    port.Drain(100);
    m_device.Send("code");
    std::string out;
    EXPECT_TRUE(port.Read(out, 10, 200));
    EXPECT_EQ(out, "code");
}

// A device that goes away (a pulled adapter, here the pty's other side) is
// reported as a missing port, not as a line error to drain and retry.
TEST_F(SerialPortTest, HangUpIsAMissingPort)
{
    VTSerialPort port;
    port.Open(Config());
    m_device.HangUp();
    std::string out;
    EXPECT_EQ(PortError([&] { port.Read(out, 1, 1000); }), "VTSerialPortException: Invalid port: COM1");
    EXPECT_EQ(PortError([&] { port.Write("x", 100); }), "VTSerialPortException: Invalid port: COM1");
}

} // namespace

#include "tests/cli/cliprocess.h"
#include "tests/support/cs1504sim.h"
#include "tests/support/dosdevices.h"
#include "tests/support/infopensim.h"
#include "tests/support/pennysim.h"
#include "tests/support/ptydevice.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using Ms = CliProcess::Ms;

// A scanning device on the pty behind "COM1" of a temporary configuration.
class CliScanTest : public ::testing::Test {
protected:
    CliScanTest() { m_dosDevices.Link(1, m_device.SlavePath()); }

    // The device sends `bursts` once the CLI has opened the port.
    void PlayWhenOpened(std::string burst)
    {
        m_device.Play([burst = std::move(burst)](PtyDevice& device) {
            if (device.WaitForOpen())
                device.Send(burst);
            else
                device.AddFailure("the port was never opened");
        });
    }

    DosDevices m_dosDevices;
    PtyDevice m_device;
};

TEST_F(CliScanTest, WandCodesArePrintedOnce)
{
    PlayWhenOpened("c012345678905\r\nd5901234123457\r\n");
    CliProcess cli({"scan", "--scanner", "6", "--port", "COM1", "--once"});
    EXPECT_EQ(cli.Wait(), 0) << cli.Stderr();
    EXPECT_EQ(cli.Stdout(), "TYPE  TEXT\n"
                            "2     012345678905\n"
                            "4     5901234123457\n");
    EXPECT_EQ(cli.Stderr(), "");
    EXPECT_FALSE(m_device.IsOpenByDriver());
    m_device.StopPlaying();
    EXPECT_TRUE(m_device.Failures().empty());
}

TEST_F(CliScanTest, JsonLinesPerScan)
{
    PlayWhenOpened("]E05901234123457\r\n]C0V12\r\n");
    CliProcess cli({"scan", "--json", "--scanner", "1", "--port", "COM1", "--once"});
    EXPECT_EQ(cli.Wait(), 0) << cli.Stderr();
    EXPECT_EQ(cli.Stdout(), "{\"type\":4,\"text\":\"5901234123457\"}\n"
                            "{\"type\":1,\"text\":\"V12\"}\n");
}

// Scans print as they arrive; Ctrl-C stops the scanner and frees the port.
TEST_F(CliScanTest, CtrlCStopsCleanly)
{
    PlayWhenOpened("first\r\n");
    CliProcess cli({"scan", "--scanner", "2", "--port", "COM1", "--json"});
    ASSERT_TRUE(cli.WaitForLines(1));
    EXPECT_EQ(cli.Stdout(), "{\"type\":0,\"text\":\"first\"}\n");
    m_device.StopPlaying();
    m_device.Send("second\r\n");
    ASSERT_TRUE(cli.WaitForLines(2));
    cli.Interrupt();
    EXPECT_EQ(cli.Wait(), 0) << cli.Stderr();
    EXPECT_EQ(cli.Stdout(), "{\"type\":0,\"text\":\"first\"}\n{\"type\":0,\"text\":\"second\"}\n");
    EXPECT_FALSE(m_device.IsOpenByDriver());
}

// A silent device: the time is up. Waiting for one code that never came fails.
TEST_F(CliScanTest, TimeoutEndsASilentScan)
{
    const struct {
        std::vector<std::string> flags;
        int status;
        std::string error;
    } cases[] = {
        {{}, 0, ""},
        {{"--once"}, 1, "lumora-cli: no code came within 1 s\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"scan", "--scanner", "6", "--port", "COM1", "--timeout", "1"};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        CliProcess cli(args);
        EXPECT_EQ(cli.Wait(), c.status) << cli.Stderr();
        EXPECT_EQ(cli.Stdout(), "");
        EXPECT_EQ(cli.Stderr(), c.error);
        EXPECT_FALSE(m_device.IsOpenByDriver());
    }
}

// The port is a COMn name or the device itself; on a terminal the scan says
// where it listens and how to stop it.
TEST_F(CliScanTest, PortNameOrDevicePathAndWhereItListens)
{
    const std::string device = m_device.SlavePath();
    const struct {
        std::string port;
        std::string told;
    } cases[] = {
        {"COM1", "lumora-cli: listening on COM1, the device " + device + " (Ctrl-C stops)"},
        {device, "lumora-cli: listening on " + device + " (Ctrl-C stops)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        CliProcess cli({"scan", "--scanner", "6", "--port", c.port, "--once", "--json"}, true);
        EXPECT_TRUE(cli.WaitForError(c.told)) << cli.Stderr();
        m_device.Send("c012345678905\r\n");
        EXPECT_EQ(cli.Wait(), 0) << cli.Stderr();
        EXPECT_EQ(cli.Stdout(), "{\"type\":2,\"text\":\"012345678905\"}\n");
        ASSERT_TRUE(m_device.WaitForClose());
    }
}

// What a device sends cannot steer the terminal: control characters show
// as escapes, an empty scan as "-" (and as an empty cell in --tsv).
TEST_F(CliScanTest, ControlCharactersInScansAreShownEscaped)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "TYPE  TEXT\n2     ab\\e[2J\\acd\n2     -\n"},
        {"--tsv", "TYPE\tTEXT\n2\tab\\e[2J\\acd\n2\t\n"},
    };
    for (const auto& [flag, shown] : cases) {
        PlayWhenOpened("cab\x1b[2J\acd\r\nc\r\n");
        std::vector<std::string> args{"scan", "--scanner", "6", "--port", "COM1", "--timeout", "2"};
        if (!flag.empty())
            args.push_back(flag);
        CliProcess cli(args);
        EXPECT_EQ(cli.Wait(), 0) << cli.Stderr();
        EXPECT_EQ(cli.Stdout(), shown);
        m_device.StopPlaying();
    }
}

TEST_F(CliScanTest, DeviceThatGoesAwayFailsTheScan)
{
    m_device.Play([](PtyDevice& device) {
        if (device.WaitForOpen())
            device.HangUp();
    });
    CliProcess cli({"scan", "--scanner", "2", "--port", "COM1"});
    EXPECT_EQ(cli.Wait(), 1);
    // The hang-up may come while the port is still being set up (a failed
    // start names the port) or once scanning runs.
    const std::string error = cli.Stderr();
    EXPECT_TRUE(error == "lumora-cli: VTSerialPortException: Invalid port: COM1\n" ||
                error == "lumora-cli: COM1: VTSerialPortException: Invalid port: COM1\n")
        << error;
}

TEST_F(CliScanTest, FailuresAndBadUsage)
{
    m_dosDevices.LinkMissing(9);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string error;
    } cases[] = {
        {{"--scanner", "6", "--port", "COM9"},
         1,
         "lumora-cli: COM9: VTSerialPortException: Invalid port: COM9\n"},
        {{"--scanner", "8", "--port", "COM1"},
         2,
         "lumora-cli scan: --port is not for the keyboard scanners 8 and 9\n"},
        {{"--scanner", "9", "--detect"}, 1, "lumora-cli: scanner type 9 cannot detect its device\n"},
        {{"--scanner", "6", "--port", "COM1", "--detect"},
         1,
         "lumora-cli: scanner type 6 cannot detect its device\n"},
        {{"--scanner", "11", "--port", "COM1"},
         2,
         "lumora-cli scan: --scanner takes a scanner type from 0 to 10\n"},
        {{"--scanner", "6", "--port", "COM10"},
         2,
         "lumora-cli scan: --port takes a port name COM0 to COM9 or a device path such as /dev/ttyUSB0\n"},
        {{"--scanner", "6"},
         2,
         "lumora-cli scan: --port takes a port name COM0 to COM9 or a device path such as /dev/ttyUSB0\n"},
        {{"--scanner", "6", "--port", "/dev/no-such-lumora-port"},
         1,
         "lumora-cli: /dev/no-such-lumora-port: VTSerialPortException: Invalid port: "
         "/dev/no-such-lumora-port\n"},
        {{"--scanner", "6", "--port", "COM1", "--timeout", "0"},
         2,
         "lumora-cli scan: --timeout takes a whole number of seconds above 0\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"scan"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        CliProcess cli(args);
        EXPECT_EQ(cli.Wait(), c.status) << c.error;
        const std::string firstLine = cli.Stderr().substr(0, cli.Stderr().find('\n') + 1);
        EXPECT_EQ(firstLine, c.error);
    }
}

// A CyberPen holding three codes: one download, printed in stored order,
// and the device's memory is empty afterwards.
TEST_F(CliScanTest, CyberPenDownloadIsPrintedOnce)
{
    InfoPenSim pen(m_device);
    for (const char* record : {"A012345678905", "D12345ABC", "Zxyz"})
        pen.AddRecord(record);
    pen.Start();
    CliProcess cli({"scan", "--scanner", "5", "--port", "COM1", "--once"});
    EXPECT_EQ(cli.Wait(), 0) << cli.Stderr();
    EXPECT_EQ(cli.Stdout(), "TYPE  TEXT\n"
                            "4     012345678905\n"
                            "1     12345ABC\n"
                            "0     xyz\n");
    EXPECT_EQ(cli.Stderr(), "");
    EXPECT_TRUE(pen.Records().empty());
    EXPECT_FALSE(m_device.IsOpenByDriver());
}

// The user presses the Pennyscanner's button once the port is open; with
// the driver's own timing (three break pulses of 1.5 s) this takes seconds.
TEST_F(CliScanTest, PennyscannerDownloadAsJson)
{
    PennySim penny(m_device);
    penny.SetImage(PennySim::MakeImage(PennySim::kGoodConfiguration, 4,
                                       {"5901234123457\x80", "V12\xB0", "1234567\xE0"}));
    penny.Start();
    CliProcess cli({"scan", "--json", "--scanner", "7", "--port", "COM1", "--once"});
    ASSERT_TRUE(m_device.WaitForOpen());
    penny.Press();
    EXPECT_EQ(cli.Wait(Ms(30000)), 0) << cli.Stderr();
    EXPECT_EQ(cli.Stdout(), "{\"type\":4,\"text\":\"5901234123457\"}\n"
                            "{\"type\":1,\"text\":\"V12\"}\n"
                            "{\"type\":6,\"text\":\"01234567\"}\n");
    EXPECT_EQ(penny.Rewrites(), 1);
    EXPECT_EQ(penny.Image().size(), PennySim::kHeaderSize);
}

TEST_F(CliScanTest, DetectionFindsTheDeviceOrReportsNone)
{
    {
        CS1504Sim cs1504(m_device);
        cs1504.Start();
        CliProcess cli({"scan", "--scanner", "10", "--port", "COM1", "--detect"});
        EXPECT_EQ(cli.Wait(), 0) << cli.Stderr();
        EXPECT_EQ(cli.Stdout(), "FOUND\n1\n");
        EXPECT_EQ(cs1504.Count(0x05), 1);
    }
    m_device.Receive(256, Ms(100));
    CliProcess cli({"scan", "--json", "--scanner", "4", "--port", "COM1", "--detect"});
    EXPECT_EQ(cli.Wait(), 1) << cli.Stderr();
    EXPECT_EQ(cli.Stdout(), "{\"found\":0}\n");
    EXPECT_EQ(cli.Stderr(), "lumora-cli: no device answered on COM1\n");
}

} // namespace

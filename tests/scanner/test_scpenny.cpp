#include "tests/scanner/scanbytes.h"
#include "tests/scanner/scanrecorder.h"
#include "tests/scanner/serialprobe.h"
#include "tests/support/dosdevices.h"
#include "tests/support/pennysim.h"
#include "tests/support/ptydevice.h"
#include "vtkit/scanner/scpenny.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

using Ms = std::chrono::milliseconds;
using Delivery = std::vector<VTScanData>;

const std::vector<std::string> kRecords = {
    "5901234123457" + Byte(0x80),
    "V1234" + std::string("\x01\x02\x83\x04", 4) + Byte(0xB2),
    "1234567" + Byte(0xE0),
};
const Delivery kCodes = {
    {kScanTypeUPCOrEAN, "5901234123457"}, {kScanTypeCode128, "V1234"}, {kScanTypeUPCE, "01234567"}};

// A Pennyscanner on the pty behind "COM1". Break, which a pty cannot carry,
// is seen by the port's OS-call probe and passed on to the device; all else
// goes to the pty.
class PennyTest : public ::testing::Test {
protected:
    PennyTest()
    {
        m_dosDevices.Link(1, m_device.SlavePath());
        m_sim.SetBreakCounter([this] { return Breaks(); });
        m_scanner.SetPortConfig(Config());
        // Short pulses and waits; the block timing stays the device's.
        m_scanner.SetTimeout(VTPennyScanner::kBreakOn, 20);
        m_scanner.SetTimeout(VTPennyScanner::kBreakOff, 20);
        m_scanner.SetTimeout(VTPennyScanner::kCallWait, 300);
        m_scanner.SetTimeout(VTPennyScanner::kSyncWait, 100);
        m_scanner.SetTimeout(VTPennyScanner::kRewriteCallWait, 1000);
        m_scanner.SetListener(&m_recorder);
    }
    ~PennyTest() override
    {
        m_scanner.Stop(true);
        m_sim.Stop();
    }

    static VTSerialPortConfig Config()
    {
        VTSerialPortConfig config;
        config.portName = "COM1";
        return config;
    }

    int Breaks() const
    {
        const auto changes = m_probe.LineChanges();
        return static_cast<int>(std::count(changes.begin(), changes.end(), "break on"));
    }
    // A pass ends with its break pulses.
    bool WaitForPasses(int passes)
    {
        return m_recorder.WaitFor([&] { return Breaks() >= 3 * passes; });
    }

    DosDevices m_dosDevices;
    PtyDevice m_device;
    SerialProbe m_probe;
    PennySim m_sim{m_device};
    ScanRecorder m_recorder;
    VTPennyScanner m_scanner{m_probe};
};

// The codes come in stored order; the rewrite empties the memory and keeps
// the rest of the header; the next press finds nothing to deliver.
TEST_F(PennyTest, DownloadDeliversRewritesAndSignals)
{
    const std::string image = PennySim::MakeImage(PennySim::kGoodConfiguration, 4, kRecords);
    m_sim.SetImage(image);
    m_sim.Start();
    m_sim.Press();
    ASSERT_EQ(m_scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitForScans(3));
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{kCodes});
    EXPECT_EQ(Breaks(), 3);
    EXPECT_FALSE(m_probe.IsBreakOn());
    EXPECT_EQ(m_sim.Rewrites(), 1);
    std::string emptied = image.substr(0, 128);
    emptied.replace(16, 4, std::string("\x80\x00\x00\x00", 4));
    EXPECT_EQ(m_sim.Image(), emptied);
    EXPECT_EQ(m_sim.ModeBytes(), (std::vector<uint8_t>{0x8A, 0x0A}));

    m_sim.Press();
    ASSERT_TRUE(WaitForPasses(2));
    m_scanner.Stop(true);
    EXPECT_EQ(m_recorder.Deliveries().size(), 1u);
    EXPECT_EQ(m_sim.Rewrites(), 1);
    EXPECT_EQ(m_sim.Downloads(), 2);
    EXPECT_TRUE(m_recorder.Errors().empty());
    EXPECT_TRUE(m_device.Failures().empty());
}

// 64-byte blocks: two of them and one acknowledgement between them; nothing
// stored and a good configuration need no rewrite.
TEST_F(PennyTest, EmptyMemoryTakesTwoBlocksAndNoRewrite)
{
    m_sim.SetImage(PennySim::MakeImage(PennySim::kGoodConfiguration, 4, {}));
    m_sim.Start();
    m_sim.Press();
    ASSERT_EQ(m_scanner.Start(), 0);
    ASSERT_TRUE(WaitForPasses(1));
    m_scanner.Stop(true);
    EXPECT_EQ(m_sim.BlocksSent(), 2);
    EXPECT_EQ(m_sim.Acknowledgements(), 1);
    EXPECT_EQ(m_sim.Downloads(), 1);
    EXPECT_EQ(m_sim.Rewrites(), 0);
    EXPECT_TRUE(m_recorder.Deliveries().empty());
}

// A bad block fails the download: nothing is delivered or erased, and the
// device, calling again, is downloaded again.
TEST_F(PennyTest, BadOrShortBlockFailsTheDownloadAndItIsRepeated)
{
    const std::string image = PennySim::MakeImage(PennySim::kGoodConfiguration, 4, kRecords);
    for (const bool corrupt : {true, false}) {
        SCOPED_TRACE(corrupt ? "bad check" : "short block");
        ScanRecorder recorder;
        m_scanner.SetListener(&recorder);
        m_sim.SetImage(image);
        corrupt ? m_sim.CorruptNextBlock() : m_sim.ShortenNextBlock();
        const int downloads = m_sim.Downloads();
        const int rewrites = m_sim.Rewrites();
        m_sim.Start();
        m_sim.Press();
        ASSERT_EQ(m_scanner.Start(), 0);
        ASSERT_TRUE(recorder.WaitForScans(3));
        m_scanner.Stop(true);
        m_sim.Stop();
        EXPECT_EQ(recorder.Deliveries(), std::vector<Delivery>{kCodes});
        EXPECT_EQ(m_sim.Downloads() - downloads, 2);
        EXPECT_EQ(m_sim.Rewrites() - rewrites, 1);
    }
}

// A device that never offers the rewrite keeps its codes; they are still
// delivered, and again after the next press.
TEST_F(PennyTest, RewriteThatFailsStillDelivers)
{
    m_scanner.SetTimeout(VTPennyScanner::kRewriteCallWait, 200);
    const std::string image = PennySim::MakeImage(PennySim::kGoodConfiguration, 4, kRecords);
    m_sim.SetImage(image);
    m_sim.SetCallWindows(Ms(3000), Ms(0));
    m_sim.Start();
    m_sim.Press();
    ASSERT_EQ(m_scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitForScans(3));
    m_sim.Press();
    ASSERT_TRUE(m_recorder.WaitForScans(6));
    m_scanner.Stop(true);
    EXPECT_EQ(m_recorder.Deliveries(), (std::vector<Delivery>{kCodes, kCodes}));
    EXPECT_EQ(m_sim.Rewrites(), 0);
    EXPECT_EQ(m_sim.Image(), image);
}

TEST_F(PennyTest, RewriteFollowsConfigurationAndClearSetting)
{
    const struct {
        const char* name;
        uint32_t configuration;
        bool clear;
        std::vector<std::string> records;
        bool rewritten;
    } cases[] = {
        {"configuration to correct", 0x0000F00F, true, {}, true},
        {"codes kept", PennySim::kGoodConfiguration, false, kRecords, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string image = PennySim::MakeImage(c.configuration, 4, c.records);
        m_sim.SetImage(image);
        m_scanner.SetClearAfterDownload(c.clear);
        const int rewrites = m_sim.Rewrites();
        const int breaks = Breaks();
        m_sim.Start();
        m_sim.Press();
        ASSERT_EQ(m_scanner.Start(), 0);
        ASSERT_TRUE(m_recorder.WaitFor([&] { return Breaks() >= breaks + 3; }));
        m_scanner.Stop(true);
        m_sim.Stop();
        EXPECT_EQ(m_sim.Rewrites() - rewrites, c.rewritten ? 1 : 0);
        if (c.rewritten) {
            EXPECT_EQ(m_sim.Configuration(), (c.configuration | PennySim::kGoodConfiguration) & ~0x7000u);
        } else {
            EXPECT_EQ(m_sim.Image(), image);
        }
    }
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{kCodes});
}

TEST_F(PennyTest, SilentDeviceIsWaitedForUntilStopped)
{
    m_sim.Start();
    ASSERT_EQ(m_scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_probe.ReadWaits().size() >= 2; }));
    m_scanner.Stop(true);
    EXPECT_TRUE(m_sim.ModeBytes().empty());
    EXPECT_TRUE(m_recorder.Deliveries().empty());
    EXPECT_TRUE(m_recorder.Errors().empty());
    EXPECT_EQ(m_recorder.StoppedCount(), 1);
}

// A stop during the break pulses (ten minutes each here) ends the worker at
// once, with the break off; the rewrite has emptied the device, so the codes
// are delivered rather than lost.
TEST_F(PennyTest, StopDuringTheBreakPulsesKeepsTheCodes)
{
    m_scanner.SetTimeout(VTPennyScanner::kBreakOn, 600000);
    m_sim.SetImage(PennySim::MakeImage(PennySim::kGoodConfiguration, 4, kRecords));
    m_sim.Start();
    m_sim.Press();
    ASSERT_EQ(m_scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_probe.IsBreakOn(); }));
    m_scanner.Stop(true);
    EXPECT_FALSE(m_probe.IsBreakOn());
    EXPECT_EQ(m_sim.Rewrites(), 1);
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{kCodes});
}

// The worker ends with a report instead of asking a vanished device for
// ever.
TEST_F(PennyTest, DeviceThatGoesAwayEndsTheWorkerWithAnError)
{
    ASSERT_EQ(m_scanner.Start(), 0);
    ASSERT_TRUE(m_device.WaitForOpen());
    m_device.HangUp();
    ASSERT_TRUE(m_recorder.WaitForStopped());
    EXPECT_EQ(m_recorder.Errors(), std::vector<std::string>{"VTSerialPortException: Invalid port: COM1"});
}

TEST_F(PennyTest, DetectionSeesTheDeviceCalling)
{
    m_sim.Start();
    ASSERT_EQ(m_scanner.Detect(), 0);
    ASSERT_TRUE(m_recorder.WaitForStopped());
    m_sim.Press();
    ASSERT_EQ(m_scanner.Detect(), 0);
    ASSERT_TRUE(m_recorder.WaitForStopped(2));
    EXPECT_EQ(m_recorder.DetectResults(), (std::vector<int>{0, 1}));
    EXPECT_TRUE(m_recorder.Errors().empty());
}

// Asks the probe what the port was told: a pty keeps only part of it.
TEST_F(PennyTest, PortSettingsForcedByTheDriver)
{
    VTSerialPortConfig config = Config();
    config.parity = VTSerialPortConfig::kParityEven;
    config.rtsOn = 1;
    config.dtrOn = 0;
    m_scanner.SetPortConfig(config);
    ASSERT_EQ(m_scanner.Detect(), 0);
    ASSERT_TRUE(m_recorder.WaitForStopped());
    const termios settings = m_probe.LastSettings();
    EXPECT_EQ(cfgetospeed(&settings), speed_t(B19200));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CSIZE), tcflag_t(CSTOPB | CS8));
    EXPECT_EQ(m_probe.LineChanges(), (std::vector<std::string>{"DTR on", "RTS off"}));
}

} // namespace

#include "tests/scanner/scanrecorder.h"
#include "tests/scanner/serialprobe.h"
#include "tests/support/dosdevices.h"
#include "tests/support/portholder.h"
#include "tests/support/ptydevice.h"
#include "tests/support/tempdir.h"
#include "vtkit/scanner/scexcep.h"
#include "vtkit/scanner/scpassive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

using Ms = std::chrono::milliseconds;
using Delivery = std::vector<VTScanData>;

enum class Driver { Generic, WelchAllyn, AIM };

std::unique_ptr<VTPassiveSerialBarcodeScanner> MakeDriver(Driver driver, VTSerialSystem& system)
{
    switch (driver) {
    case Driver::WelchAllyn:
        return std::make_unique<VTBarcodeScannerWelchAllyn6180>(system);
    case Driver::AIM:
        return std::make_unique<VTBarcodeScannerAIM>(system);
    default:
        return std::make_unique<VTPassiveSerialBarcodeScanner>(system);
    }
}

VTSerialPortConfig Port(const std::string& name)
{
    VTSerialPortConfig config;
    config.portName = name;
    return config;
}

// A scanning device on the pty behind "COM1". The OS-call probe under the
// port only forwards to the pty unless a test asks it for more (and says so).
class PassiveScannerTest : public ::testing::Test {
protected:
    PassiveScannerTest() { m_dosDevices.Link(1, m_device.SlavePath()); }

    VTPassiveSerialBarcodeScanner& Make(Driver driver, uint32_t firstByteMs = 100, uint32_t gapMs = 50)
    {
        m_scanner = MakeDriver(driver, m_probe);
        m_scanner->SetPortConfig(Port("COM1"));
        m_scanner->SetFirstByteTimeout(firstByteMs);
        m_scanner->SetGapTimeout(gapMs);
        m_scanner->SetListener(&m_recorder);
        return *m_scanner;
    }

    // Waits until the worker has read `count` bytes from the device.
    bool WaitForBytesRead(std::size_t count)
    {
        return m_recorder.WaitFor([&] { return m_probe.BytesRead() >= count; });
    }

    // Waits until the worker waits for the first byte of a burst again: a
    // wait longer than the gap, begun after this call.
    bool WaitForFirstByteWait(uint32_t gapMs)
    {
        m_probe.ClearWaits();
        return m_recorder.WaitFor([&] {
            const auto waits = m_probe.ReadWaits();
            return std::any_of(waits.begin(), waits.end(), [&](int wait) { return wait > int(gapMs); });
        });
    }

    DosDevices m_dosDevices;
    PtyDevice m_device;
    SerialProbe m_probe;
    ScanRecorder m_recorder;
    std::unique_ptr<VTPassiveSerialBarcodeScanner> m_scanner;
};

TEST(VTPassiveSerialBarcodeScanner, TimingDefaultsPerDriver)
{
    const struct {
        Driver driver;
        uint32_t firstByte, gap;
    } cases[] = {{Driver::Generic, 250, 500}, {Driver::WelchAllyn, 1000, 100}, {Driver::AIM, 1000, 100}};
    for (const auto& c : cases) {
        auto scanner = MakeDriver(c.driver, VTSerialSystem::Real());
        EXPECT_EQ(scanner->GetFirstByteTimeout(), c.firstByte);
        EXPECT_EQ(scanner->GetGapTimeout(), c.gap);
        EXPECT_TRUE(scanner->GetSplitLines());
        EXPECT_FALSE(scanner->CanDetect());
        EXPECT_EQ(scanner->Detect(), VTBarcodeScanner::kCannotDetect);
    }
}

// One burst per case: the worker reads it whole before it notices the stop,
// so what it delivered afterwards is all the burst gave.
TEST_F(PassiveScannerTest, EachBurstGivesOneDeliveryOfItsLines)
{
    const struct {
        const char* name;
        Driver driver;
        std::string burst;
        std::vector<Delivery> expected;
        bool splitLines = true;
    } cases[] = {
        {"two lines",
         Driver::Generic,
         "ABC\r\nDEF\r\n",
         {{{kScanTypeUnknown, "ABC"}, {kScanTypeUnknown, "DEF"}}}},
        {"line ends alone", Driver::Generic, "\r\n\r\n", {}},
        {"nothing before a NUL", Driver::Generic, std::string("\0\0\r\nABC\r\n", 9), {}},
        {"CR, LF, no final end",
         Driver::Generic,
         "A\rB\n\nC",
         {{{kScanTypeUnknown, "A"}, {kScanTypeUnknown, "B"}, {kScanTypeUnknown, "C"}}}},
        {"text ends at NUL", Driver::Generic, std::string("JKL\0MNO\r\n", 9), {{{kScanTypeUnknown, "JKL"}}}},
        {"unsplit", Driver::Generic, "ABC\r\nDEF\r\n", {{{kScanTypeUnknown, "ABC\r\nDEF\r\n"}}}, false},
        {"Welch Allyn",
         Driver::WelchAllyn,
         "c012345678905\r\nx123\r\nd5901234123457\r\nj1234AB\r\nc\r\n",
         {{{kScanTypeUPC, "012345678905"},
           {kScanTypeUnknown, "123"},
           {kScanTypeUPCOrEAN, "5901234123457"},
           {kScanTypeCode128, "1234AB"},
           {kScanTypeUPC, ""}}}},
        {"AIM",
         Driver::AIM,
         "]E05901234123457\r\n]C1text\r\n]X0text\r\nAB\r\n]C0V12\r\n]E0\r\n",
         {{{kScanTypeUPCOrEAN, "5901234123457"},
           {kScanTypeUnknown, "]C1text"},
           {kScanTypeUnknown, "text"},
           {kScanTypeUnknown, "AB"},
           {kScanTypeCode128, "V12"},
           {kScanTypeUPCOrEAN, ""}}}},
    };
    std::size_t sent = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScanRecorder recorder;
        auto& scanner = Make(c.driver);
        scanner.SetSplitLines(c.splitLines);
        scanner.SetListener(&recorder);
        ASSERT_EQ(scanner.Start(), 0);
        m_device.Send(c.burst);
        sent += c.burst.size();
        ASSERT_TRUE(WaitForBytesRead(sent));
        scanner.Stop(true);
        EXPECT_EQ(recorder.Deliveries(), c.expected);
        EXPECT_EQ(recorder.StoppedCount(), 1);
    }
}

TEST_F(PassiveScannerTest, SeparateBurstsAreSeparateDeliveries)
{
    auto& scanner = Make(Driver::WelchAllyn);
    ASSERT_EQ(scanner.Start(), 0);
    m_device.Send("c012345678905\r\n");
    ASSERT_TRUE(m_recorder.WaitForScans(1));
    m_device.Send("d5901234123457\r\nd96385074\r\n");
    ASSERT_TRUE(m_recorder.WaitForScans(3));
    scanner.Stop(true);
    EXPECT_EQ(m_recorder.Deliveries(), (std::vector<Delivery>{{{kScanTypeUPC, "012345678905"}},
                                                              {{kScanTypeUPCOrEAN, "5901234123457"},
                                                               {kScanTypeUPCOrEAN, "96385074"}}}));
    EXPECT_TRUE(m_recorder.Errors().empty());
    EXPECT_FALSE(m_device.IsOpenByDriver());
}

// Uses the probe to count the attempts to open: a port that fails for
// another reason than missing or busy gets one more try.
TEST_F(PassiveScannerTest, StartReportsWhyThePortDidNotOpen)
{
    m_dosDevices.LinkMissing(9);
    TempDir files;
    m_dosDevices.Link(5, files.WriteFile("not-a-tty", "").string());
    auto& scanner = Make(Driver::WelchAllyn);
    const struct {
        std::string port;
        int result;
        std::string error;
        int opens;
    } cases[] = {
        {"COM9", VTSerialBarcodeScanner::kPortMissing, "VTSerialPortException: Invalid port: COM9", 1},
        {"COM1", VTSerialBarcodeScanner::kPortInUse, "VTSerialPortException: Port In Use: COM1", 1},
        {"COM5", VTSerialBarcodeScanner::kPortFailed,
         "VTSerialPortException: OS Error Code: " + std::to_string(ENOTTY), 2},
        {"COM10", VTSerialBarcodeScanner::kPortFailed, "VTSerialPortException: Invalid config", 0},
    };
    {
        PortHolder otherProgram(m_device.SlavePath());
        for (const auto& c : cases) {
            const int opensBefore = m_probe.Opens();
            scanner.SetPortConfig(Port(c.port));
            EXPECT_EQ(scanner.Start(), c.result) << c.port;
            EXPECT_EQ(scanner.GetLastOpenError(), c.error);
            EXPECT_EQ(m_probe.Opens() - opensBefore, c.opens) << c.port;
            EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kIdle);
        }
    }
    scanner.SetPortConfig(Port("COM1"));
    ASSERT_EQ(scanner.Start(), 0);
    EXPECT_EQ(scanner.GetLastOpenError(), "");
    EXPECT_TRUE(m_device.IsOpenByDriver());
    // The port settings change only while idle.
    EXPECT_THROW(scanner.SetPortConfig(Port("COM2")), VTBarcodeScannerException);
    EXPECT_EQ(scanner.GetPortConfig().portName, "COM1");
    scanner.Stop(true);
    EXPECT_EQ(m_recorder.StoppedCount(), 1);
}

// Uses the probe to watch the worker's waits: after a stop, a silent device
// holds the worker for at most one more wait for a first byte.
TEST_F(PassiveScannerTest, SilentDeviceLetsTheWorkerStopAfterOneFirstByteWait)
{
    constexpr uint32_t kFirstByte = 1000, kGap = 50;
    auto& scanner = Make(Driver::Generic, kFirstByte, kGap);
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return !m_probe.ReadWaits().empty(); }));
    m_probe.ClearWaits();
    scanner.Stop(true);
    const auto waits = m_probe.ReadWaits();
    EXPECT_LE(std::count_if(waits.begin(), waits.end(), [](int wait) { return wait > int(kGap); }), 1);
    for (int wait : waits)
        EXPECT_LE(wait, int(kFirstByte));
    EXPECT_TRUE(m_recorder.Deliveries().empty());
    EXPECT_TRUE(m_recorder.Errors().empty());
    EXPECT_EQ(m_recorder.StoppedCount(), 1);
    EXPECT_FALSE(m_device.IsOpenByDriver());
}

// Uses the probe to see that the burst has begun. A stop during a burst is
// noticed once the burst has ended, and the burst is delivered whole.
TEST_F(PassiveScannerTest, DeviceSendingWhileTheDriverStops)
{
    auto& scanner = Make(Driver::Generic, 100, 500);
    ASSERT_EQ(scanner.Start(), 0);
    m_device.Play([](PtyDevice& device) { device.SendSlowly("111\r\n222\r\n333\r\n", Ms(10)); });
    ASSERT_TRUE(WaitForBytesRead(1));
    scanner.Stop(false);
    scanner.Stop(true);
    EXPECT_EQ(m_recorder.Deliveries(),
              (std::vector<Delivery>{
                  {{kScanTypeUnknown, "111"}, {kScanTypeUnknown, "222"}, {kScanTypeUnknown, "333"}}}));
    EXPECT_EQ(m_recorder.StoppedCount(), 1);
}

// Uses the probe to garble the first byte of a burst, which a pty cannot:
// the burst is dropped, the line drained and cleared, and scanning goes on.
TEST_F(PassiveScannerTest, LineErrorDropsTheBurstAndScanningGoesOn)
{
    constexpr uint32_t kGap = 50;
    auto& scanner = Make(Driver::Generic, 300, kGap);
    ASSERT_EQ(scanner.Start(), 0);
    m_probe.GarbleNextRead();
    m_device.Send("BAD\r\nWORSE\r\n");
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_probe.BreakClears() >= 1; }));
    ASSERT_TRUE(WaitForFirstByteWait(kGap));
    m_device.Send("GOOD\r\n");
    ASSERT_TRUE(m_recorder.WaitForScans(1));
    scanner.Stop(true);
    EXPECT_EQ(m_recorder.Deliveries(), (std::vector<Delivery>{{{kScanTypeUnknown, "GOOD"}}}));
    EXPECT_TRUE(m_recorder.Errors().empty());
}

TEST_F(PassiveScannerTest, DeviceThatGoesAwayEndsTheWorkerWithAnError)
{
    auto& scanner = Make(Driver::AIM);
    ASSERT_EQ(scanner.Start(), 0);
    m_device.HangUp();
    ASSERT_TRUE(m_recorder.WaitForStopped());
    EXPECT_EQ(m_recorder.Errors(), std::vector<std::string>{"VTSerialPortException: Invalid port: COM1"});
    EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kIdle);
}

// Noise that never pauses neither grows the buffer without end nor keeps
// the worker from stopping.
TEST_F(PassiveScannerTest, EndlessBurstIsDeliveredInPieces)
{
    auto& scanner = Make(Driver::Generic);
    ASSERT_EQ(scanner.Start(), 0);
    m_device.Play([](PtyDevice& device) {
        while (!device.StopRequested())
            device.Send("0123456789");
    });
    ASSERT_TRUE(m_recorder.WaitForScans(1));
    scanner.Stop(true);
    m_device.StopPlaying();
    std::string piece;
    while (piece.size() < VTPassiveSerialBarcodeScanner::kMaxBurst)
        piece += "0123456789";
    piece.resize(VTPassiveSerialBarcodeScanner::kMaxBurst);
    const auto deliveries = m_recorder.Deliveries();
    ASSERT_FALSE(deliveries.empty());
    EXPECT_EQ(deliveries.front(), (Delivery{{kScanTypeUnknown, piece}}));
    for (const auto& delivery : deliveries) {
        ASSERT_EQ(delivery.size(), 1u);
        EXPECT_LE(delivery[0].text.size(), VTPassiveSerialBarcodeScanner::kMaxBurst);
    }
}

} // namespace

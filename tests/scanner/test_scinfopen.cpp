#include "tests/scanner/scanbytes.h"
#include "tests/scanner/scanrecorder.h"
#include "tests/scanner/serialprobe.h"
#include "tests/support/dosdevices.h"
#include "tests/support/infopensim.h"
#include "tests/support/ptydevice.h"
#include "tst/tsexcep.h"
#include "vtkit/scanner/sccs1504.h"
#include "vtkit/scanner/scinfopen.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

namespace {

using Ms = std::chrono::milliseconds;
using Delivery = std::vector<VTScanData>;
using Fault = InfoPenSim::Fault;

const std::string kInterrogate = Hex({0x01, 0x02, 0x00, 0x03});
const std::string kUpload = Hex({0x07, 0x02, 0x00, 0x05});
const std::string kClear = Hex({0x02, 0x02, 0x00, 0x00});
const std::string kPowerDown = Hex({0x05, 0x02, 0x00, 0x07});
const std::string kSetParameters = Hex({0x03, 0x02, 0x02, 0x04, 0x01, 0x02, 0x0C, 0x00, 0x00, 0x08});

// Time-outs short enough for a pty, where answers come at once. The pause
// after an upload is long, so a test sees one pass unless it shortens it.
void UseFastTimeouts(VTInfoPenBase& scanner)
{
    const uint32_t timeouts[] = {100, 200, 300, 300, 300, 300, 50, 5, 600000, 20};
    for (std::size_t index = 0; index < VTInfoPenBase::kTimeoutCount; ++index)
        scanner.SetTimeout(index, timeouts[index]);
}

// Keeps the sets it was handed, as a client that takes them over would.
class SetKeeper : public VTScannerListener {
public:
    ~SetKeeper() override { DetachFromScanner(); }
    void OnScanData(VTScanDataSet scans) override
    {
        std::lock_guard lock(m_lock);
        m_sets.push_back(scans);
    }
    std::vector<VTScanDataSet> Sets()
    {
        std::lock_guard lock(m_lock);
        return m_sets;
    }

private:
    std::mutex m_lock;
    std::vector<VTScanDataSet> m_sets;
};

// A CyberPen on the pty behind "COM1". The port's OS calls go through the
// probe, which only forwards to the pty unless a test asks it for more.
class InfoPenTest : public ::testing::Test {
protected:
    InfoPenTest() { m_dosDevices.Link(1, m_device.SlavePath()); }
    ~InfoPenTest() override
    {
        if (m_scanner)
            m_scanner->Stop(true);
        m_sim.Stop();
    }

    VTInfoPenBase& Make(bool cs2000 = false)
    {
        if (cs2000)
            m_scanner = std::make_unique<VTBarcodeScannerCS2000>(m_probe);
        else
            m_scanner = std::make_unique<VTBarcodeScannerInfoPen>(m_probe);
        VTSerialPortConfig config;
        config.portName = "COM1";
        m_scanner->SetPortConfig(config);
        UseFastTimeouts(*m_scanner);
        m_scanner->SetListener(&m_recorder);
        return *m_scanner;
    }

    void StoreCodes()
    {
        for (const char* record : {"A012345678905", "D12345ABC", "K999", "Zxyz", "A"})
            m_sim.AddRecord(record);
    }
    static Delivery StoredCodes()
    {
        return {{kScanTypeUPCOrEAN, "012345678905"},
                {kScanTypeCode128, "12345ABC"},
                {kScanTypeCode128, "999"},
                {kScanTypeUnknown, "xyz"}};
    }

    // The commands of one complete pass, as the device received them.
    static std::vector<std::string> OnePass(const std::string& setParameters = kSetParameters)
    {
        return {kInterrogate, setParameters, kUpload, kClear, kPowerDown};
    }

    bool WaitUntilAsleep()
    {
        return m_recorder.WaitFor([&] { return !m_sim.IsAwake(); });
    }

    DosDevices m_dosDevices;
    PtyDevice m_device;
    SerialProbe m_probe;
    InfoPenSim m_sim{m_device};
    ScanRecorder m_recorder;
    std::unique_ptr<VTInfoPenBase> m_scanner;
};

TEST(VTInfoPenBase, SettingsDefaultsAndTimeoutTables)
{
    VTBarcodeScannerInfoPen pen;
    VTBarcodeScannerCS2000 cs2000;
    VTBarcodeScannerCS1504 cs1504;
    const struct {
        VTInfoPenBase* scanner;
        std::vector<uint32_t> timeouts;
    } cases[] = {
        {&pen, {250, 500, 1000, 500, 2000, 1000, 500, 10, 1000, 50}},
        {&cs2000, {250, 500, 1000, 500, 2000, 1000, 500, 10, 5000, 50}},
        {&cs1504, {250, 500, 1000, 500, 2000, 1000, 500, 10, 2000, 200}},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> timeouts;
        for (std::size_t index = 0; index < VTInfoPenBase::kTimeoutCount; ++index)
            timeouts.push_back(c.scanner->GetTimeout(index));
        EXPECT_EQ(timeouts, c.timeouts);
        EXPECT_TRUE(c.scanner->GetClearAfterUpload());
        EXPECT_TRUE(c.scanner->GetPowerDownAfterUpload());
        EXPECT_TRUE(c.scanner->GetKeepPolling());
        EXPECT_EQ(c.scanner->GetDetectAttempts(), 3u);
        EXPECT_EQ(c.scanner->GetParameter2Value(), VTInfoPenBase::kLeaveParameter);
        EXPECT_TRUE(c.scanner->CanDetect());
        EXPECT_THROW(c.scanner->GetTimeout(10), TSInternalError);
        EXPECT_THROW(c.scanner->SetTimeout(10, 1), TSInternalError);
    }
    pen.SetTimeout(9, 77);
    EXPECT_EQ(pen.GetTimeout(9), 77u);
}

TEST(VTInfoPenBase, CommandsByteForByte)
{
    VTBarcodeScannerInfoPen pen;
    VTBarcodeScannerCS1504 cs1504;
    const struct {
        std::string made;
        std::string expected;
    } cases[] = {
        {pen.MakeCommand(VTInfoPenBase::kInterrogate), kInterrogate},
        {pen.MakeCommand(VTInfoPenBase::kUpload), kUpload},
        {pen.MakeCommand(VTInfoPenBase::kClearMemory), kClear},
        {pen.MakeCommand(VTInfoPenBase::kPowerDown), kPowerDown},
        {pen.MakeSetParametersCommand(), kSetParameters},
        {cs1504.MakeCommand(VTInfoPenBase::kInterrogate), Hex({0x01, 0x02, 0x00, 0x9F, 0xDE})},
        {cs1504.MakeCommand(VTInfoPenBase::kUpload), Hex({0x07, 0x02, 0x00, 0x9E, 0x3E})},
        {cs1504.MakeCommand(VTInfoPenBase::kClearMemory), Hex({0x02, 0x02, 0x00, 0x9F, 0x2E})},
        {cs1504.MakeCommand(VTInfoPenBase::kPowerDown), Hex({0x05, 0x02, 0x00, 0x5E, 0x9F})},
        {cs1504.MakeGetParametersCommand(),
         Hex({0x08, 0x02, 0x07, 0x02, 0x09, 0x08, 0x35, 0x2B, 0x2C, 0x23, 0x00, 0x09, 0x10})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.made, c.expected);
    pen.SetParameter2Value(3);
    EXPECT_EQ(pen.MakeSetParametersCommand(),
              Hex({0x03, 0x02, 0x02, 0x04, 0x01, 0x02, 0x0C, 0x00, 0x02, 0x02, 0x03, 0x00, 0x0B}));
}

TEST(VTInfoPenBase, AnswerChecks)
{
    VTBarcodeScannerInfoPen pen;
    VTBarcodeScannerCS1504 cs1504;
    EXPECT_TRUE(pen.IsAnswer(Hex({0x06, 0x02, 0x00, 0x04})));
    EXPECT_FALSE(pen.IsAnswer(Hex({0x06, 0x02, 0x00, 0x05})));
    EXPECT_FALSE(pen.IsAnswer(Hex({0x06, 0x03, 0x00, 0x05})));
    EXPECT_TRUE(cs1504.IsAnswer(Hex({0x06, 0x02, 0x00, 0x5E, 0x6F})));
    EXPECT_FALSE(cs1504.IsAnswer(Hex({0x06, 0x02, 0x00, 0x6F, 0x5E})));
    EXPECT_FALSE(cs1504.IsAnswer(Hex({0x06, 0x02})));
}

// Records from offset 14 of the answer, before its check.
TEST(VTInfoPenBase, UploadRecords)
{
    const std::string head = Hex({0x06, 0x02}) + std::string(12, '\x07');
    const struct {
        const char* name;
        std::string records;
        bool whole;
        Delivery expected;
    } cases[] = {
        {"empty list", Hex({0x00}), true, {}},
        {"identifiers",
         Hex({4, 'A', '1', '2', '3', 3, 'D', 'V', '1', 2, 'K', 'x', 3, 'Q', 'a', 'b', 0}),
         true,
         {{kScanTypeUPCOrEAN, "123"},
          {kScanTypeCode128, "V1"},
          {kScanTypeCode128, "x"},
          {kScanTypeUnknown, "ab"}}},
        {"short records skipped", Hex({1, 'A', 0, 2, 'A', '9'}), true, {}},
        {"skipped record then code", Hex({1, 'A', 2, 'A', '9', 0}), true, {{kScanTypeUPCOrEAN, "9"}}},
        {"list ends at the check", Hex({2, 'A', '9'}), true, {{kScanTypeUPCOrEAN, "9"}}},
        {"record runs past the end", Hex({2, 'A', '9', 5, 'A', '1'}), false, {{kScanTypeUPCOrEAN, "9"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string answer = head + c.records;
        answer += static_cast<char>(VTInfoPenBase::XorCheck(answer));
        VTScanDataSet scans;
        EXPECT_EQ(VTInfoPenBase::DecodeUpload(answer, scans), c.whole);
        EXPECT_EQ(Contents(scans), c.expected);
    }
}

TEST_F(InfoPenTest, DownloadDeliversStoredCodesClearsAndPowersDown)
{
    auto& scanner = Make();
    scanner.SetParameter2Value(3);
    StoreCodes();
    m_sim.Start();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitForScans(4));
    ASSERT_TRUE(WaitUntilAsleep());
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{StoredCodes()});
    EXPECT_TRUE(m_sim.Records().empty());
    EXPECT_EQ(m_sim.Parameter(0x02), 3);
    EXPECT_EQ(m_sim.Parameter(0x04), 1);
    EXPECT_EQ(m_sim.Parameter(0x0C), 0);
    const std::string withVolume =
        Hex({0x03, 0x02, 0x02, 0x04, 0x01, 0x02, 0x0C, 0x00, 0x02, 0x02, 0x03, 0x00, 0x0B});
    EXPECT_EQ(m_sim.Commands(), OnePass(withVolume));
    EXPECT_EQ(m_sim.Rejected(), 0);
    EXPECT_TRUE(m_device.Failures().empty());
}

// The set of the first delivery is not reused for the second: a listener
// that keeps it sees what it was given.
TEST_F(InfoPenTest, NextWakeUploadsAgainIntoANewSet)
{
    auto& scanner = Make(true);
    scanner.SetTimeout(VTInfoPenBase::kUploadPause, 100);
    SetKeeper keeper;
    scanner.SetListener(&keeper);
    m_sim.AddRecord("A96385074");
    m_sim.Start();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return keeper.Sets().size() == 1; }));
    ASSERT_TRUE(WaitUntilAsleep());
    m_sim.AddRecord("D0042");
    m_sim.AddRecord("A5901234123457");
    m_sim.WakeUp();
    ASSERT_TRUE(m_recorder.WaitFor([&] { return keeper.Sets().size() == 2; }));
    scanner.Stop(true);
    const auto sets = keeper.Sets();
    EXPECT_EQ(Contents(sets[0]), (Delivery{{kScanTypeUPCOrEAN, "96385074"}}));
    EXPECT_EQ(Contents(sets[1]),
              (Delivery{{kScanTypeCode128, "0042"}, {kScanTypeUPCOrEAN, "5901234123457"}}));
    EXPECT_EQ(m_sim.Count(VTInfoPenBase::kUpload), 2);
}

TEST_F(InfoPenTest, EmptyMemoryDeliversNothingButStillClearsAndPowersDown)
{
    auto& scanner = Make();
    m_sim.Start();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(WaitUntilAsleep());
    scanner.Stop(true);
    EXPECT_TRUE(m_recorder.Deliveries().empty());
    EXPECT_EQ(m_sim.Commands(), OnePass());
}

// A device that did not clear keeps its codes: nothing is delivered and
// the next pass uploads them again.
TEST_F(InfoPenTest, ClearThatFailsDeliversNothingAndTheNextPassUploadsAgain)
{
    auto& scanner = Make();
    StoreCodes();
    m_sim.QueueFault(VTInfoPenBase::kClearMemory, Fault::kSilent, 2);
    m_sim.Start();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(WaitUntilAsleep());
    scanner.Stop(true);
    // Three uploads, one delivery: the passes whose clear failed gave none.
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{StoredCodes()});
    EXPECT_EQ(m_sim.Count(VTInfoPenBase::kUpload), 3);
    EXPECT_EQ(m_sim.Count(VTInfoPenBase::kClearMemory), 3);
    EXPECT_EQ(m_sim.Count(VTInfoPenBase::kPowerDown), 1);
}

// A wrong check or a short answer fails the step; the pass is tried again
// and the codes arrive once.
TEST_F(InfoPenTest, CorruptedAndShortAnswersAreRetried)
{
    const struct {
        uint8_t command;
        Fault fault;
    } cases[] = {
        {VTInfoPenBase::kInterrogate, Fault::kBadCheck},   {VTInfoPenBase::kInterrogate, Fault::kShort},
        {VTInfoPenBase::kSetParameters, Fault::kBadCheck}, {VTInfoPenBase::kSetParameters, Fault::kShort},
        {VTInfoPenBase::kUpload, Fault::kBadCheck},        {VTInfoPenBase::kUpload, Fault::kShort},
        {VTInfoPenBase::kPowerDown, Fault::kBadCheck},     {VTInfoPenBase::kPowerDown, Fault::kShort},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "command " << int(c.command) << " fault " << int(c.fault));
        ScanRecorder recorder;
        auto& scanner = Make();
        scanner.SetListener(&recorder);
        StoreCodes();
        m_sim.WakeUp();
        m_sim.QueueFault(c.command, c.fault);
        m_sim.Start();
        const int before = m_sim.Count(c.command);
        const int interrogatesBefore = m_sim.Count(VTInfoPenBase::kInterrogate);
        ASSERT_EQ(scanner.Start(), 0);
        ASSERT_TRUE(recorder.WaitForScans(4));
        ASSERT_TRUE(WaitUntilAsleep());
        // A power down that was not confirmed is sent again, to a device
        // that has gone to sleep.
        if (c.command == VTInfoPenBase::kPowerDown) {
            ASSERT_TRUE(recorder.WaitFor(
                [&] { return m_sim.Count(VTInfoPenBase::kInterrogate) - interrogatesBefore >= 2; }));
        }
        scanner.Stop(true);
        m_sim.Stop();
        EXPECT_EQ(recorder.Deliveries(), std::vector<Delivery>{StoredCodes()});
        EXPECT_GE(m_sim.Count(VTInfoPenBase::kInterrogate) - interrogatesBefore, 2);
        if (c.command != VTInfoPenBase::kPowerDown) {
            EXPECT_EQ(m_sim.Count(c.command) - before, 2);
        }
        EXPECT_TRUE(m_sim.Records().empty());
    }
}

// No answer at all: the worker keeps asking, delivers nothing, reports no
// error and stops when asked.
TEST_F(InfoPenTest, SilentDeviceIsPolledUntilStopped)
{
    auto& scanner = Make();
    ASSERT_EQ(scanner.Start(), 0);
    EXPECT_TRUE(m_device.Expect(kInterrogate + kInterrogate));
    scanner.Stop(true);
    EXPECT_TRUE(m_recorder.Deliveries().empty());
    EXPECT_TRUE(m_recorder.Errors().empty());
    EXPECT_EQ(m_recorder.StoppedCount(), 1);
    EXPECT_FALSE(m_device.IsOpenByDriver());
}

// A stop wakes the worker from its pause: with an idle pause of ten
// minutes this test would otherwise outlive its time limit.
TEST_F(InfoPenTest, StopWakesTheWorkerFromItsPause)
{
    auto& scanner = Make();
    scanner.SetTimeout(VTInfoPenBase::kIdlePause, 600000);
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_device.Expect(kInterrogate));
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_probe.ReadWaits().size() >= 1; }));
    scanner.Stop(true);
    EXPECT_EQ(m_recorder.StoppedCount(), 1);
    EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kIdle);
}

TEST_F(InfoPenTest, WithoutKeepPollingTheWorkerEndsAfterOneUpload)
{
    auto& scanner = Make();
    scanner.SetKeepPolling(false);
    StoreCodes();
    m_sim.Start();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitForStopped());
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{StoredCodes()});
    EXPECT_EQ(scanner.GetState(), VTBarcodeScanner::kIdle);
    EXPECT_EQ(m_sim.Commands(), OnePass());
}

// One upload was asked for: a power down that is not confirmed does not
// start another pass, which would deliver the uncleared codes again.
TEST_F(InfoPenTest, WithoutKeepPollingAFailedPowerDownDeliversNoMore)
{
    auto& scanner = Make();
    scanner.SetKeepPolling(false);
    scanner.SetClearAfterUpload(false);
    StoreCodes();
    m_sim.QueueFault(VTInfoPenBase::kPowerDown, Fault::kSilent);
    m_sim.Start();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitForStopped());
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{StoredCodes()});
    EXPECT_EQ(m_sim.Count(VTInfoPenBase::kUpload), 1);
}

// A device that answers with noise that never ends: the answer is given up
// after kMaxAnswer bytes and the worker still stops.
TEST_F(InfoPenTest, EndlessAnswerDoesNotHoldTheWorker)
{
    auto& scanner = Make();
    m_device.Play([](PtyDevice& device) {
        if (!device.Expect(kInterrogate))
            return;
        device.Send(Hex({0x06, 0x02}) + std::string(19, 'i') + Byte(0x06 ^ 0x02 ^ 'i'));
        if (!device.Expect(kSetParameters))
            return;
        const std::string noise(512, 'x');
        while (!device.StopRequested())
            device.Send(noise);
    });
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_probe.BytesRead() > VTInfoPenBase::kMaxAnswer; }));
    scanner.Stop(true);
    m_device.StopPlaying();
    EXPECT_EQ(m_recorder.StoppedCount(), 1);
    EXPECT_TRUE(m_recorder.Deliveries().empty());
}

TEST_F(InfoPenTest, SettingsLeaveOutClearAndPowerDown)
{
    auto& scanner = Make();
    scanner.SetClearAfterUpload(false);
    scanner.SetPowerDownAfterUpload(false);
    scanner.SetKeepPolling(false);
    StoreCodes();
    m_sim.Start();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitForStopped());
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{StoredCodes()});
    EXPECT_EQ(m_sim.Commands(), (std::vector<std::string>{kInterrogate, kSetParameters, kUpload}));
    EXPECT_EQ(m_sim.Records().size(), 5u);
}

// Uses the probe to garble the first answer, which a pty cannot: the
// answer is dropped, the line drained and its errors cleared, and the pass
// repeated.
TEST_F(InfoPenTest, LineErrorInAnAnswerFailsOnlyThatStep)
{
    auto& scanner = Make();
    StoreCodes();
    m_probe.GarbleNextRead();
    m_sim.Start();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitForScans(4));
    ASSERT_TRUE(WaitUntilAsleep());
    scanner.Stop(true);
    EXPECT_GE(m_probe.BreakClears(), 1);
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{StoredCodes()});
    EXPECT_TRUE(m_recorder.Errors().empty());
    EXPECT_EQ(m_sim.Count(VTInfoPenBase::kInterrogate), 2);
}

TEST_F(InfoPenTest, DeviceThatGoesAwayEndsTheWorkerWithAnError)
{
    auto& scanner = Make();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_device.Expect(kInterrogate));
    m_device.HangUp();
    ASSERT_TRUE(m_recorder.WaitForStopped());
    EXPECT_EQ(m_recorder.Errors(), std::vector<std::string>{"VTSerialPortException: Invalid port: COM1"});
}

TEST_F(InfoPenTest, DetectionFindsTheDevice)
{
    auto& scanner = Make();
    m_sim.QueueFault(VTInfoPenBase::kInterrogate, Fault::kBadCheck);
    m_sim.Start();
    ASSERT_EQ(scanner.Detect(), 0);
    ASSERT_TRUE(m_recorder.WaitForStopped());
    EXPECT_EQ(m_recorder.DetectResults(), std::vector<int>{1});
    EXPECT_EQ(m_sim.Commands(), (std::vector<std::string>{kInterrogate, kInterrogate}));
    EXPECT_FALSE(m_device.IsOpenByDriver());
}

TEST_F(InfoPenTest, DetectionOnAnEmptyPortReportsNothingFound)
{
    auto& scanner = Make();
    ASSERT_EQ(scanner.Detect(), 0);
    ASSERT_TRUE(m_recorder.WaitForStopped());
    EXPECT_EQ(m_recorder.DetectResults(), std::vector<int>{0});
    EXPECT_EQ(m_device.Receive(64, Ms(200)), kInterrogate + kInterrogate + kInterrogate);
    scanner.SetDetectAttempts(0);
    ASSERT_EQ(scanner.Detect(), 0) << scanner.GetLastOpenError();
    ASSERT_TRUE(m_recorder.WaitForStopped(2));
    EXPECT_EQ(m_recorder.DetectResults(), (std::vector<int>{0, 0}));
}

// Asks the probe what the port was told: a pty keeps only part of it.
TEST_F(InfoPenTest, PortSettingsForcedByTheDriver)
{
    auto& scanner = Make();
    VTSerialPortConfig config;
    config.portName = "COM1";
    config.baudRate = 9600;
    config.parity = VTSerialPortConfig::kParityEven;
    config.dataBits = 7;
    config.stopBits = VTSerialPortConfig::kTwoStopBits;
    scanner.SetPortConfig(config);
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_device.Expect(kInterrogate));
    const termios settings = m_probe.LastSettings();
    scanner.Stop(true);
    EXPECT_EQ(cfgetospeed(&settings), speed_t(B2400));
    EXPECT_EQ(settings.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | PARODD), tcflag_t(PARENB | PARODD));
    EXPECT_EQ(settings.c_cflag & CSTOPB, tcflag_t(CSTOPB));
}

} // namespace

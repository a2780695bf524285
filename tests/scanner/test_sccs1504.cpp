#include "tests/scanner/scanbytes.h"
#include "tests/scanner/scanrecorder.h"
#include "tests/scanner/serialprobe.h"
#include "tests/support/cs1504sim.h"
#include "tests/support/dosdevices.h"
#include "tests/support/ptydevice.h"
#include "vtkit/scanner/sccs1504.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using Ms = std::chrono::milliseconds;
using Delivery = std::vector<VTScanData>;
using Parameters = VTBarcodeScannerCS1504::Parameters;
using Fault = InfoPenSim::Fault;

const std::string kInterrogate = Hex({0x01, 0x02, 0x00, 0x9F, 0xDE});
const std::string kGetParameters =
    Hex({0x08, 0x02, 0x07, 0x02, 0x09, 0x08, 0x35, 0x2B, 0x2C, 0x23, 0x00, 0x09, 0x10});
const std::string kUpload = Hex({0x07, 0x02, 0x00, 0x9E, 0x3E});
const std::string kClear = Hex({0x02, 0x02, 0x00, 0x9F, 0x2E});
const std::string kPowerDown = Hex({0x05, 0x02, 0x00, 0x5E, 0x9F});

Parameters DeviceParameters(std::initializer_list<std::pair<int, int>> values)
{
    Parameters parameters{};
    for (const auto& [number, value] : values)
        parameters[number] = static_cast<uint8_t>(value);
    return parameters;
}

const Parameters kAllOn =
    DeviceParameters({{0x02, 3}, {0x08, 1}, {0x09, 1}, {0x2B, 1}, {0x2C, 1}, {0x35, 2}});

// 06 02, the 8-byte header, the records, and two check bytes the decoding
// does not look at (the exchange has checked them).
std::string UploadAnswer(const std::string& records)
{
    return Hex({0x06, 0x02}) + std::string(8, '\x01') + records + "\xAA\xBB";
}

std::string Record(int symbology, const std::string& text)
{
    return Hex({int(text.size() + 1), symbology}) + text;
}

TEST(VTBarcodeScannerCS1504, UploadRecordsFollowTheDeviceParameters)
{
    const std::string stamp = CS1504Sim::TimeStamp();
    const std::string mixed = Record(0x48, "012345678905") + Record(0x09, "0123456") +
                              Record(0x8A, "96385074") + Record(0x4B, "5901234123457") + Record(0x03, "V12") +
                              Record(0x21, "X") + Record(0x00, "skip") + Record(0x88, "036000291452") +
                              Hex({1, 0x03}) + Hex({0});
    const struct {
        const char* name;
        Parameters parameters;
        std::string records;
        bool whole;
        Delivery expected;
    } cases[] = {
        {"all symbologies",
         kAllOn,
         mixed,
         true,
         {{kScanTypeUPCA, "012345678905"},
          {kScanTypeUPCE, "0123456"},
          {kScanTypeEAN8, "96385074"},
          {kScanTypeEAN13, "5901234123457"},
          {kScanTypeCode128, "V12"},
          {kScanTypeUnknown, "X"},
          {kScanTypeUPCA, "036000291452"}}},
        {"UPC-A off",
         DeviceParameters({{0x2C, 1}}),
         mixed,
         true,
         {{kScanTypeUPCE, "0123456"},
          {kScanTypeEAN8, "96385074"},
          {kScanTypeEAN13, "5901234123457"},
          {kScanTypeCode128, "V12"},
          {kScanTypeUnknown, "X"}}},
        {"UPC-E off",
         DeviceParameters({{0x2B, 1}}),
         mixed,
         true,
         {{kScanTypeUPCA, "012345678905"},
          {kScanTypeEAN8, "96385074"},
          {kScanTypeEAN13, "5901234123457"},
          {kScanTypeCode128, "V12"},
          {kScanTypeUnknown, "X"},
          {kScanTypeUPCA, "036000291452"}}},
        {"time stamps",
         DeviceParameters({{0x23, 1}}),
         Record(0x03, "A" + stamp) + Record(0x03, stamp) + Record(0x0B, "5901234123457" + stamp) +
             Record(0x49, "0123456" + stamp) + Hex({0}),
         true,
         {{kScanTypeCode128, "A"}, {kScanTypeEAN13, "5901234123457"}}},
        {"empty list", kAllOn, Hex({0}), true, {}},
        {"record runs past the answer",
         kAllOn,
         Record(0x03, "V1") + Hex({9, 0x03, 'V'}),
         false,
         {{kScanTypeCode128, "V1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VTScanDataSet scans;
        EXPECT_EQ(VTBarcodeScannerCS1504::DecodeUpload(UploadAnswer(c.records), c.parameters, scans),
                  c.whole);
        EXPECT_EQ(Contents(scans), c.expected);
    }
}

TEST(VTBarcodeScannerCS1504, ParametersOfAnAnswer)
{
    Parameters parameters;
    parameters.fill(9);
    const std::string answer =
        Hex({0x06, 0x02, 3, 0x02, 0x03, 0x44, 2, 0x2B, 0x00, 1, 0x09, 3, 0x35, 0x02, 0xFF, 0x00, 0x12, 0x34});
    ASSERT_TRUE(VTBarcodeScannerCS1504::ParseParameters(answer, parameters));
    EXPECT_EQ(parameters, DeviceParameters({{0x02, 3}, {0x35, 2}}));
    EXPECT_FALSE(VTBarcodeScannerCS1504::ParseParameters(
        Hex({0x06, 0x02, 2, 0x02, 0x03, 5, 0x35, 0x12, 0x34}), parameters));
}

// Only what differs from the wanted values is sent, in a fixed order.
TEST(VTBarcodeScannerCS1504, SetParametersCorrectsOnlyWhatIsNeeded)
{
    const struct {
        const char* name;
        int32_t volume;
        Parameters device;
        std::string expected;
    } cases[] = {
        {"all as wanted", VTInfoPenBase::kLeaveParameter, kAllOn, ""},
        {"volume already right", 3, kAllOn, ""},
        {"symbology 0x35 off stays off", VTInfoPenBase::kLeaveParameter,
         DeviceParameters({{0x08, 1}, {0x09, 1}, {0x2B, 1}, {0x2C, 1}}), ""},
        {"nothing reported", VTInfoPenBase::kLeaveParameter, Parameters{},
         Hex({0x03, 0x02, 0x02, 0x08, 0x01, 0x02, 0x09, 0x01, 0x02, 0x2B, 0x01, 0x02, 0x2C, 0x01, 0x00, 0x4E,
              0xCE})},
        {"volume and 0x35", 3,
         DeviceParameters({{0x02, 2}, {0x08, 1}, {0x09, 1}, {0x2B, 1}, {0x2C, 1}, {0x35, 1}}),
         Hex({0x03, 0x02, 0x02, 0x02, 0x03, 0x02, 0x35, 0x02, 0x00, 0xD2, 0x16})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VTBarcodeScannerCS1504 scanner;
        scanner.SetParameter2Value(c.volume);
        EXPECT_EQ(scanner.MakeSetParametersCommand(c.device), c.expected);
    }
}

// A CS1504 on the pty behind "COM1". A pty has no CTS: the device's cradle
// drives the CTS input of the port's OS-call probe, everything else goes
// to the pty.
class CS1504Test : public ::testing::Test {
protected:
    CS1504Test()
    {
        m_dosDevices.Link(1, m_device.SlavePath());
        m_sim.SetCradleLine([this](bool inCradle) { m_probe.SetCTS(inCradle); });
    }
    ~CS1504Test() override
    {
        if (m_scanner)
            m_scanner->Stop(true);
        m_sim.Stop();
    }

    VTBarcodeScannerCS1504& Make(VTSerialSystem& system)
    {
        m_scanner = std::make_unique<VTBarcodeScannerCS1504>(system);
        VTSerialPortConfig config;
        config.portName = "COM1";
        m_scanner->SetPortConfig(config);
        const uint32_t timeouts[] = {100, 200, 300, 300, 300, 300, 50, 5, 600000, 20};
        for (std::size_t index = 0; index < VTInfoPenBase::kTimeoutCount; ++index)
            m_scanner->SetTimeout(index, timeouts[index]);
        m_scanner->SetListener(&m_recorder);
        return *m_scanner;
    }
    VTBarcodeScannerCS1504& Make() { return Make(m_probe); }

    void StoreCodes()
    {
        m_sim.AddRecord(Record(0x48, "012345678905").substr(1));
        m_sim.AddRecord(Record(0x03, "V1234").substr(1));
        m_sim.AddRecord(Record(0x0B, "5901234123457").substr(1));
    }
    static Delivery StoredCodes()
    {
        return {
            {kScanTypeUPCA, "012345678905"}, {kScanTypeCode128, "V1234"}, {kScanTypeEAN13, "5901234123457"}};
    }

    bool WaitUntilAsleep()
    {
        return m_recorder.WaitFor([&] { return !m_sim.IsAwake(); });
    }

    DosDevices m_dosDevices;
    PtyDevice m_device;
    SerialProbe m_probe;
    CS1504Sim m_sim{m_device};
    ScanRecorder m_recorder;
    std::unique_ptr<VTBarcodeScannerCS1504> m_scanner;
};

// With time stamps on, a wrong setting and another volume wanted: the codes
// arrive without stamps, the memory is empty and the settings corrected.
TEST_F(CS1504Test, DownloadReadsParametersClearsAndCorrectsThem)
{
    auto& scanner = Make();
    scanner.SetParameter2Value(2);
    m_sim.SetParameter(0x23, 1);
    m_sim.SetParameter(0x08, 0);
    const std::string stamp = CS1504Sim::TimeStamp();
    m_sim.AddRecord("\x48"
                    "012345678905" +
                    stamp);
    m_sim.AddRecord("\x03"
                    "V1234" +
                    stamp);
    m_sim.AddRecord("\x0B"
                    "5901234123457" +
                    stamp);
    m_sim.Start();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitForScans(3));
    ASSERT_TRUE(WaitUntilAsleep());
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{StoredCodes()});
    EXPECT_TRUE(m_sim.Records().empty());
    EXPECT_EQ(m_sim.Parameter(0x02), 2);
    EXPECT_EQ(m_sim.Parameter(0x08), 1);
    const auto commands = m_sim.Commands();
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[0], kInterrogate);
    EXPECT_EQ(commands[1], kGetParameters);
    EXPECT_EQ(commands[2], kUpload);
    EXPECT_EQ(commands[3], kClear);
    EXPECT_EQ(commands[4].substr(0, 9), Hex({0x03, 0x02, 0x02, 0x02, 0x02, 0x02, 0x08, 0x01, 0x00}));
    EXPECT_EQ(commands[5], kPowerDown);
    EXPECT_EQ(m_sim.Rejected(), 0);
    EXPECT_TRUE(m_device.Failures().empty());
}

// Out of its cradle the device is not asked; put back, it is.
TEST_F(CS1504Test, OnlyADeviceInItsCradleIsAsked)
{
    auto& scanner = Make();
    StoreCodes();
    m_sim.PutInCradle(false);
    m_sim.Start();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_probe.Opens() == 1; }));
    std::this_thread::sleep_for(Ms(300));
    EXPECT_TRUE(m_sim.Commands().empty());
    m_sim.PutInCradle(true);
    ASSERT_TRUE(m_recorder.WaitForScans(3));
    ASSERT_TRUE(WaitUntilAsleep());
    scanner.Stop(true);
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{StoredCodes()});
}

// In the cradle but silent: asked again at once, nothing delivered.
TEST_F(CS1504Test, SilentDeviceInItsCradleIsAskedAgain)
{
    auto& scanner = Make();
    ASSERT_EQ(scanner.Start(), 0);
    EXPECT_TRUE(m_device.Expect(kInterrogate + kInterrogate + kInterrogate));
    scanner.Stop(true);
    EXPECT_TRUE(m_recorder.Deliveries().empty());
    EXPECT_TRUE(m_recorder.Errors().empty());
}

// A device that did not clear keeps its codes: nothing is delivered and
// the next pass uploads them again.
TEST_F(CS1504Test, SilentClearKeepsTheCodesForTheNextPass)
{
    auto& scanner = Make();
    StoreCodes();
    m_sim.QueueFault(VTInfoPenBase::kClearMemory, Fault::kSilent);
    m_sim.Start();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(WaitUntilAsleep());
    scanner.Stop(true);
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{StoredCodes()});
    EXPECT_EQ(m_sim.Count(VTInfoPenBase::kUpload), 2);
}

// Once the memory is cleared the codes exist only in the driver: settings
// that do not take must not lose them.
TEST_F(CS1504Test, SettingsThatFailAfterTheClearStillDeliverTheCodes)
{
    auto& scanner = Make();
    StoreCodes();
    m_sim.SetParameter(0x09, 0);
    m_sim.QueueFault(VTInfoPenBase::kSetParameters, Fault::kSilent);
    m_sim.Start();
    ASSERT_EQ(scanner.Start(), 0);
    ASSERT_TRUE(WaitUntilAsleep());
    scanner.Stop(true);
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{StoredCodes()});
    EXPECT_EQ(m_sim.Count(VTInfoPenBase::kSetParameters), 2);
    EXPECT_EQ(m_sim.Parameter(0x09), 1);
}

// Uses the probe to see DTR and RTS, which a pty does not carry.
TEST_F(CS1504Test, DetectionResetsTheDeviceAndPowersItDown)
{
    auto& scanner = Make();
    VTSerialPortConfig config = scanner.GetPortConfig();
    config.dtrOn = 0;
    config.rtsOn = 0;
    scanner.SetPortConfig(config);
    m_sim.Start();
    ASSERT_EQ(scanner.Detect(), 0);
    ASSERT_TRUE(m_recorder.WaitForStopped());
    EXPECT_EQ(m_recorder.DetectResults(), std::vector<int>{1});
    EXPECT_EQ(m_probe.LineChanges(),
              (std::vector<std::string>{"DTR on", "RTS on", "DTR off", "RTS off", "DTR on", "RTS on"}));
    EXPECT_EQ(m_sim.Commands(), (std::vector<std::string>{kInterrogate, kPowerDown}));
    EXPECT_FALSE(m_sim.IsAwake());
    const termios settings = m_probe.LastSettings();
    EXPECT_EQ(cfgetospeed(&settings), speed_t(B9600));
    EXPECT_EQ(settings.c_cflag & (PARENB | PARODD | CSIZE), tcflag_t(PARENB | PARODD | CS8));
}

TEST_F(CS1504Test, StopDuringTheResetReportsNoResult)
{
    auto& scanner = Make();
    m_sim.Start();
    ASSERT_EQ(scanner.Detect(), 0);
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_probe.LineChanges().size() >= 4; }));
    scanner.Stop(true);
    EXPECT_TRUE(m_recorder.DetectResults().empty());
    EXPECT_EQ(m_recorder.StoppedCount(), 1);
    EXPECT_TRUE(m_sim.Commands().empty());
}

// On the bare pty, without the probe: the modem lines are ignored there
// and the device still answers.
TEST_F(CS1504Test, DetectionOnAPseudoTerminal)
{
    auto& scanner = Make(VTSerialSystem::Real());
    ASSERT_EQ(scanner.Detect(), 0);
    ASSERT_TRUE(m_recorder.WaitForStopped());
    m_device.Receive(64, Ms(100));
    m_sim.Start();
    ASSERT_EQ(scanner.Detect(), 0);
    ASSERT_TRUE(m_recorder.WaitForStopped(2));
    EXPECT_EQ(m_recorder.DetectResults(), (std::vector<int>{0, 1}));
    EXPECT_TRUE(m_recorder.Errors().empty());
}

} // namespace

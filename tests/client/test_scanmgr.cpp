#include "client/scanmgr.h"

#include "client/uitextids.h"
#include "tests/client/scanhost.h"
#include "tests/support/dosdevices.h"
#include "tests/support/infopensim.h"
#include "tests/support/pennysim.h"
#include "tests/support/portholder.h"
#include "tests/support/ptydevice.h"
#include "tests/support/qoderdevice.h"
#include "tests/support/scopedenv.h"
#include "tests/support/scriptedhook.h"
#include "vtkit/scanner/sccs1504.h"
#include "vtkit/scanner/scinfopen.h"
#include "vtkit/scanner/scpassive.h"
#include "vtkit/scanner/scpenny.h"
#include "vtkit/scanner/scqoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <typeindex>

// Readable failures.
void PrintTo(const VTScanData& scan, std::ostream* out)
{
    *out << "{" << scan.type << ", \"" << scan.text << "\"}";
}

void PrintTo(CViewMessageId id, std::ostream* out)
{
    *out << "message " << static_cast<int>(id);
}

namespace {

namespace fs = std::filesystem;
using Ms = std::chrono::milliseconds;
using Scans = std::vector<VTScanData>;
using Role = CScannerListener::Role;

constexpr const char* kWandScan = "c012345678905\r\n";
const VTScanData kWandData{kScanTypeUPC, "012345678905"};

std::vector<CViewMessageId> Ids(const std::vector<CViewMessage>& messages)
{
    std::vector<CViewMessageId> ids;
    for (const auto& message : messages)
        ids.push_back(message.id);
    return ids;
}

Scans ToVector(const VTScanDataSet& set)
{
    Scans scans;
    for (std::size_t i = 0; i < set.GetCount(); ++i)
        scans.push_back(set.GetAt(i));
    return scans;
}

// A folder first on PATH with a stand-in xdg-screensaver that logs its
// arguments, so a test sees the screen being woken and no real one runs.
std::string ScreenSaverOnPath(const TempHome& home)
{
    const fs::path bin = home.Dir() / "bin";
    fs::create_directories(bin);
    const fs::path script = bin / "xdg-screensaver";
    std::ofstream(script) << "#!/bin/sh\necho \"$*\" >> '" << (home.Dir() / "screensaver.log").string()
                          << "'\n";
    fs::permissions(script, fs::perms::owner_all);
    const char* path = std::getenv("PATH");
    return bin.string() + ":" + (path ? path : "/usr/bin:/bin");
}

bool WaitUntil(const std::function<bool()>& condition, Ms timeout = Ms(10000))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(Ms(10));
    }
    return true;
}

class ScanMgrTest : public ::testing::Test {
protected:
    ScanMgrTest()
    {
        // No port exists unless a test links a device to it.
        for (int number = 1; number <= 9; ++number)
            m_dosDevices.LinkMissing(number);
    }

    CClientSettings& Settings() { return m_host.Settings(); }
    RecordingPort& Port() { return m_host.Recorder(); }
    std::string Text(int id) { return m_host.Context().Language().LoadText(id); }
    std::string WithCode(int id, int code)
    {
        return Text(id) + "\n\n\t" + Text(kStrErrorCode) + std::to_string(code) + "\n";
    }

    // The Welch Allyn wand on the pty behind COM1, reading.
    void StartWand()
    {
        m_dosDevices.Link(1, m_device.SlavePath());
        Settings().scannerPort = 0;
        Settings().useScanner = 1;
        ASSERT_TRUE(m_manager.SelectScanner(CScannerType::WelchAllyn6180));
        m_manager.StartReading();
        ASSERT_TRUE(m_device.WaitForOpen());
    }

    // The keyboard hook library the program folder offers is the scripted one.
    void OfferScriptedHook()
    {
        fs::create_symlink(m_hook.Path(), m_host.ProgramFolder() / VTKeyboardHook::kLibraryName);
    }

    std::string ScreenSaverLog() const
    {
        const fs::path log = m_home.Dir() / "screensaver.log";
        return fs::exists(log) ? TempDir::ReadFile(log) : std::string();
    }

    TempHome m_home;
    ScopedEnv m_path{"PATH", ScreenSaverOnPath(m_home).c_str()};
    DosDevices m_dosDevices;
    PtyDevice m_device;
    ScriptedHook m_hook{LUMORA_SCRIPTED_HOOK};
    ScanTestHost m_host{m_home};
    CScannerMgr m_manager{m_host};
};

// The scanner table: which driver, which port and which volume each type
// gets from the stored settings, and the out-of-range rules.
TEST_F(ScanMgrTest, ScannerTableGivesDriversPortsAndVolumes)
{
    struct Case {
        CScannerType type;
        std::int32_t storedPort;
        std::int32_t storedVolume;
        std::optional<std::type_index> driver; // none: no scanner
        std::string port;                      // empty: no port
        std::int32_t level;                    // the device volume, or kLeaveParameter
    };
    const auto pen = std::type_index(typeid(VTBarcodeScannerInfoPen));
    const Case cases[] = {
        {CScannerType::NetPen, 12, 0, pen, "COM1", 3},
        {CScannerType::CyberPen, 4, 1, pen, "COM5", 2},
        {CScannerType::CyberPen, -1, 2, pen, "COM1", 1},
        {CScannerType::CyberPen, 8, 7, pen, "COM9", 3},
        {CScannerType::Cs2000, 9, 2, typeid(VTBarcodeScannerCS2000), "COM1", 1},
        {CScannerType::Cs1504, 3, -1, typeid(VTBarcodeScannerCS1504), "COM4", 3},
        {CScannerType::Pennyscanner, 12, 0, typeid(VTPennyScanner), "COM1", VTInfoPenBase::kLeaveParameter},
        {CScannerType::Pennyscanner, 6, 0, typeid(VTPennyScanner), "COM7", VTInfoPenBase::kLeaveParameter},
        {CScannerType::WelchAllyn6180, 2, 0, typeid(VTBarcodeScannerWelchAllyn6180), "COM3",
         VTInfoPenBase::kLeaveParameter},
        {CScannerType::Aim, 0, 0, typeid(VTBarcodeScannerAIM), "COM1", VTInfoPenBase::kLeaveParameter},
        {CScannerType::OtherSerial, 5, 0, typeid(VTPassiveSerialBarcodeScanner), "COM6",
         VTInfoPenBase::kLeaveParameter},
        // The serial scanners take the stored index as it is: COM13 is no port.
        {CScannerType::WelchAllyn6180, 12, 0, std::nullopt, "", VTInfoPenBase::kLeaveParameter},
        {CScannerType::Qoder, 0, 0, typeid(VTQoderScanner), "", VTInfoPenBase::kLeaveParameter},
        {CScannerType::Keyfob, 0, 0, typeid(VTQoderScanner), "", VTInfoPenBase::kLeaveParameter},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ScannerTypeNumber(c.type));
        SCOPED_TRACE(c.storedPort);
        Settings().penPort = Settings().symbolPort = Settings().pennyPort = Settings().scannerPort =
            c.storedPort;
        Settings().penVolume = Settings().symbolVolume = c.storedVolume;
        EXPECT_EQ(m_manager.SelectScanner(c.type), c.driver.has_value());
        ASSERT_EQ(m_manager.HasScanner(), c.driver.has_value());
        EXPECT_EQ(m_manager.ScannerType(), c.type);
        if (!c.driver)
            continue;
        const VTBarcodeScanner& driver = *m_manager.Driver();
        EXPECT_EQ(std::type_index(typeid(driver)), *c.driver);
        const auto* serial = dynamic_cast<const VTSerialBarcodeScanner*>(&driver);
        EXPECT_EQ(serial ? serial->GetPortConfig().portName : "", c.port);
        const auto* pen = dynamic_cast<const VTInfoPenBase*>(&driver);
        EXPECT_EQ(pen ? pen->GetParameter2Value() : VTInfoPenBase::kLeaveParameter, c.level);
    }
    EXPECT_TRUE(Port().Boxes().empty());
}

// The Pocket has no driver: selecting and starting it succeed at once.
TEST_F(ScanMgrTest, PocketStartsNothingAndSucceeds)
{
    Settings().useScanner = 1;
    EXPECT_TRUE(m_manager.SelectScanner(CScannerType::Pocket));
    EXPECT_FALSE(m_manager.HasScanner());
    m_manager.StartReading();
    EXPECT_FALSE(m_manager.IsReading());
    m_manager.StopReading();
    EXPECT_TRUE(Port().Boxes().empty());
    EXPECT_TRUE(Port().TakeMessages().empty());
}

// A stored pen port of 12 opens COM1, and the pen's volume index reaches the
// device as its level; its upload arrives as one scan event.
TEST_F(ScanMgrTest, PenPort12OpensCom1WithTheVolumeLevel)
{
    m_dosDevices.Link(1, m_device.SlavePath());
    InfoPenSim pen(m_device);
    pen.AddRecord("A012345678905");
    pen.AddRecord("D12345ABC");
    pen.Start();
    Settings().penPort = 12;
    Settings().penVolume = 2;
    Settings().useScanner = 1;
    ASSERT_TRUE(m_manager.SelectScanner(CScannerType::CyberPen));
    m_manager.StartReading();
    const auto message = Port().NextMessage();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->id, CViewMessageId::ScanDataArrived);
    m_manager.StopReading();
    pen.Stop();
    EXPECT_EQ(ToVector(m_manager.TakePendingScans()),
              (Scans{{kScanTypeUPCOrEAN, "012345678905"}, {kScanTypeCode128, "12345ABC"}}));
    EXPECT_EQ(pen.Parameter(0x02), 1);
    EXPECT_TRUE(pen.Records().empty());
    EXPECT_EQ(Port().Beeps(), 0);
}

TEST_F(ScanMgrTest, UseScannerOffStartsNothing)
{
    m_dosDevices.Link(1, m_device.SlavePath());
    Settings().scannerPort = 0;
    ASSERT_TRUE(m_manager.SelectScanner(CScannerType::WelchAllyn6180));
    m_manager.StartReading();
    EXPECT_FALSE(m_manager.IsReading());
    EXPECT_FALSE(m_device.WaitForOpen(Ms(300)));
}

// A wand scan while idle: pending, one scan-data-arrived, the screen woken,
// no beep.
TEST_F(ScanMgrTest, WandScanWhileIdleIsPostedOnce)
{
    StartWand();
    m_device.Send(kWandScan);
    const auto message = Port().NextMessage();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->id, CViewMessageId::ScanDataArrived);
    EXPECT_TRUE(m_manager.HasPendingScans());
    EXPECT_FALSE(m_manager.ScansFromOtherProgram());
    EXPECT_EQ(ToVector(m_manager.TakePendingScans()), Scans{kWandData});
    EXPECT_FALSE(m_manager.HasPendingScans());
    EXPECT_TRUE(WaitUntil([&] { return ScreenSaverLog() == "reset\n"; })) << ScreenSaverLog();
    m_manager.StopReading();
    EXPECT_TRUE(Port().TakeMessages().empty());
    EXPECT_EQ(Port().Beeps(), 0);
    EXPECT_FALSE(m_device.IsOpenByDriver());
}

// A scan that comes while a code is processed becomes pending without a
// message; the next idle state posts it.
TEST_F(ScanMgrTest, ScanWhileProcessingIsPostedAtTheNextIdle)
{
    StartWand();
    m_host.SetState(CDocState::Processing);
    m_device.Send(kWandScan);
    ASSERT_TRUE(WaitUntil([&] { return m_manager.HasPendingScans(); }));
    m_manager.StopReading();
    EXPECT_TRUE(Port().TakeMessages().empty());

    m_host.SetState(CDocState::Idle);
    m_manager.StartReading();
    EXPECT_EQ(Ids(Port().TakeMessages()), std::vector{CViewMessageId::ScanDataArrived});
    EXPECT_EQ(ToVector(m_manager.TakePendingScans()), Scans{kWandData});
    m_manager.StopReading();
}

// A scan that comes while earlier ones wait for the view joins them: no
// second message, nothing lost.
TEST_F(ScanMgrTest, ScanWhileScansArePendingJoinsThem)
{
    StartWand();
    m_device.Send(kWandScan);
    const auto first = Port().NextMessage();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->id, CViewMessageId::ScanDataArrived);
    m_device.Send("d5901234123457\r\n");
    ASSERT_TRUE(WaitUntil([&] { return m_manager.PendingScanCount() == 2; }));
    m_manager.StopReading();
    EXPECT_TRUE(Port().TakeMessages().empty());
    EXPECT_EQ(ToVector(m_manager.TakePendingScans()),
              (Scans{kWandData, {kScanTypeUPCOrEAN, "5901234123457"}}));
}

// The beep: the Pennyscanner and the two keyboard scanners only, and only for
// scans that came while idle. The real listener, fed as a driver feeds it.
TEST_F(ScanMgrTest, BeepOnlyForPennyscannerQoderAndKeyfobWhileIdle)
{
    CScannerListener listener(m_manager, Role::kReading);
    VTScanDataSet scans;
    scans.Add(kScanTypeEAN8, "02103822");
    for (std::int32_t number = 0; number < kScannerTypeCount; ++number) {
        const CScannerType type = *ScannerTypeFromNumber(number);
        SCOPED_TRACE(number);
        m_manager.SelectScanner(type);
        for (const CDocState state : {CDocState::Idle, CDocState::Processing}) {
            m_host.SetState(state);
            listener.OnScanData(scans);
            const int before = Port().Beeps();
            EXPECT_EQ(ToVector(m_manager.TakePendingScans()), ToVector(scans));
            const bool beeps =
                state == CDocState::Idle && (type == CScannerType::Pennyscanner ||
                                             type == CScannerType::Qoder || type == CScannerType::Keyfob);
            EXPECT_EQ(Port().Beeps() - before, beeps ? 1 : 0);
        }
    }
}

// A keyboard scanner's download through the manager: the real driver on the
// scripted hook library, its codes pending, one beep when the view takes them.
TEST_F(ScanMgrTest, QoderDownloadArrivesWithABeep)
{
    OfferScriptedHook();
    QoderDevice device(false, false);
    device.Download("Q0001234567890", {"]C0237659"});
    m_hook.SetUp(device.ScriptText(), false, false);
    Settings().useScanner = 1;
    ASSERT_TRUE(m_manager.SelectScanner(CScannerType::Qoder));
    m_manager.StartReading();
    ASSERT_TRUE(Port().Boxes().empty()) << Port().Boxes().front();
    const auto message = Port().NextMessage(Ms(20000));
    ASSERT_TRUE(message);
    EXPECT_EQ(message->id, CViewMessageId::ScanDataArrived);
    EXPECT_EQ(ToVector(m_manager.TakePendingScans()), (Scans{{kScanTypeCode128, "237659"}}));
    EXPECT_EQ(Port().Beeps(), 1);
    ASSERT_TRUE(m_hook.WaitFor("played", 1));
    m_manager.StopReading();
}

// Each listener operation by what happened and the document's state.
TEST_F(ScanMgrTest, ListenerOperationsPostByState)
{
    ASSERT_TRUE(m_manager.SelectScanner(CScannerType::Pennyscanner));
    CScannerListener reading(m_manager, Role::kReading);
    CScannerListener detecting(m_manager, Role::kDetecting);
    struct Case {
        const char* what;
        CDocState state;
        std::function<void()> call;
        std::vector<CViewMessageId> ids;
        std::int32_t first = 0, second = 0;
        std::string text;
    };
    m_manager.StartReading(); // loads the download texts
    const Case cases[] = {
        {"download timed out",
         CDocState::Idle,
         [&] { reading.OnDownloadError(2); },
         {CViewMessageId::ScannerError},
         2,
         0,
         Text(kStrDownloadTimedOut)},
        {"transmission error",
         CDocState::Idle,
         [&] { reading.OnDownloadError(3); },
         {CViewMessageId::ScannerError},
         3,
         0,
         Text(kStrDownloadTransmissionError)},
        {"other download error",
         CDocState::Processing,
         [&] { reading.OnDownloadError(7); },
         {CViewMessageId::ScannerError},
         7,
         0,
         Text(kStrDownloadFailed)},
        {"scanner error",
         CDocState::Idle,
         [&] { reading.OnScannerError("VTSerialPortException: Receive error"); },
         {CViewMessageId::ScannerError},
         0,
         0,
         "VTSerialPortException: Receive error"},
        {"error while detecting",
         CDocState::SettingsOpen,
         [&] { detecting.OnScannerError("boom"); },
         {CViewMessageId::DetectResult},
         0,
         1,
         ""},
        {"detect result",
         CDocState::SettingsOpen,
         [&] { detecting.OnDetectResult(1); },
         {CViewMessageId::DetectResult},
         1,
         1,
         ""},
        {"stopped by itself while idle",
         CDocState::Idle,
         [&] { reading.OnScannerStopped(); },
         {CViewMessageId::ScannerStopped},
         0,
         0,
         ""},
        {"stopped while busy", CDocState::Processing, [&] { reading.OnScannerStopped(); }, {}, 0, 0, ""},
        {"detection ended", CDocState::Idle, [&] { detecting.OnScannerStopped(); }, {}, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_host.SetState(c.state);
        c.call();
        const auto messages = Port().TakeMessages();
        ASSERT_EQ(Ids(messages), c.ids);
        if (messages.empty())
            continue;
        EXPECT_EQ(messages[0].first, c.first);
        EXPECT_EQ(messages[0].second, c.second);
        EXPECT_EQ(messages[0].text, c.text);
    }
}

// A stop the manager asked for is not the scanner stopping by itself; a
// device that goes away while idle is reported, then the stop.
TEST_F(ScanMgrTest, StoppedScannerIsReportedOnlyWhenItStoppedByItself)
{
    StartWand();
    m_manager.StopReading();
    EXPECT_TRUE(Port().TakeMessages().empty());

    m_manager.StartReading();
    ASSERT_TRUE(m_device.WaitForOpen());
    m_device.HangUp();
    std::vector<CViewMessageId> ids;
    while (ids.size() < 2)
        if (const auto message = Port().NextMessage())
            ids.push_back(message->id);
        else
            break;
    EXPECT_EQ(ids, (std::vector{CViewMessageId::ScannerError, CViewMessageId::ScannerStopped}));
}

// A scanner that cannot start: 32817 with code 14 (ending with the menu
// path), the keyboard scanners under Wayland their own message; the scanner
// stays, so the next idle state tries again.
TEST_F(ScanMgrTest, StartFailuresAreShown)
{
    const std::string notStarted = Text(kStrScannerNotStarted);
    ASSERT_TRUE(notStarted.ends_with("by selecting menu item \"Settings - Scanner\"."));
    struct Case {
        const char* what;
        CScannerType type;
        bool hook;
        int hookError; // 0: none
        int text;
    };
    const Case cases[] = {
        {"missing port", CScannerType::WelchAllyn6180, false, 0, kStrScannerNotStarted},
        {"no hook library", CScannerType::Qoder, false, 0, kStrScannerNotStarted},
        {"no X display", CScannerType::Keyfob, true, VTKeyboardHook::kNoDisplay, kStrScannerNotStarted},
        {"Wayland session", CScannerType::Qoder, true, VTKeyboardHook::kWaylandSession,
         kStrKeyboardScannerNeedsX11},
    };
    Settings().useScanner = 1;
    Settings().scannerPort = 1; // COM2, missing
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(m_host.ProgramFolder() / VTKeyboardHook::kLibraryName);
        if (c.hook) {
            OfferScriptedHook();
            m_hook.SetUp("", false, false);
            m_hook.FailNext("VTSetHook 1025", c.hookError);
        }
        ASSERT_TRUE(m_manager.SelectScanner(c.type));
        for (int attempt = 0; attempt < (c.hook ? 1 : 2); ++attempt) {
            const std::size_t shown = Port().Boxes().size();
            m_manager.StartReading();
            ASSERT_EQ(Port().Boxes().size(), shown + 1);
            EXPECT_EQ(Port().Boxes().back(), WithCode(c.text, 14));
            EXPECT_TRUE(m_manager.HasScanner());
            EXPECT_FALSE(m_manager.IsReading());
        }
    }
    EXPECT_NE(Text(kStrKeyboardScannerNeedsX11).find("X11"), std::string::npos);
}

// A download from a memory scanner: busy while it runs, the scans posted
// once it has ended, and no stopped-by-itself report.
TEST_F(ScanMgrTest, DownloadPostsItsScansWhenDone)
{
    m_dosDevices.Link(3, m_device.SlavePath());
    InfoPenSim pen(m_device);
    pen.AddRecord("A012345678905");
    pen.Start();
    Settings().penPort = 2;
    ASSERT_TRUE(m_manager.SelectScanner(CScannerType::NetPen));
    ASSERT_TRUE(m_manager.Download());
    const auto message = Port().NextMessage();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->id, CViewMessageId::ScanDataArrived);
    EXPECT_FALSE(m_manager.IsBusy());
    EXPECT_EQ(ToVector(m_manager.TakePendingScans()), (Scans{{kScanTypeUPCOrEAN, "012345678905"}}));
    EXPECT_TRUE(WaitUntil([&] { return !m_device.IsOpenByDriver(); }));
    EXPECT_TRUE(Port().TakeMessages().empty());
    pen.Stop();
    // On-line scanners have nothing to download.
    ASSERT_TRUE(m_manager.SelectScanner(CScannerType::Aim));
    EXPECT_FALSE(m_manager.Download());
}

TEST_F(ScanMgrTest, DataBlocksFromAnotherProgram)
{
    using Result = CScannerMgr::BlockResult;
    const std::string block("\x05"
                            "B1234\0",
                            7);
    struct Case {
        const char* what;
        std::string bytes;
        Result result;
    };
    const Case cases[] = {
        {"no final zero", block.substr(0, 6), Result::kMalformed},
        {"record of length 1",
         std::string("\x01"
                     "A\0",
                     3),
         Result::kMalformed},
        {"nothing", "", Result::kMalformed},
        {"only the end", std::string(1, '\0'), Result::kEmpty},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(m_manager.AddDataBlock(c.bytes), c.result);
        EXPECT_FALSE(m_manager.HasPendingScans());
    }
    EXPECT_TRUE(Port().TakeMessages().empty());

    const std::string two("\x05"
                          "B1234\x09Gabcdefgh\x03Zxy\0",
                          21);
    EXPECT_EQ(m_manager.AddDataBlock(two), Result::kAdded);
    EXPECT_EQ(Ids(Port().TakeMessages()), std::vector{CViewMessageId::ScanDataArrived});
    EXPECT_TRUE(m_manager.ScansFromOtherProgram());
    // While they wait for the view another block is dropped.
    EXPECT_EQ(m_manager.AddDataBlock(block), Result::kDropped);
    EXPECT_EQ(ToVector(m_manager.TakePendingScans()),
              (Scans{{kScanTypeUPC, "1234"}, {kScanTypeEAN13, "abcdefgh"}, {kScanTypeUnknown, "xy"}}));
    EXPECT_FALSE(m_manager.ScansFromOtherProgram());
    EXPECT_EQ(Port().Beeps(), 0);

    // One that comes while the client is busy is posted at the next idle.
    m_host.SetState(CDocState::ModalDialog);
    EXPECT_EQ(m_manager.AddDataBlock(block), Result::kAdded);
    EXPECT_TRUE(Port().TakeMessages().empty());
    m_host.SetState(CDocState::Idle);
    m_manager.StartReading();
    EXPECT_EQ(Ids(Port().TakeMessages()), std::vector{CViewMessageId::ScanDataArrived});
}

TEST_F(ScanMgrTest, PortCheckMessages)
{
    PtyDevice held;
    const TempDir files;
    m_dosDevices.Link(1, m_device.SlavePath());
    m_dosDevices.Link(3, held.SlavePath());
    m_dosDevices.Link(4, files.WriteFile("not-a-tty", "").string());
    PortHolder holder(held.SlavePath());
    const struct {
        std::int32_t index;
        int result;
    } cases[] = {
        {0, 0}, {1, kStrPortNotFound}, {2, kStrPortInUse}, {3, kStrPortFailed}, {12, kStrPortNotFound}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(m_manager.CheckPort(c.index), c.result);
    }
    EXPECT_FALSE(m_device.IsOpenByDriver());
    EXPECT_FALSE(Text(kStrPortInUse).empty());
}

// Auto-detection finds a Pennyscanner on COM3: COM1 first, the port stored
// for the type, one beep, the dialog closed with the port.
TEST_F(ScanMgrTest, AutoDetectFindsThePennyscanner)
{
    m_dosDevices.Link(3, m_device.SlavePath());
    PennySim penny(m_device);
    penny.SetCallWindows(Ms(60000), Ms(1000));
    penny.Start();
    Settings().pennyPort = 6;
    m_host.SetState(CDocState::SettingsOpen);
    std::int32_t portDuringInstructions = -2;
    DetectTestUi ui(true, [&] {
        portDuringInstructions = Settings().pennyPort;
        penny.Press();
    });
    ASSERT_TRUE(m_manager.RunAutoDetect(CScannerType::Pennyscanner, ui));
    EXPECT_TRUE(m_manager.IsDetecting());
    std::vector<CViewMessage> others;
    ASSERT_TRUE(PumpDetection(m_manager, Port(), ui, others));
    penny.Stop();
    EXPECT_EQ(portDuringInstructions, 0);
    EXPECT_EQ(ui.instructions, std::vector{Text(kStrDetectInstructPenny)});
    EXPECT_EQ(ui.texts, std::vector{Text(kStrDetectInProgress)});
    ASSERT_FALSE(ui.progress.empty());
    EXPECT_EQ(ui.progress.front(), (std::pair<std::int32_t, std::int32_t>(1000, 15000)));
    EXPECT_EQ(ui.progress.size(), 3u); // the start, then COM2 and COM3
    EXPECT_EQ(*ui.finished, 2);
    EXPECT_EQ(Settings().pennyPort, 2);
    EXPECT_EQ(Port().Beeps(), 1);
    EXPECT_FALSE(m_manager.IsDetecting());
    EXPECT_TRUE(others.empty());
    EXPECT_TRUE(Port().Boxes().empty());
    EXPECT_FALSE(m_device.IsOpenByDriver());
}

// Nothing answers: probing goes round the nine ports until 25001 ms have
// passed, then the port chosen before comes back and the time-out is shown.
TEST_F(ScanMgrTest, AutoDetectTimesOutAndRestoresThePort)
{
    auto now = std::chrono::steady_clock::now();
    m_manager.SetClock([&] {
        const auto then = now;
        now += Ms(2000);
        return then;
    });
    Settings().symbolPort = 5;
    m_host.SetState(CDocState::SettingsOpen);
    DetectTestUi ui(true);
    ASSERT_TRUE(m_manager.RunAutoDetect(CScannerType::Cs1504, ui));
    std::vector<CViewMessage> others;
    ASSERT_TRUE(PumpDetection(m_manager, Port(), ui, others));
    EXPECT_EQ(*ui.finished, std::nullopt);
    EXPECT_EQ(Settings().symbolPort, 5);
    EXPECT_EQ(Port().Boxes(), std::vector{WithCode(kStrDetectTimedOut, 14)});
    // A probe every two seconds of the clock: the last progress is 24000 ms.
    ASSERT_FALSE(ui.progress.empty());
    EXPECT_EQ(ui.progress.back(), (std::pair<std::int32_t, std::int32_t>(24000, 15000)));
    EXPECT_EQ(ui.progress.size(), 13u);
    EXPECT_EQ(Port().Beeps(), 0);
    EXPECT_FALSE(m_manager.IsDetecting());
}

// The instruction by type; Cancel puts the port back and probes nothing.
TEST_F(ScanMgrTest, AutoDetectInstructionsAndCancel)
{
    m_dosDevices.Link(1, m_device.SlavePath());
    const struct {
        CScannerType type;
        int text;
    } cases[] = {
        {CScannerType::Pennyscanner, kStrDetectInstructPenny},
        {CScannerType::Cs1504, kStrDetectInstructCs1504},
        {CScannerType::Cs2000, kStrDetectInstructCs2000},
        {CScannerType::CyberPen, kStrDetectInstructGeneric},
        {CScannerType::NetPen, kStrDetectInstructGeneric},
    };
    Settings().penPort = Settings().symbolPort = Settings().pennyPort = 4;
    m_host.SetState(CDocState::SettingsOpen);
    for (const auto& c : cases) {
        SCOPED_TRACE(ScannerTypeNumber(c.type));
        DetectTestUi ui(false);
        EXPECT_FALSE(m_manager.RunAutoDetect(c.type, ui));
        EXPECT_EQ(ui.instructions, std::vector{Text(c.text)});
        EXPECT_TRUE(ui.progress.empty());
        EXPECT_FALSE(ui.finished);
        EXPECT_FALSE(m_manager.IsDetecting());
    }
    EXPECT_EQ(Settings().penPort, 4);
    EXPECT_EQ(Settings().symbolPort, 4);
    EXPECT_EQ(Settings().pennyPort, 4);
    EXPECT_FALSE(m_device.WaitForOpen(Ms(200)));
    EXPECT_TRUE(Port().TakeMessages().empty());
    // On-line and keyboard scanners have nothing to detect.
    for (const CScannerType type :
         {CScannerType::WelchAllyn6180, CScannerType::Qoder, CScannerType::Pocket}) {
        DetectTestUi ui(true);
        EXPECT_FALSE(m_manager.RunAutoDetect(type, ui));
        EXPECT_TRUE(ui.instructions.empty());
    }
}

// A port whose device fails the probe counts as nothing found there; the
// pen on the next port is found.
TEST_F(ScanMgrTest, AutoDetectGoesOnPastAFailingPort)
{
    PtyDevice failing;
    failing.Play([](PtyDevice& device) {
        if (device.WaitForOpen())
            device.HangUp();
    });
    m_dosDevices.Link(1, failing.SlavePath());
    m_dosDevices.Link(2, m_device.SlavePath());
    InfoPenSim pen(m_device);
    pen.Start();
    m_host.SetState(CDocState::SettingsOpen);
    DetectTestUi ui(true);
    ASSERT_TRUE(m_manager.RunAutoDetect(CScannerType::CyberPen, ui));
    std::vector<CViewMessage> others;
    ASSERT_TRUE(PumpDetection(m_manager, Port(), ui, others));
    pen.Stop();
    failing.StopPlaying();
    EXPECT_EQ(*ui.finished, 1);
    EXPECT_EQ(Settings().penPort, 1);
    EXPECT_EQ(Port().Beeps(), 0);
    EXPECT_TRUE(Port().Boxes().empty());
}

} // namespace

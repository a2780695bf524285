#include "hook/vtkbdhook.h"
#include "tests/scanner/scanrecorder.h"
#include "tests/support/qoderdevice.h"
#include "tests/support/scriptedhook.h"
#include "tests/support/temphome.h"
#include "vtkit/scanner/scqoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <type_traits>

// The driver declares the library's entry points itself; they must be the
// library's own.
static_assert(std::is_same_v<decltype(&VTSetHook), VTKeyboardHook::SetHookFn>);
static_assert(std::is_same_v<decltype(&VTRemoveHook), VTKeyboardHook::RemoveHookFn>);
static_assert(std::is_same_v<decltype(&VTResetHook), VTKeyboardHook::ResetHookFn>);
static_assert(std::is_same_v<decltype(&VTSetCapture), VTKeyboardHook::SetCaptureFn>);
static_assert(std::is_same_v<decltype(&VTGetLockStates), VTKeyboardHook::GetLockStatesFn>);
static_assert(std::is_same_v<decltype(&VTToggleLock), VTKeyboardHook::ToggleLockFn>);
static_assert(std::is_same_v<VTHookWindow, VTKeyboardHook::Window>);
static_assert(sizeof(VTHookMessage) == sizeof(VTKeyboardHook::Message));
static_assert(offsetof(VTHookMessage, wParam) == offsetof(VTKeyboardHook::Message, wParam));
static_assert(offsetof(VTHookMessage, lParam) == offsetof(VTKeyboardHook::Message, lParam));
static_assert(VTHOOK_ERROR_NO_DISPLAY == VTKeyboardHook::kNoDisplay);
static_assert(VTHOOK_ERROR_WAYLAND == VTKeyboardHook::kWaylandSession);
static_assert(VTHOOK_ERROR_NO_XINPUT == VTKeyboardHook::kNoXInput);
static_assert(VTHOOK_ERROR_NO_XTEST == VTKeyboardHook::kNoXTest);
static_assert(VTHOOK_ERROR_IN_USE == VTKeyboardHook::kInUse);
static_assert(VTHOOK_ERROR_NOT_HOOKED == VTKeyboardHook::kNotHooked);
static_assert(VTHOOK_ERROR_GRABBED == VTKeyboardHook::kGrabbed);
static_assert(VTHOOK_ERROR_NO_LOCK_KEY == VTKeyboardHook::kNoLockKey);
static_assert(VTHOOK_ERROR_NOT_LOCK_KEY == VTKeyboardHook::kNotLockKey);
static_assert(VTHOOK_ERROR_CONNECTION_LOST == VTKeyboardHook::kConnectionLost);

namespace {

using Ms = std::chrono::milliseconds;
using Delivery = std::vector<VTScanData>;
using Device = QoderDevice;

constexpr const char* kSerial = "Q0001234567890";

class TraceRecorder : public VTQoderTraceSink {
public:
    void OnTrace(const char* text, int32_t number) override
    {
        std::lock_guard lock(m_lock);
        m_events.emplace_back(text, number);
    }

    std::vector<int32_t> States() const
    {
        std::lock_guard lock(m_lock);
        std::vector<int32_t> states;
        for (const auto& [text, number] : m_events)
            if (text == "Changing to state")
                states.push_back(number);
        return states;
    }

    int Count(const std::string& text, std::optional<int32_t> number = std::nullopt) const
    {
        std::lock_guard lock(m_lock);
        return static_cast<int>(std::count_if(m_events.begin(), m_events.end(), [&](const auto& event) {
            return event.first == text && (!number || event.second == *number);
        }));
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::pair<std::string, int32_t>> m_events;
};

int Count(const std::vector<std::string>& log, const std::string& line)
{
    return static_cast<int>(std::count(log.begin(), log.end(), line));
}

class QoderTest : public ::testing::Test {
protected:
    QoderTest()
    {
        m_scanner.SetListener(&m_recorder);
        m_scanner.SetTraceSink(&m_trace);
    }
    ~QoderTest() override { m_scanner.Stop(true); }

    void Start(const Device& device, bool capsLockOn, bool numLockOn)
    {
        m_hook.SetUp(device.ScriptText(), capsLockOn, numLockOn);
        ASSERT_EQ(m_scanner.Start(), 0) << m_scanner.GetLastOpenError();
    }
    // The device played its part and the host is listening again.
    bool WaitForPlayed() { return m_hook.WaitFor("played", 1); }
    bool WaitForDeliveries(std::size_t count)
    {
        return m_recorder.WaitFor([&] { return m_recorder.Deliveries().size() >= count; });
    }
    // Plays a download that fails with one error: the error signalled, the
    // keyboard put back, nothing delivered.
    void ExpectDownloadError(const Device& device, bool capsLockOn, bool numLockOn, int error)
    {
        ScanRecorder recorder;
        m_scanner.SetListener(&recorder);
        Start(device, capsLockOn, numLockOn);
        ASSERT_TRUE(recorder.WaitFor([&] { return !recorder.DownloadErrors().empty(); }, Ms(20000)));
        ASSERT_TRUE(WaitForPlayed());
        m_scanner.Stop(true);
        EXPECT_EQ(recorder.DownloadErrors(), std::vector<int>{error});
        EXPECT_TRUE(recorder.Deliveries().empty());
        ExpectKeyboardAsAtStart(capsLockOn, numLockOn);
    }
    void ExpectKeyboardAsAtStart(bool capsLockOn, bool numLockOn)
    {
        EXPECT_EQ(m_hook.CapsLockOn(), capsLockOn);
        EXPECT_EQ(m_hook.NumLockOn(), numLockOn);
        EXPECT_FALSE(m_hook.CaptureOn());
    }

    TempHome m_home;
    ScriptedHook m_hook{LUMORA_SCRIPTED_HOOK};
    ScanRecorder m_recorder;
    TraceRecorder m_trace;
    VTQoderScanner m_scanner{m_hook.Path()};
};

// Two downloads in one run, the first with lines of every prefix; each ends
// back in the listening state with the keyboard as it was.
TEST_F(QoderTest, DownloadsOfEveryPrefixAreDelivered)
{
    const std::vector<std::string> first = {
        "]E00012345678905", "]E04006381333931", "]E0123456789012", "]E402103822", "]E455123457",
        "]C0237659",        "]C0753673",        "]A0ABC123",       "]e1xyz9",     "ABC123",
    };
    const Delivery firstCodes = {{kScanTypeUPCA, "012345678905"},     {kScanTypeUPCOrEAN, "4006381333931"},
                                 {kScanTypeUPCOrEAN, "123456789012"}, {kScanTypeEAN8, "02103822"},
                                 {kScanTypeEAN8, "55123457"},         {kScanTypeCode128, "237659"},
                                 {kScanTypeCode128, "753673"},        {kScanTypeUnknown, "ABC123"},
                                 {kScanTypeUnknown, "xyz9"},          {kScanTypeUnknown, "ABC123"}};
    Device device(false, true);
    device.Download(kSerial, first)
        .Download("KF00000000007", {"]C0687813053406", "]E4"
                                                       "02103822"});
    Start(device, false, true);
    ASSERT_TRUE(WaitForDeliveries(2));
    ASSERT_TRUE(WaitForPlayed());
    EXPECT_EQ(m_recorder.Deliveries(),
              (std::vector<Delivery>{firstCodes,
                                     {{kScanTypeCode128, "687813053406"}, {kScanTypeEAN8, "02103822"}}}));
    EXPECT_TRUE(m_recorder.DownloadErrors().empty());
    EXPECT_TRUE(m_recorder.Errors().empty());
    EXPECT_EQ(m_trace.States(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 5, 6, 7, 8, 1}));
    EXPECT_EQ(m_trace.Count("Saw CR"), 12);
    EXPECT_EQ(m_trace.Count(std::string(kSerial) + "0A", 254), 1);
    EXPECT_EQ(m_trace.Count("RunNumLock", 1), 1);
    ExpectKeyboardAsAtStart(false, true);
    const auto log = m_hook.Log();
    EXPECT_EQ(Count(log, "VTSetCapture 1"), 2);
    EXPECT_EQ(Count(log, "VTResetHook"), 3);
    EXPECT_EQ(log.front(), "VTSetHook 1025");

    m_scanner.Stop(true);
    EXPECT_EQ(m_hook.Log().back(), "VTRemoveHook");
    EXPECT_FALSE(m_hook.Hooked());
    EXPECT_EQ(m_recorder.StoppedCount(), 1);
}

// Header "00" and one Enter: a download of nothing, still reported.
TEST_F(QoderTest, EmptyDownloadIsDeliveredEmpty)
{
    Device device(true, false);
    device.Download(kSerial, {});
    Start(device, true, false);
    ASSERT_TRUE(WaitForDeliveries(1));
    ASSERT_TRUE(WaitForPlayed());
    EXPECT_EQ(m_recorder.Deliveries(), std::vector<Delivery>{Delivery{}});
    EXPECT_TRUE(m_recorder.DownloadErrors().empty());
    ExpectKeyboardAsAtStart(true, false);
}

TEST_F(QoderTest, WakeUpSequenceToleratesRepeatsOnly)
{
    using Keys = std::vector<std::pair<uint32_t, bool>>;
    const Keys shift = {{Device::kShift, true}, {Device::kShift, false}};
    const Keys altControl = {
        {Device::kAlt, true}, {Device::kAlt, false}, {Device::kControl, true}, {Device::kControl, false}};
    const auto join = [](std::initializer_list<Keys> parts) {
        Keys all;
        for (const auto& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    const struct {
        const char* name;
        Keys keys;
        bool accepted;
    } cases[] = {
        {"an extra Shift release", join({shift, {{Device::kShift, false}}, shift, shift, altControl}), true},
        {"a held Alt repeating", join({shift, shift, shift, {{Device::kAlt, true}}, altControl}), true},
        {"a letter in the middle", join({shift, shift, {{'A', true}, {'A', false}}, shift, altControl}),
         false},
        {"Control before Alt",
         join({shift, shift, shift, {{Device::kControl, true}, {Device::kControl, false}}, altControl}),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScanRecorder recorder;
        TraceRecorder trace;
        m_scanner.SetListener(&recorder);
        m_scanner.SetTraceSink(&trace);
        Device device(false, false);
        device.AwaitListening();
        for (const auto& [key, press] : c.keys)
            device.Key(key, press);
        if (c.accepted)
            device.Transfer(kSerial, {"]C0237659"});
        else
            device.Pause(100).Download(kSerial, {"]C0237659"});
        Start(device, false, false);
        ASSERT_TRUE(recorder.WaitFor([&] { return recorder.Deliveries().size() == 1; }));
        ASSERT_TRUE(WaitForPlayed());
        m_scanner.Stop(true);
        EXPECT_EQ(recorder.Scans(), (Delivery{{kScanTypeCode128, "237659"}}));
        // A rejected sequence went back to listening before the device tried again.
        const auto states = trace.States();
        EXPECT_EQ(std::vector<int32_t>(states.begin(), states.begin() + 3),
                  (std::vector<int32_t>{1, 2, c.accepted ? 3 : 1}));
        EXPECT_EQ(Count(m_hook.Log(), "VTSetCapture 1"), 1);
        ExpectKeyboardAsAtStart(false, false);
    }
    m_scanner.SetTraceSink(&m_trace);
}

// The device past its wake-up and the host's answer.
Device& Answered(Device& device)
{
    return device.WakeUp().AwaitWakeUpAnswer();
}

// No key for 6 s after the wake-up answer, 10 s after the header answer, or
// 1 s between two keys: the error is signalled, the keyboard put back.
TEST_F(QoderTest, TimeOutsReportError2)
{
    const std::string header = std::string(kSerial) + "01";
    const struct {
        const char* name;
        std::function<void(Device&)> play;
    } cases[] = {
        {"no header", [](Device& device) { Answered(device); }},
        {"no data", [&](Device& device) { Answered(device).TypeHeader(header).AwaitHeaderAnswer(); }},
        {"a pause in the header", [](Device& device) { Answered(device).Press('Q').Pause(1300).Press('1'); }},
        {"a pause in the data",
         [&](Device& device) {
             Answered(device).TypeHeader(header).AwaitHeaderAnswer().Press('3').Pause(1300);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Device device(true, false);
        device.AwaitListening();
        c.play(device);
        device.AwaitErrorSignal();
        ExpectDownloadError(device, true, false, 2);
    }
}

// Headers that do not announce a line count, and counts that the data do
// not meet, are transmission errors; nothing is delivered.
TEST_F(QoderTest, WrongHeadersAndLineCountsReportError3)
{
    const std::string serial = kSerial;
    const struct {
        const char* name;
        std::string header;
        std::vector<std::string> lines;
        bool endData;
    } cases[] = {
        {"three announced, two sent", serial + "03", {"]C0237659", "]C0753673"}, true},
        {"two announced, three sent", serial + "02", {"]C0237659", "]C0753673", "]E402103822"}, true},
        {"none announced, one sent", serial + "00", {"]C0237659"}, false},
        {"a short header", serial.substr(2) + "01", {}, false},
        {"a long header", serial + "001", {}, false},
        {"a count that is not hexadecimal", serial + "ZZ", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Device device(false, true);
        Answered(device.AwaitListening()).TypeHeader(c.header);
        // A good header is answered before the data come.
        if (!c.lines.empty())
            device.AwaitHeaderAnswer();
        for (const auto& line : c.lines)
            device.TypeLine(line);
        if (c.endData)
            device.EndData();
        device.AwaitErrorSignal();
        ExpectDownloadError(device, false, true, 3);
    }
}

// The device reads the answers off the indicators: Num Lock blinks (or comes
// on) for the wake-up, blinks for the header; Caps Lock comes on and Num
// Lock blinks for the data. Then both are put back as they were.
TEST_F(QoderTest, IndicatorsAreRestoredFromEveryStartState)
{
    for (const bool caps : {false, true}) {
        for (const bool num : {false, true}) {
            SCOPED_TRACE(testing::Message() << "Caps Lock " << caps << ", Num Lock " << num);
            ScanRecorder recorder;
            m_scanner.SetListener(&recorder);
            Device device(caps, num);
            device.Download(kSerial, {"]C0237659", "]E402103822"});
            Start(device, caps, num);
            ASSERT_TRUE(recorder.WaitFor([&] { return recorder.Deliveries().size() == 1; }));
            ASSERT_TRUE(WaitForPlayed());
            m_scanner.Stop(true);
            EXPECT_EQ(recorder.Scans(),
                      (Delivery{{kScanTypeCode128, "237659"}, {kScanTypeEAN8, "02103822"}}));
            ExpectKeyboardAsAtStart(caps, num);
            EXPECT_EQ(m_hook.Toggles(Device::kCapsLock), (caps ? 2 : 1) + (caps ? 0 : 1));
            EXPECT_EQ(m_hook.Toggles(Device::kNumLock), (num ? 2 : 1) + 2 + 2 + (num ? 0 : 1));
        }
    }
}

// A stop while the device types: the worker ends at once, not when the
// data's 10 s run out, with the keyboard released and put back.
TEST_F(QoderTest, StopDuringADownloadEndsPromptlyAndReleasesTheKeyboard)
{
    Device device(false, false);
    Answered(device.AwaitListening()).TypeHeader(std::string(kSerial) + "05").AwaitHeaderAnswer();
    for (int i = 0; i < 40; ++i)
        device.Press('5').Pause(200);
    Start(device, false, false);
    ASSERT_TRUE(m_hook.WaitFor("capture", 1));
    ASSERT_TRUE(m_recorder.WaitFor([&] { return m_trace.Count("Changing to state", 6) == 1; }));
    m_scanner.Stop(false);
    EXPECT_TRUE(m_recorder.WaitForStopped(1, Ms(2000)));
    m_scanner.Stop(true);
    EXPECT_FALSE(m_hook.Hooked());
    ExpectKeyboardAsAtStart(false, false);
    EXPECT_TRUE(m_recorder.Deliveries().empty());
    EXPECT_TRUE(m_recorder.DownloadErrors().empty());
    EXPECT_TRUE(m_recorder.Errors().empty());
}

TEST_F(QoderTest, NoDetectionAndRepeatedStarts)
{
    EXPECT_FALSE(m_scanner.CanDetect());
    EXPECT_EQ(m_scanner.Detect(), VTBarcodeScanner::kCannotDetect);
    EXPECT_EQ(m_scanner.GetState(), 0);
    for (int run = 1; run <= 3; ++run) {
        Start(Device(false, false), false, false);
        EXPECT_EQ(m_scanner.GetState(), VTBarcodeScanner::kScanning);
        ASSERT_TRUE(m_hook.WaitFor("resets", 1));
        m_scanner.Stop(true);
        EXPECT_EQ(m_scanner.GetState(), 0);
        EXPECT_FALSE(m_hook.Hooked());
        EXPECT_EQ(m_recorder.StoppedCount(), run);
    }
}

TEST_F(QoderTest, StartFailuresNameTheirCause)
{
    const struct {
        const char* name;
        std::string library;
        int result;
        std::string why;
    } cases[] = {
        {"no library", (m_home.Dir() / "vtkbdhook.so").string(), 2, "cannot load the keyboard hook library"},
        {"no entry points", LUMORA_TEST_PLAIN_LIBRARY, 2, "has no entry point VTSetHook"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VTQoderScanner scanner(c.library);
        EXPECT_EQ(scanner.Start(), c.result);
        EXPECT_NE(scanner.GetLastOpenError().find(c.why), std::string::npos) << scanner.GetLastOpenError();
        EXPECT_EQ(scanner.GetState(), 0);
    }
}

// Where keys cannot be heard the start fails, with the hook's own number.
TEST_F(QoderTest, HookThatCannotBeSetFailsTheStart)
{
    m_hook.SetUp("", false, false);
    m_hook.FailNext("VTSetHook 1025", VTKeyboardHook::kWaylandSession);
    EXPECT_EQ(m_scanner.Start(), VTQoderScanner::kHookFailed);
    EXPECT_EQ(m_scanner.GetHookError(), VTKeyboardHook::kWaylandSession);
    EXPECT_NE(m_scanner.GetLastOpenError().find("keyboard scanners need an X11 session"), std::string::npos);
    EXPECT_EQ(m_trace.Count("SetKbdHook error", VTKeyboardHook::kWaylandSession), 1);
    EXPECT_EQ(m_scanner.GetState(), 0);
    EXPECT_EQ(m_recorder.StoppedCount(), 0);

    // Another scanner holding the hook.
    ASSERT_EQ(m_scanner.Start(), 0);
    VTQoderScanner second(m_hook.Path());
    EXPECT_EQ(second.Start(), VTQoderScanner::kHookFailed);
    EXPECT_EQ(second.GetHookError(), VTKeyboardHook::kInUse);
    EXPECT_EQ(m_scanner.GetHookError(), 0);
}

// A failing entry point or toggle mid-way is reported and ends the worker,
// which still removes the hook and releases the keyboard.
TEST_F(QoderTest, FailingEntryPointStopsTheWorker)
{
    const struct {
        const char* call;
        const char* trace;
        int error;
    } cases[] = {
        {"VTSetCapture 1", "SetKbdCapture error", VTKeyboardHook::kGrabbed},
        {"VTToggleLock 144", "ToggleNumLock error", VTKeyboardHook::kNoLockKey},
        {"VTResetHook", "ResetKbdHook error", VTKeyboardHook::kConnectionLost},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        ScanRecorder recorder;
        m_scanner.SetListener(&recorder);
        Device device(false, false);
        device.AwaitListening().WakeUp();
        m_hook.SetUp(device.ScriptText(), false, false);
        m_hook.FailNext(c.call, c.error);
        ASSERT_EQ(m_scanner.Start(), 0);
        ASSERT_TRUE(recorder.WaitForStopped());
        m_scanner.Stop(true);
        ASSERT_EQ(recorder.Errors().size(), 1u);
        EXPECT_NE(recorder.Errors()[0].find(c.trace), std::string::npos) << recorder.Errors()[0];
        EXPECT_NE(recorder.Errors()[0].find(VTKeyboardHook::ErrorText(c.error)), std::string::npos);
        EXPECT_EQ(m_trace.Count(c.trace, c.error), 1);
        EXPECT_FALSE(m_hook.Hooked());
        EXPECT_FALSE(m_hook.CaptureOn());
    }
}

} // namespace

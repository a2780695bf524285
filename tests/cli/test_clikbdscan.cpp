#include "tests/cli/cliprocess.h"
#include "tests/support/qoderdevice.h"
#include "tests/support/scopedenv.h"
#include "tests/support/temphome.h"
#include "tests/support/xkeyboard.h"
#include "tests/support/xvfbserver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

using Ms = CliProcess::Ms;
using Device = QoderDevice;

constexpr const char* kListening = "listening to the keyboard";

// The key symbol xdotool presses for a key of the device.
std::string KeySymbol(uint32_t key)
{
    switch (key) {
    case Device::kShift:
        return "Shift_L";
    case Device::kControl:
        return "Control_L";
    case Device::kAlt:
        return "Alt_L";
    case Device::kReturn:
        return "Return";
    case Device::kCapsLock:
        return "Caps_Lock";
    case Device::kNumLock:
        return "Num_Lock";
    default:
        return std::string(1, static_cast<char>(std::tolower(static_cast<int>(key))));
    }
}

// Plays the device with xdotool, a run of keys for each xdotool, waiting
// between runs for the host's answers on the indicators as `keyboard` sees
// them change. The host listens again shortly after its last answer.
void PlayWithXdotool(const Device& device, const XKeyboardProbe& keyboard)
{
    const int capsBefore = keyboard.CapsLockChanges();
    const int numBefore = keyboard.NumLockChanges();
    int caps = 0;
    int num = 0;
    std::vector<std::string> keys;
    for (const auto& step : device.Steps()) {
        if (step.kind == Device::Step::kKey) {
            keys.push_back(step.press ? "keydown" : "keyup");
            keys.push_back(KeySymbol(step.key));
            continue;
        }
        if (!keys.empty()) {
            ASSERT_TRUE(XdoTool(keys));
        }
        keys.clear();
        if (step.kind == Device::Step::kToggles) {
            (step.key == Device::kCapsLock ? caps : num) = step.count;
            ASSERT_TRUE(keyboard.WaitForChanges(capsBefore + caps, numBefore + num))
                << "the host did not answer on " << KeySymbol(step.key);
        } else {
            std::this_thread::sleep_for(Ms(step.kind == Device::Step::kPause ? step.count : 300));
        }
    }
    if (!keys.empty()) {
        ASSERT_TRUE(XdoTool(keys));
    }
}

// The keys the focused window got that a download typed (the wake-up
// sequence's modifiers come before the capture).
std::vector<std::string> DownloadKeys(const std::vector<std::string>& keys)
{
    std::vector<std::string> typed;
    for (const auto& key : keys)
        if (key.size() == 1 || key == "Return")
            typed.push_back(key);
    return typed;
}

class CliKeyboardScanTest : public ::testing::Test {
protected:
    TempHome m_home;
};

// Where no key could be heard the scanner does not start, and says why.
TEST_F(CliKeyboardScanTest, NoX11SessionFailsTheStart)
{
    const struct {
        const char* display;
        const char* wayland;
        const char* scanner;
        std::string error;
    } cases[] = {
        {nullptr, nullptr, "8",
         "lumora-cli: the keyboard scanner could not be started: no X display to listen to"},
        {":0", "wayland-0", "9",
         "lumora-cli: the keyboard scanner could not be started: keyboard scanners need an X11 session"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        ScopedEnv display("DISPLAY", c.display);
        ScopedEnv wayland("WAYLAND_DISPLAY", c.wayland);
        CliProcess cli({"scan", "--scanner", c.scanner, "--once"});
        EXPECT_EQ(cli.Wait(), 1);
        EXPECT_EQ(cli.Stderr().rfind(c.error, 0), 0u) << cli.Stderr();
        EXPECT_EQ(cli.Stdout(), "");
    }
}

// The device's download, typed by xdotool under an X server of the test's
// own, reaches lumora-cli whole; the lock keys end as they began, and the
// focused window got none of the download's keys.
TEST_F(CliKeyboardScanTest, DownloadTypedUnderXvfb)
{
    if (!XvfbServer::Available())
        GTEST_SKIP() << XvfbServer::SkipReason();
    const struct {
        const char* scanner;
        bool caps;
        bool num;
    } cases[] = {{"8", true, false}, {"9", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "scanner " << c.scanner << ", Caps Lock " << c.caps << ", Num Lock " << c.num);
        XvfbServer server;
        XKeyboardProbe keyboard;
        if (c.caps) {
            ASSERT_TRUE(keyboard.Tap("Caps_Lock"));
        }
        if (c.num) {
            ASSERT_TRUE(keyboard.Tap("Num_Lock"));
        }
        FocusedWindow window(LUMORA_KEYWINDOW);
        CliProcess cli({"scan", "--json", "--scanner", c.scanner, "--once"}, true);
        ASSERT_TRUE(cli.WaitForError(kListening)) << cli.Stderr();
        Device device(c.caps, c.num);
        device.Download("Q0001234567890", {"]E00012345678905", "]C0237659", "]E402103822", "]A0Xy12"});
        PlayWithXdotool(device, keyboard);
        EXPECT_EQ(cli.Wait(Ms(20000)), 0) << cli.Stderr();
        EXPECT_EQ(cli.Stdout(), "{\"type\":5,\"text\":\"012345678905\"}\n"
                                "{\"type\":1,\"text\":\"237659\"}\n"
                                "{\"type\":8,\"text\":\"02103822\"}\n"
                                "{\"type\":0,\"text\":\"Xy12\"}\n");
        EXPECT_EQ(keyboard.CapsLockOn(), c.caps);
        EXPECT_EQ(keyboard.NumLockOn(), c.num);
        // The keyboard is free again: a key now reaches the window.
        ASSERT_TRUE(XdoTool({"key", "m"}));
        ASSERT_TRUE(window.WaitForKeys(1));
        std::this_thread::sleep_for(Ms(100));
        EXPECT_EQ(DownloadKeys(window.Keys()), std::vector<std::string>{"m"});
    }
}

// A garbled download is reported and the scan goes on; an empty one still
// counts as the one download --once waits for.
TEST_F(CliKeyboardScanTest, FailedAndEmptyDownloadsAreReported)
{
    if (!XvfbServer::Available())
        GTEST_SKIP() << XvfbServer::SkipReason();
    XvfbServer server;
    XKeyboardProbe keyboard;
    CliProcess cli({"scan", "--scanner", "8", "--once"}, true);
    ASSERT_TRUE(cli.WaitForError(kListening)) << cli.Stderr();
    Device device(false, false);
    device.WakeUp().AwaitWakeUpAnswer().TypeHeader("Q000123456789002").AwaitHeaderAnswer();
    device.TypeLine("]C0237659").EndData().AwaitErrorSignal();
    device.Download("Q0001234567890", {});
    PlayWithXdotool(device, keyboard);
    EXPECT_EQ(cli.Wait(Ms(20000)), 0) << cli.Stderr();
    EXPECT_EQ(cli.Stdout(), "");
    EXPECT_NE(
        cli.Stderr().find("the download was garbled (transmission error); please download the data again"),
        std::string::npos)
        << cli.Stderr();
    EXPECT_NE(cli.Stderr().find("the scanner downloaded successfully; it held no codes"), std::string::npos);
    EXPECT_FALSE(keyboard.CapsLockOn());
    EXPECT_FALSE(keyboard.NumLockOn());
}

// A program that dies in the middle of a download does not keep the
// keyboard: the X server lets go with its connection.
TEST_F(CliKeyboardScanTest, KilledInADownloadReleasesTheKeyboard)
{
    if (!XvfbServer::Available())
        GTEST_SKIP() << XvfbServer::SkipReason();
    XvfbServer server;
    XKeyboardProbe keyboard;
    FocusedWindow window(LUMORA_KEYWINDOW);
    CliProcess cli({"scan", "--scanner", "8"}, true);
    ASSERT_TRUE(cli.WaitForError(kListening)) << cli.Stderr();
    Device device(false, false);
    device.WakeUp().AwaitWakeUpAnswer();
    PlayWithXdotool(device, keyboard);
    ASSERT_TRUE(XdoTool({"key", "q"}));
    std::this_thread::sleep_for(Ms(100));
    EXPECT_TRUE(DownloadKeys(window.Keys()).empty());
    cli.Kill();
    ASSERT_TRUE(XdoTool({"key", "m"}));
    ASSERT_TRUE(window.WaitForKeys(1));
    std::this_thread::sleep_for(Ms(100));
    EXPECT_EQ(DownloadKeys(window.Keys()), std::vector<std::string>{"m"});
}

} // namespace

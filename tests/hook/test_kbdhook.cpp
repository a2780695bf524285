#include "tests/support/scopedenv.h"
#include "tests/support/temphome.h"
#include "tests/support/xkeyboard.h"
#include "tests/support/xvfbserver.h"
#include "vtkit/scanner/sckbdhook.h"
#include "vtkit/scanner/scqoderwin.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using Ms = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kKeyMessage = 1025;
constexpr uint32_t kRelease = 0x80000000u;
constexpr uint32_t kWasDown = 0x40000000u;

// The library loaded as the driver loads it, with a window to post to.
class HookTest : public ::testing::Test {
protected:
    HookTest()
    {
        std::string why;
        if (!m_hook.Load(LUMORA_HOOK_LIBRARY, why))
            throw std::runtime_error(why);
        if (!m_window.Create(why))
            throw std::runtime_error(why);
    }
    ~HookTest() override
    {
        if (m_hooked)
            m_hook.RemoveHook(m_window.Handle());
    }

    int SetHook()
    {
        const int error = m_hook.SetHook(m_window.Handle(), kKeyMessage);
        m_hooked = error == 0;
        return error;
    }
    int RemoveHook()
    {
        m_hooked = false;
        return m_hook.RemoveHook(m_window.Handle());
    }
    // The next key event within the time.
    std::optional<VTKeyboardHook::Message> NextKey(Ms timeout = Ms(5000))
    {
        const auto message = m_window.GetMessage(Clock::now() + timeout);
        if (message) {
            EXPECT_EQ(message->message, kKeyMessage);
        }
        return message;
    }
    // Skips what came before: the keys the test's set-up typed.
    void DropKeys()
    {
        while (m_window.GetMessage(Clock::now() + Ms(100))) {
        }
    }

    TempHome m_home;
    VTKeyboardHook m_hook;
    VTQoderWindow m_window;
    bool m_hooked = false;
};

// Where no key could be heard the hook is not set, each with its number.
TEST_F(HookTest, NoXSessionFailsTheHook)
{
    const struct {
        const char* name;
        const char* display;
        const char* wayland;
        int error;
    } cases[] = {
        {"no DISPLAY", nullptr, nullptr, VTKeyboardHook::kNoDisplay},
        {"a display with no server", ":4711", nullptr, VTKeyboardHook::kNoDisplay},
        {"a Wayland session", ":0", "wayland-0", VTKeyboardHook::kWaylandSession},
        {"a Wayland session without X", nullptr, "wayland-1", VTKeyboardHook::kWaylandSession},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv display("DISPLAY", c.display);
        ScopedEnv wayland("WAYLAND_DISPLAY", c.wayland);
        EXPECT_EQ(SetHook(), c.error);
        EXPECT_EQ(m_hook.ResetHook(m_window.Handle()), VTKeyboardHook::kNotHooked);
    }
}

class XHookTest : public HookTest {
protected:
    void SetUp() override
    {
        if (!XvfbServer::Available())
            GTEST_SKIP() << XvfbServer::SkipReason();
        m_server = std::make_unique<XvfbServer>();
        ASSERT_EQ(SetHook(), 0);
    }
    void TearDown() override
    {
        if (m_hooked) {
            EXPECT_EQ(RemoveHook(), 0);
        }
        m_server.reset();
    }

    std::unique_ptr<XvfbServer> m_server;
};

// Each key's press and release, whoever has the focus, as the codes the
// driver knows.
TEST_F(XHookTest, KeysArriveAsVirtualKeyCodes)
{
    const struct {
        const char* keysym;
        uint32_t virtualKey;
    } cases[] = {
        {"a", 'A'},      {"q", 'Q'},       {"z", 'Z'},        {"0", '0'},        {"7", '7'},
        {"Shift_L", 16}, {"Shift_R", 16},  {"Control_L", 17}, {"Control_R", 17}, {"Alt_L", 18},
        {"Return", 13},  {"KP_Enter", 13}, {"Caps_Lock", 20}, {"Num_Lock", 144}, {"F1", 0x70},
        {"space", 0x20}, {"minus", 0xBD},  {"BackSpace", 8},  {"Escape", 0x1B},  {"Left", 0x25},
    };
    XKeyboardProbe keyboard;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keysym);
        ASSERT_TRUE(keyboard.Tap(c.keysym));
        const auto press = NextKey();
        const auto release = NextKey();
        ASSERT_TRUE(press && release);
        EXPECT_EQ(press->wParam, c.virtualKey);
        EXPECT_EQ(press->lParam & (kRelease | kWasDown | 0xFFFF), 1u);
        EXPECT_EQ(release->wParam, c.virtualKey);
        EXPECT_EQ(release->lParam & (kRelease | kWasDown | 0xFFFF), kRelease | kWasDown | 1u);
    }
    // Caps Lock and Num Lock were pressed once each.
    bool caps = false, num = false;
    ASSERT_EQ(m_hook.GetLockStates(m_window.Handle(), caps, num), 0);
    EXPECT_TRUE(caps);
    EXPECT_TRUE(num);

    // A key pressed again before its release repeats.
    ASSERT_TRUE(keyboard.Key("b", true) && keyboard.Key("b", true) && keyboard.Key("b", false));
    std::vector<uint32_t> flags;
    for (int i = 0; i < 3; ++i) {
        const auto key = NextKey();
        ASSERT_TRUE(key);
        EXPECT_EQ(key->wParam, uint32_t{'B'});
        flags.push_back(key->lParam & (kRelease | kWasDown));
    }
    EXPECT_EQ(flags, (std::vector<uint32_t>{0, kWasDown, kRelease | kWasDown}));
}

// The toggles are key presses the hook hears, and the lock states follow.
TEST_F(XHookTest, TogglesFlipTheLocksAndAreHeard)
{
    XKeyboardProbe probe;
    for (const auto& [key, caps, num] : {std::tuple{20u, true, false}, std::tuple{144u, true, true},
                                         std::tuple{20u, false, true}, std::tuple{144u, false, false}}) {
        SCOPED_TRACE(key);
        ASSERT_EQ(m_hook.ToggleLock(m_window.Handle(), key), 0);
        const auto press = NextKey();
        const auto release = NextKey();
        ASSERT_TRUE(press && release);
        EXPECT_EQ(press->wParam, key);
        EXPECT_EQ(press->lParam & kRelease, 0u);
        EXPECT_EQ(release->wParam, key);
        bool capsOn = !caps, numOn = !num;
        ASSERT_EQ(m_hook.GetLockStates(m_window.Handle(), capsOn, numOn), 0);
        EXPECT_EQ(capsOn, caps);
        EXPECT_EQ(numOn, num);
    }
    EXPECT_TRUE(probe.WaitForChanges(2, 2));
    EXPECT_EQ(m_hook.ToggleLock(m_window.Handle(), 'A'), VTKeyboardHook::kNotLockKey);
}

// While captured the focused window gets nothing, the hook everything; the
// keyboard is free again when the capture ends or the hook goes.
TEST_F(XHookTest, CaptureKeepsKeysFromTheFocusedWindow)
{
    FocusedWindow window(LUMORA_KEYWINDOW);
    XKeyboardProbe keyboard;
    ASSERT_TRUE(keyboard.Tap("a"));
    ASSERT_TRUE(window.WaitForKeys(1));
    DropKeys();

    ASSERT_EQ(m_hook.SetCapture(m_window.Handle(), true), 0);
    ASSERT_TRUE(keyboard.Tap("b") && keyboard.Tap("Return"));
    for (const uint32_t key : {uint32_t{'B'}, uint32_t{'B'}, 13u, 13u}) {
        const auto heard = NextKey();
        ASSERT_TRUE(heard);
        EXPECT_EQ(heard->wParam, key);
    }
    ASSERT_EQ(m_hook.SetCapture(m_window.Handle(), false), 0);
    ASSERT_TRUE(keyboard.Tap("c"));
    ASSERT_TRUE(window.WaitForKeys(2));

    ASSERT_EQ(m_hook.SetCapture(m_window.Handle(), true), 0);
    ASSERT_TRUE(keyboard.Tap("d"));
    ASSERT_TRUE(NextKey());
    EXPECT_EQ(RemoveHook(), 0);
    ASSERT_TRUE(keyboard.Tap("e"));
    ASSERT_TRUE(window.WaitForKeys(3));
    EXPECT_EQ(window.Keys(), (std::vector<std::string>{"a", "c", "e"}));
}

// A server that goes away ends nothing but the hook: the calls report it.
TEST_F(XHookTest, LostServerIsReportedNotFatal)
{
    ASSERT_EQ(m_hook.SetCapture(m_window.Handle(), true), 0);
    m_server->Kill();
    int error = 0;
    for (int i = 0; i < 100 && error == 0; ++i) {
        error = m_hook.ToggleLock(m_window.Handle(), 20);
        std::this_thread::sleep_for(Ms(10));
    }
    EXPECT_EQ(error, VTKeyboardHook::kConnectionLost);
    EXPECT_EQ(m_hook.ResetHook(m_window.Handle()), VTKeyboardHook::kConnectionLost);
    RemoveHook();
    EXPECT_EQ(SetHook(), VTKeyboardHook::kNoDisplay);
}

} // namespace

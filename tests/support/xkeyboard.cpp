#include "tests/support/xkeyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <poll.h>
#include <sstream>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;

Display* Connection(void* display)
{
    return static_cast<Display*>(display);
}

template <class Done> bool WaitUntil(Done done, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

XKeyboardProbe::XKeyboardProbe()
{
    m_display = XOpenDisplay(nullptr);
    m_typing = XOpenDisplay(nullptr);
    if (!m_display || !m_typing)
        throw std::runtime_error("cannot open the X display");
    Display* display = Connection(m_display);
    int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &m_xkbEvent, &error, &major, &minor))
        throw std::runtime_error("the X server has no keyboard extension");
    // Every change of the locks is an event: none is missed, however quick.
    XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbModifierLockMask, XkbModifierLockMask);
    XkbStateRec state;
    XkbGetState(display, XkbUseCoreKbd, &state);
    m_numMask = XkbKeysymToModifiers(display, XK_Num_Lock);
    Note(state.locked_mods, false);
    m_watcher = std::thread([this] { Watch(); });
}

XKeyboardProbe::~XKeyboardProbe()
{
    m_stop = true;
    m_watcher.join();
    XCloseDisplay(Connection(m_display));
    XCloseDisplay(Connection(m_typing));
}

bool XKeyboardProbe::Key(const std::string& keysym, bool press)
{
    Display* display = Connection(m_typing);
    const KeySym symbol = XStringToKeysym(keysym.c_str());
    const KeyCode keycode = symbol == NoSymbol ? 0 : XKeysymToKeycode(display, symbol);
    if (keycode == 0)
        return false;
    XTestFakeKeyEvent(display, keycode, press ? True : False, CurrentTime);
    XSync(display, False);
    return true;
}

void XKeyboardProbe::Note(unsigned lockedModifiers, bool count)
{
    const bool caps = (lockedModifiers & LockMask) != 0;
    const bool num = m_numMask != 0 && (lockedModifiers & m_numMask) == m_numMask;
    if (m_capsLockOn.exchange(caps) != caps && count)
        ++m_capsChanges;
    if (m_numLockOn.exchange(num) != num && count)
        ++m_numChanges;
}

void XKeyboardProbe::Watch()
{
    Display* display = Connection(m_display);
    while (!m_stop.load()) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            const auto* xkb = reinterpret_cast<const XkbEvent*>(&event);
            if (event.type == m_xkbEvent && xkb->any.xkb_type == XkbStateNotify)
                Note(xkb->state.locked_mods, true);
        }
        pollfd entry{ConnectionNumber(display), POLLIN, 0};
        poll(&entry, 1, 20);
    }
}

bool XKeyboardProbe::WaitForChanges(int caps, int num, Ms timeout) const
{
    return WaitUntil([&] { return CapsLockChanges() >= caps && NumLockChanges() >= num; }, timeout);
}

FocusedWindow::FocusedWindow(const std::string& program) : m_process(program, {(m_dir / "keys").string()})
{
    if (!WaitUntil([&] { return TempDir::ReadFile(m_dir / "keys").rfind("ready\n", 0) == 0; },
                   std::chrono::seconds(10)))
        throw std::runtime_error("the focused window did not come up: " + m_process.ErrorOutput());
}

FocusedWindow::~FocusedWindow() = default;

std::vector<std::string> FocusedWindow::Keys() const
{
    std::istringstream lines(TempDir::ReadFile(m_dir / "keys"));
    std::vector<std::string> keys;
    for (std::string line; std::getline(lines, line);)
        if (line != "ready")
            keys.push_back(line);
    return keys;
}

bool FocusedWindow::WaitForKeys(std::size_t count, Ms timeout) const
{
    return WaitUntil([&] { return Keys().size() >= count; }, timeout);
}

#pragma once

#include "tests/support/serverprocess.h"
#include "tests/support/tempdir.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

// The test's own hands on an X server's keyboard (DISPLAY): keys pressed
// through XTest, as a keyboard would, the lock states, and how often each
// changed since the probe began, counted on a thread of its own as a device
// watching the indicators would.
class XKeyboardProbe {
public:
    using Ms = std::chrono::milliseconds;

    // Throws std::runtime_error when the display cannot be opened.
    XKeyboardProbe();
    ~XKeyboardProbe();
    XKeyboardProbe(const XKeyboardProbe&) = delete;
    XKeyboardProbe& operator=(const XKeyboardProbe&) = delete;

    // By key symbol name ("a", "Shift_L"); false when the map has no such key.
    bool Key(const std::string& keysym, bool press);
    bool Tap(const std::string& keysym) { return Key(keysym, true) && Key(keysym, false); }

    bool CapsLockOn() const { return m_capsLockOn.load(); }
    bool NumLockOn() const { return m_numLockOn.load(); }
    int CapsLockChanges() const { return m_capsChanges.load(); }
    int NumLockChanges() const { return m_numChanges.load(); }
    // Until both counts reach theirs; false when the time ran out.
    bool WaitForChanges(int caps, int num, Ms timeout = Ms(15000)) const;

private:
    void Watch();
    void Note(unsigned lockedModifiers, bool count);

    void* m_display = nullptr; // the watcher's
    void* m_typing = nullptr;
    int m_xkbEvent = 0;
    unsigned m_numMask = 0;
    std::atomic<bool> m_capsLockOn{false};
    std::atomic<bool> m_numLockOn{false};
    std::atomic<int> m_capsChanges{0};
    std::atomic<int> m_numChanges{0};
    std::atomic<bool> m_stop{false};
    std::thread m_watcher;
};

// A window of another program that has the keyboard focus and logs the
// keys it gets (the keywindow program).
class FocusedWindow {
public:
    using Ms = std::chrono::milliseconds;

    // Throws std::runtime_error when it does not get the focus.
    explicit FocusedWindow(const std::string& program);
    ~FocusedWindow();
    FocusedWindow(const FocusedWindow&) = delete;
    FocusedWindow& operator=(const FocusedWindow&) = delete;

    // The key symbol names it got, in order.
    std::vector<std::string> Keys() const;
    bool WaitForKeys(std::size_t count, Ms timeout = Ms(10000)) const;

private:
    TempDir m_dir;
    ServerProcess m_process;
};

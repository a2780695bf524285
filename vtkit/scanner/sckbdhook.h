#pragma once

#include <cstdint>
#include <string>

// The keyboard hook library as the keyboard scanner loads it at run time,
// its entry points looked up by name. A window is the write end of the
// worker's message pipe: the library posts each key event as one whole
// Message written to it. Besides the four hook entry points the library
// reads and toggles the lock keys, which only the window system can do.
class VTKeyboardHook {
public:
    using Window = int;
    struct Message {
        uint32_t message = 0;
        uint32_t wParam = 0;
        uint32_t lParam = 0;
    };

    static constexpr const char* kLibraryName = "vtkbdhook.so";

    // Error numbers of the library; those below 1000 are the system's.
    static constexpr int kNoDisplay = 1001;
    static constexpr int kWaylandSession = 1002;
    static constexpr int kNoXInput = 1003;
    static constexpr int kNoXTest = 1004;
    static constexpr int kInUse = 1005;
    static constexpr int kNotHooked = 1006;
    static constexpr int kGrabbed = 1007;
    static constexpr int kNoLockKey = 1008;
    static constexpr int kNotLockKey = 1009;
    static constexpr int kConnectionLost = 1010;

    using SetHookFn = int (*)(int window, uint32_t message);
    using RemoveHookFn = int (*)(int window);
    using ResetHookFn = int (*)(int window);
    using SetCaptureFn = int (*)(int window, int on);
    using GetLockStatesFn = int (*)(int window, int* capsLockOn, int* numLockOn);
    using ToggleLockFn = int (*)(int window, uint32_t virtualKey);

    VTKeyboardHook() = default;
    ~VTKeyboardHook();
    VTKeyboardHook(const VTKeyboardHook&) = delete;
    VTKeyboardHook& operator=(const VTKeyboardHook&) = delete;

    // False when the library or one of its entry points is missing, with
    // `error` saying which; nothing stays loaded then.
    bool Load(const std::string& path, std::string& error);
    void Unload();
    bool IsLoaded() const { return m_handle != nullptr; }

    int SetHook(Window window, uint32_t message) const { return m_setHook(window, message); }
    int RemoveHook(Window window) const { return m_removeHook(window); }
    int ResetHook(Window window) const { return m_resetHook(window); }
    int SetCapture(Window window, bool on) const { return m_setCapture(window, on ? 1 : 0); }
    int GetLockStates(Window window, bool& capsLockOn, bool& numLockOn) const;
    int ToggleLock(Window window, uint32_t virtualKey) const { return m_toggleLock(window, virtualKey); }

    // What an error number means, for messages.
    static std::string ErrorText(int error);

private:
    void* m_handle = nullptr;
    SetHookFn m_setHook = nullptr;
    RemoveHookFn m_removeHook = nullptr;
    ResetHookFn m_resetHook = nullptr;
    SetCaptureFn m_setCapture = nullptr;
    GetLockStatesFn m_getLockStates = nullptr;
    ToggleLockFn m_toggleLock = nullptr;
};

#include "vtkit/scanner/sckbdhook.h"

#include <dlfcn.h>
#include <system_error>

namespace {

template <class Fn> bool Find(void* handle, const char* name, Fn& function, std::string& missing)
{
    function = reinterpret_cast<Fn>(::dlsym(handle, name));
    if (!function && missing.empty())
        missing = name;
    return function != nullptr;
}

} // namespace

VTKeyboardHook::~VTKeyboardHook()
{
    Unload();
}

bool VTKeyboardHook::Load(const std::string& path, std::string& error)
{
    Unload();
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = ::dlerror();
        error = "cannot load the keyboard hook library " + path + (why ? std::string(": ") + why : "");
        return false;
    }
    std::string missing;
    Find(m_handle, "VTSetHook", m_setHook, missing);
    Find(m_handle, "VTRemoveHook", m_removeHook, missing);
    Find(m_handle, "VTResetHook", m_resetHook, missing);
    Find(m_handle, "VTSetCapture", m_setCapture, missing);
    Find(m_handle, "VTGetLockStates", m_getLockStates, missing);
    Find(m_handle, "VTToggleLock", m_toggleLock, missing);
    if (!missing.empty()) {
        error = "the keyboard hook library " + path + " has no entry point " + missing;
        Unload();
        return false;
    }
    return true;
}

void VTKeyboardHook::Unload()
{
    if (m_handle)
        ::dlclose(m_handle);
    m_handle = nullptr;
    m_setHook = nullptr;
    m_removeHook = nullptr;
    m_resetHook = nullptr;
    m_setCapture = nullptr;
    m_getLockStates = nullptr;
    m_toggleLock = nullptr;
}

int VTKeyboardHook::GetLockStates(Window window, bool& capsLockOn, bool& numLockOn) const
{
    int caps = 0;
    int num = 0;
    const int error = m_getLockStates(window, &caps, &num);
    capsLockOn = caps != 0;
    numLockOn = num != 0;
    return error;
}

std::string VTKeyboardHook::ErrorText(int error)
{
    std::string text;
    switch (error) {
    case kNoDisplay:
        text = "no X display to listen to (DISPLAY is not set or its server cannot be reached)";
        break;
    case kWaylandSession:
        text = "keyboard scanners need an X11 session: in a Wayland session the keys typed into "
               "Wayland windows cannot be heard";
        break;
    case kNoXInput:
        text = "the X server has no XInput 2.2 raw key events";
        break;
    case kNoXTest:
        text = "the X server has no XTest extension to toggle the lock keys";
        break;
    case kInUse:
        text = "the keyboard hook is already in use";
        break;
    case kNotHooked:
        text = "the keyboard hook is not set";
        break;
    case kGrabbed:
        text = "another program holds the keyboard";
        break;
    case kNoLockKey:
        text = "the keyboard map has no key for the lock";
        break;
    case kNotLockKey:
        text = "not a lock key";
        break;
    case kConnectionLost:
        text = "the connection to the X server was lost";
        break;
    default:
        text = error < 1000 ? std::system_category().message(error) : "unknown keyboard hook error";
        break;
    }
    return text + " (hook error " + std::to_string(error) + ")";
}

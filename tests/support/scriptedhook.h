#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

// The control entry points of the scripted stand-in hook library
// (scriptedhooklib.cpp), which the tests load instead of the real one. A
// script is lines of
//   key VK down|up [REPEAT]   a key event as a keyboard makes it
//   pause MS
//   toggles VK COUNT          wait until VK was toggled COUNT times in all
//   resets COUNT              wait until the driver listened COUNT times
// played on the library's own thread from VTSetHook on. Toggles post the
// key's press and release back, as the real library's key presses do.
extern "C" {
// 0, or the number of the first bad line (-1 while a hook is set).
int ScriptedHookSetUp(const char* script, int capsLockOn, int numLockOn);
// The next call that logs as `call` ("VTSetCapture 1") fails with `error`.
void ScriptedHookFailNext(const char* call, int error);
// The calls so far, a line each; returns the whole length.
size_t ScriptedHookLog(char* buffer, size_t size);
// "caps", "num", "capture", "hooked", "resets", "played" or "toggles:VK".
int ScriptedHookValue(const char* name);
// 1 once the value is `value`, 0 when the time ran out first.
int ScriptedHookWaitFor(const char* name, int value, int timeoutMs);
}

// The stand-in as a test drives it. It keeps the library loaded, so its
// state outlives the driver's loading and unloading.
class ScriptedHook {
public:
    using Ms = std::chrono::milliseconds;

    explicit ScriptedHook(std::string path);
    ~ScriptedHook();
    ScriptedHook(const ScriptedHook&) = delete;
    ScriptedHook& operator=(const ScriptedHook&) = delete;

    const std::string& Path() const { return m_path; }

    // A fresh keyboard with these lock states and the script to play.
    void SetUp(const std::string& script, bool capsLockOn, bool numLockOn);
    void FailNext(const std::string& call, int error);
    std::vector<std::string> Log() const;
    int Value(const std::string& name) const;
    bool WaitFor(const std::string& name, int value, Ms timeout = Ms(15000)) const;

    bool CapsLockOn() const { return Value("caps") != 0; }
    bool NumLockOn() const { return Value("num") != 0; }
    bool CaptureOn() const { return Value("capture") != 0; }
    bool Hooked() const { return Value("hooked") != 0; }
    int Toggles(unsigned virtualKey) const { return Value("toggles:" + std::to_string(virtualKey)); }

private:
    template <class Fn> Fn Find(const char* name) const;

    std::string m_path;
    void* m_handle = nullptr;
    decltype(&ScriptedHookSetUp) m_setUp = nullptr;
    decltype(&ScriptedHookFailNext) m_failNext = nullptr;
    decltype(&ScriptedHookLog) m_log = nullptr;
    decltype(&ScriptedHookValue) m_value = nullptr;
    decltype(&ScriptedHookWaitFor) m_waitFor = nullptr;
};

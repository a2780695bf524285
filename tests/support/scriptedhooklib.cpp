// A stand-in for the keyboard hook library: instead of the session's
// keyboards it replays a script of key events, and it keeps the lock
// states and the capture itself, logging every call for the tests to
// check. Its control entry points are declared in scriptedhook.h.
#include "hook/vtkbdhook.h"
#include "tests/support/scriptedhook.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#define SCRIPTED_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using Ms = std::chrono::milliseconds;

constexpr uint32_t kCapsLock = 20;
constexpr uint32_t kNumLock = 144;
constexpr uint32_t kRelease = 0x80000000u;
constexpr uint32_t kWasDown = 0x40000000u;
constexpr auto kWaitBound = Ms(20000);

struct Step {
    enum Kind { kKey, kPause, kToggles, kResets } kind = kKey;
    uint32_t key = 0;
    bool press = true;
    uint32_t repeat = 1;
    int count = 0; // pause: milliseconds
};

struct Hook {
    std::mutex lock;
    std::condition_variable changed;
    int window = -1;
    uint32_t message = 0;
    bool capsLockOn = false;
    bool numLockOn = false;
    bool captureOn = false;
    int resets = 0;
    std::map<uint32_t, int> toggles;
    std::set<uint32_t> held;
    std::vector<std::string> log;
    std::map<std::string, int> failNext;
    std::vector<Step> script;
    bool played = false;
    bool stopping = false;
    std::thread player;
};

Hook& TheHook()
{
    static Hook hook;
    return hook;
}

// Under the lock.
void Log(Hook& hook, std::string line)
{
    hook.log.push_back(std::move(line));
    hook.changed.notify_all();
}

// Under the lock: logs the call and gives the failure the test asked for
// for it, or 0.
int Called(Hook& hook, const std::string& call)
{
    Log(hook, call);
    const auto found = hook.failNext.find(call);
    if (found == hook.failNext.end())
        return 0;
    const int error = found->second;
    hook.failNext.erase(found);
    return error;
}

// Under the lock. A key as a keyboard makes it: a held key repeats with
// its previous state set, and a lock key toggles on its first press.
void PostKey(Hook& hook, uint32_t key, bool press, uint32_t repeat)
{
    uint32_t data = repeat & 0xFFFF;
    if (!press)
        data |= kRelease | kWasDown;
    else if (hook.held.count(key))
        data |= kWasDown;
    else if (key == kCapsLock)
        hook.capsLockOn = !hook.capsLockOn;
    else if (key == kNumLock)
        hook.numLockOn = !hook.numLockOn;
    press ? static_cast<void>(hook.held.insert(key)) : static_cast<void>(hook.held.erase(key));
    const VTHookMessage posted{hook.message, key, data};
    if (hook.window < 0 || write(hook.window, &posted, sizeof posted) != static_cast<ssize_t>(sizeof posted))
        Log(hook, "post failed: " + std::string(std::strerror(errno)));
}

// Under the lock (held by `guard`): false when the wait ran out or the
// hook is being removed.
template <class Done> bool WaitUntil(Hook& hook, std::unique_lock<std::mutex>& guard, Done done)
{
    return hook.changed.wait_for(guard, kWaitBound, [&] { return hook.stopping || done(); }) &&
           !hook.stopping;
}

bool PlayStep(Hook& hook, std::unique_lock<std::mutex>& guard, const Step& step)
{
    switch (step.kind) {
    case Step::kKey:
        PostKey(hook, step.key, step.press, step.repeat);
        return true;
    case Step::kPause:
        hook.changed.wait_for(guard, Ms(step.count), [&] { return hook.stopping; });
        return !hook.stopping;
    case Step::kToggles:
        return WaitUntil(hook, guard, [&] { return hook.toggles[step.key] >= step.count; });
    case Step::kResets:
        return WaitUntil(hook, guard, [&] { return hook.resets >= step.count; });
    }
    return false;
}

void Play(Hook& hook)
{
    std::unique_lock guard(hook.lock);
    for (std::size_t line = 0; line < hook.script.size(); ++line) {
        if (!PlayStep(hook, guard, hook.script[line])) {
            if (!hook.stopping)
                Log(hook, "script gave up at line " + std::to_string(line + 1));
            return;
        }
    }
    hook.played = true;
    Log(hook, "script done");
}

bool ParseLine(const std::string& text, Step& step)
{
    std::istringstream words(text);
    std::string kind;
    words >> kind;
    if (kind == "key") {
        std::string direction;
        words >> step.key >> direction;
        if (!(words >> step.repeat))
            step.repeat = 1;
        step.press = direction == "down";
        return direction == "down" || direction == "up";
    }
    step.kind = kind == "pause" ? Step::kPause : kind == "toggles" ? Step::kToggles : Step::kResets;
    if (kind == "toggles")
        words >> step.key;
    words >> step.count;
    return (kind == "pause" || kind == "toggles" || kind == "resets") && !words.fail();
}

// Under the lock: the window must be the hooked one.
int CheckWindow(Hook& hook, VTHookWindow window)
{
    return hook.window >= 0 && hook.window == window ? 0 : VTHOOK_ERROR_NOT_HOOKED;
}

} // namespace

SCRIPTED_EXPORT int VTSetHook(VTHookWindow window, uint32_t message)
{
    Hook& hook = TheHook();
    std::lock_guard guard(hook.lock);
    if (const int error = Called(hook, "VTSetHook " + std::to_string(message)))
        return error;
    if (hook.window >= 0)
        return VTHOOK_ERROR_IN_USE;
    hook.window = window;
    hook.message = message;
    hook.stopping = false;
    hook.player = std::thread(Play, std::ref(hook));
    return 0;
}

SCRIPTED_EXPORT int VTRemoveHook(VTHookWindow window)
{
    Hook& hook = TheHook();
    std::thread player;
    {
        std::lock_guard guard(hook.lock);
        Log(hook, "VTRemoveHook");
        if (const int error = CheckWindow(hook, window))
            return error;
        hook.stopping = true;
        hook.changed.notify_all();
        player = std::move(hook.player);
    }
    if (player.joinable())
        player.join();
    std::lock_guard guard(hook.lock);
    hook.window = -1;
    hook.captureOn = false;
    hook.held.clear();
    hook.changed.notify_all();
    return 0;
}

SCRIPTED_EXPORT int VTResetHook(VTHookWindow window)
{
    Hook& hook = TheHook();
    std::lock_guard guard(hook.lock);
    if (const int error = Called(hook, "VTResetHook"))
        return error;
    ++hook.resets;
    return CheckWindow(hook, window);
}

SCRIPTED_EXPORT int VTSetCapture(VTHookWindow window, int on)
{
    Hook& hook = TheHook();
    std::lock_guard guard(hook.lock);
    if (const int error = Called(hook, "VTSetCapture " + std::to_string(on)))
        return error;
    if (const int error = CheckWindow(hook, window))
        return error;
    hook.captureOn = on != 0;
    return 0;
}

SCRIPTED_EXPORT int VTGetLockStates(VTHookWindow window, int* capsLockOn, int* numLockOn)
{
    Hook& hook = TheHook();
    std::lock_guard guard(hook.lock);
    if (const int error = Called(hook, "VTGetLockStates"))
        return error;
    *capsLockOn = hook.capsLockOn;
    *numLockOn = hook.numLockOn;
    return CheckWindow(hook, window);
}

SCRIPTED_EXPORT int VTToggleLock(VTHookWindow window, uint32_t virtualKey)
{
    Hook& hook = TheHook();
    std::lock_guard guard(hook.lock);
    if (const int error = Called(hook, "VTToggleLock " + std::to_string(virtualKey)))
        return error;
    if (const int error = CheckWindow(hook, window))
        return error;
    if (virtualKey != kCapsLock && virtualKey != kNumLock)
        return VTHOOK_ERROR_NOT_LOCK_KEY;
    ++hook.toggles[virtualKey];
    PostKey(hook, virtualKey, true, 1);
    PostKey(hook, virtualKey, false, 1);
    return 0;
}

SCRIPTED_EXPORT int ScriptedHookSetUp(const char* script, int capsLockOn, int numLockOn)
{
    std::vector<Step> steps;
    std::istringstream lines(script ? script : "");
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (line.empty())
            continue;
        Step step;
        if (!ParseLine(line, step))
            return number;
        steps.push_back(step);
    }
    Hook& hook = TheHook();
    std::lock_guard guard(hook.lock);
    if (hook.window >= 0)
        return -1;
    hook.script = std::move(steps);
    hook.capsLockOn = capsLockOn != 0;
    hook.numLockOn = numLockOn != 0;
    hook.captureOn = false;
    hook.resets = 0;
    hook.toggles.clear();
    hook.held.clear();
    hook.log.clear();
    hook.failNext.clear();
    hook.played = false;
    return 0;
}

SCRIPTED_EXPORT void ScriptedHookFailNext(const char* call, int error)
{
    Hook& hook = TheHook();
    std::lock_guard guard(hook.lock);
    hook.failNext[call] = error;
}

SCRIPTED_EXPORT size_t ScriptedHookLog(char* buffer, size_t size)
{
    Hook& hook = TheHook();
    std::string text;
    {
        std::lock_guard guard(hook.lock);
        for (const auto& line : hook.log)
            text += line + '\n';
    }
    if (size > 0) {
        const std::size_t copied = std::min(size - 1, text.size());
        std::memcpy(buffer, text.data(), copied);
        buffer[copied] = '\0';
    }
    return text.size();
}

namespace {

// Under the lock.
int Value(Hook& hook, const std::string& name)
{
    if (name == "caps")
        return hook.capsLockOn;
    if (name == "num")
        return hook.numLockOn;
    if (name == "capture")
        return hook.captureOn;
    if (name == "hooked")
        return hook.window >= 0;
    if (name == "resets")
        return hook.resets;
    if (name == "played")
        return hook.played;
    if (name.rfind("toggles:", 0) == 0)
        return hook.toggles[static_cast<uint32_t>(std::stoul(name.substr(8)))];
    return -1;
}

} // namespace

SCRIPTED_EXPORT int ScriptedHookValue(const char* name)
{
    Hook& hook = TheHook();
    std::lock_guard guard(hook.lock);
    return Value(hook, name);
}

SCRIPTED_EXPORT int ScriptedHookWaitFor(const char* name, int value, int timeoutMs)
{
    Hook& hook = TheHook();
    std::unique_lock guard(hook.lock);
    return hook.changed.wait_for(guard, Ms(timeoutMs), [&] { return Value(hook, name) == value; }) ? 1 : 0;
}

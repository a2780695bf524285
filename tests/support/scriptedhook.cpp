#include "tests/support/scriptedhook.h"

#include <algorithm>
#include <dlfcn.h>
#include <sstream>
#include <stdexcept>
#include <utility>

ScriptedHook::ScriptedHook(std::string path) : m_path(std::move(path))
{
    m_handle = ::dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle)
        throw std::runtime_error("cannot load the scripted hook " + m_path);
    m_setUp = Find<decltype(m_setUp)>("ScriptedHookSetUp");
    m_failNext = Find<decltype(m_failNext)>("ScriptedHookFailNext");
    m_log = Find<decltype(m_log)>("ScriptedHookLog");
    m_value = Find<decltype(m_value)>("ScriptedHookValue");
    m_waitFor = Find<decltype(m_waitFor)>("ScriptedHookWaitFor");
}

ScriptedHook::~ScriptedHook()
{
    ::dlclose(m_handle);
}

template <class Fn> Fn ScriptedHook::Find(const char* name) const
{
    const auto function = reinterpret_cast<Fn>(::dlsym(m_handle, name));
    if (!function)
        throw std::runtime_error(m_path + " has no " + name);
    return function;
}

void ScriptedHook::SetUp(const std::string& script, bool capsLockOn, bool numLockOn)
{
    const int bad = m_setUp(script.c_str(), capsLockOn, numLockOn);
    if (bad != 0)
        throw std::invalid_argument("scripted hook: bad script line " + std::to_string(bad));
}

void ScriptedHook::FailNext(const std::string& call, int error)
{
    m_failNext(call.c_str(), error);
}

std::vector<std::string> ScriptedHook::Log() const
{
    std::string text(m_log(nullptr, 0) + 1, '\0');
    const std::size_t length = m_log(text.data(), text.size());
    text.resize(std::min(length, text.size() - 1));
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

int ScriptedHook::Value(const std::string& name) const
{
    return m_value(name.c_str());
}

bool ScriptedHook::WaitFor(const std::string& name, int value, Ms timeout) const
{
    return m_waitFor(name.c_str(), value, static_cast<int>(timeout.count())) != 0;
}

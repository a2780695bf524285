#pragma once

#include <optional>
#include <string>

// Sets an environment variable (or, with a null value, removes it) for the
// life of the object, then puts back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_previous;
};

#include "tests/support/scopedenv.h"

#include <cstdlib>

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name)
{
    if (const char* previous = std::getenv(name))
        m_previous = previous;
    value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    m_previous ? ::setenv(m_name, m_previous->c_str(), 1) : ::unsetenv(m_name);
}

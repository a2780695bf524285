#include "platform/dynlib.h"

#include <dlfcn.h>
#include <utility>

namespace platform {

DynamicLibrary::~DynamicLibrary()
{
    Close();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_error(std::move(other.m_error))
{
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept
{
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_error = std::move(other.m_error);
    }
    return *this;
}

bool DynamicLibrary::Open(const std::filesystem::path& path)
{
    Close();
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* error = ::dlerror();
        m_error = error ? error : "cannot load " + path.string();
        return false;
    }
    m_error.clear();
    return true;
}

void DynamicLibrary::Close()
{
    if (m_handle) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
}

void* DynamicLibrary::Symbol(const char* name) const
{
    return m_handle && name ? ::dlsym(m_handle, name) : nullptr;
}

} // namespace platform

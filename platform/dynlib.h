#pragma once

#include <filesystem>
#include <string>

namespace platform {

// A shared library loaded at run time; unloaded when the object goes away.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the file (its symbols kept to itself), unloading any library
    // held before. False when it cannot be loaded; Error() says why.
    bool Open(const std::filesystem::path& path);
    void Close();
    bool IsOpen() const { return m_handle != nullptr; }

    // The address of an exported symbol, or null.
    void* Symbol(const char* name) const;
    template <class T> T Function(const char* name) const { return reinterpret_cast<T>(Symbol(name)); }

    const std::string& Error() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
};

} // namespace platform

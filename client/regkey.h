#pragma once

#include "platform/registry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An open key of the configuration store, as the client uses one: opened or
// created with read and/or write access, numbers (32-bit), strings and
// binary blocks read and written by value name.
class CRegistryKey {
public:
    enum Access : unsigned { kRead = 1, kWrite = 2, kReadWrite = 3 };

    CRegistryKey() = default;

    // Opens an existing key; false when there is none.
    bool Open(platform::RegistryHive& hive, std::string_view path, unsigned access = kReadWrite);
    // Opens the key, creating it and its parents when missing.
    bool Create(platform::RegistryHive& hive, std::string_view path, unsigned access = kReadWrite);
    bool OpenSubKey(const CRegistryKey& parent, std::string_view name, unsigned access = kReadWrite);
    bool CreateSubKey(const CRegistryKey& parent, std::string_view name, unsigned access = kReadWrite);
    void Close();

    bool IsOpen() const { return m_hive != nullptr; }
    const std::string& Path() const { return m_path; }
    bool SubKeyExists(std::string_view name) const;

    // False when the value is missing or of another type; `value` is then unchanged.
    bool ReadNumber(std::string_view name, std::int32_t& value) const;
    bool ReadString(std::string_view name, std::string& value) const;
    bool ReadBinary(std::string_view name, std::vector<std::uint8_t>& value) const;

    // False when the key is not open for writing or the store cannot be written.
    bool WriteNumber(std::string_view name, std::int32_t value);
    bool WriteString(std::string_view name, std::string_view value);
    bool WriteBinary(std::string_view name, const std::vector<std::uint8_t>& value);
    // True when the value is absent afterwards.
    bool DeleteValue(std::string_view name);

private:
    bool Attach(platform::RegistryHive& hive, std::string_view path, unsigned access);
    std::optional<platform::RegistryValue> Query(std::string_view name) const;
    bool Write(std::string_view name, const platform::RegistryValue& value);
    static std::string Join(std::string_view path, std::string_view name);

    platform::RegistryHive* m_hive = nullptr;
    std::string m_path;
    unsigned m_access = 0;
};

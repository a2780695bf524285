#include "client/regkey.h"

using platform::RegistryType;
using platform::RegistryValue;

std::string CRegistryKey::Join(std::string_view path, std::string_view name)
{
    std::string joined(path);
    if (!joined.empty())
        joined.push_back('\\');
    joined.append(name);
    return joined;
}

bool CRegistryKey::Open(platform::RegistryHive& hive, std::string_view path, unsigned access)
{
    Close();
    return hive.KeyExists(path) && Attach(hive, path, access);
}

bool CRegistryKey::Create(platform::RegistryHive& hive, std::string_view path, unsigned access)
{
    Close();
    return hive.CreateKey(path) && Attach(hive, path, access);
}

bool CRegistryKey::Attach(platform::RegistryHive& hive, std::string_view path, unsigned access)
{
    m_hive = &hive;
    m_path = path;
    m_access = access;
    return true;
}

bool CRegistryKey::OpenSubKey(const CRegistryKey& parent, std::string_view name, unsigned access)
{
    if (!parent.IsOpen()) {
        Close();
        return false;
    }
    return Open(*parent.m_hive, Join(parent.m_path, name), access);
}

bool CRegistryKey::CreateSubKey(const CRegistryKey& parent, std::string_view name, unsigned access)
{
    if (!parent.IsOpen()) {
        Close();
        return false;
    }
    return Create(*parent.m_hive, Join(parent.m_path, name), access);
}

void CRegistryKey::Close()
{
    m_hive = nullptr;
    m_path.clear();
    m_access = 0;
}

bool CRegistryKey::SubKeyExists(std::string_view name) const
{
    return IsOpen() && m_hive->KeyExists(Join(m_path, name));
}

std::optional<RegistryValue> CRegistryKey::Query(std::string_view name) const
{
    if (!IsOpen() || !(m_access & kRead))
        return std::nullopt;
    return m_hive->QueryValue(m_path, name);
}

bool CRegistryKey::ReadNumber(std::string_view name, std::int32_t& value) const
{
    const auto stored = Query(name);
    if (!stored || stored->Type() != RegistryType::Number)
        return false;
    value = static_cast<std::int32_t>(stored->AsNumber());
    return true;
}

bool CRegistryKey::ReadString(std::string_view name, std::string& value) const
{
    const auto stored = Query(name);
    if (!stored || stored->Type() != RegistryType::String)
        return false;
    value = stored->AsString();
    return true;
}

bool CRegistryKey::ReadBinary(std::string_view name, std::vector<std::uint8_t>& value) const
{
    const auto stored = Query(name);
    if (!stored || stored->Type() != RegistryType::Binary)
        return false;
    value = stored->AsBinary();
    return true;
}

bool CRegistryKey::Write(std::string_view name, const RegistryValue& value)
{
    return IsOpen() && (m_access & kWrite) && m_hive->SetValue(m_path, name, value);
}

bool CRegistryKey::WriteNumber(std::string_view name, std::int32_t value)
{
    return Write(name, RegistryValue::Number(static_cast<std::uint32_t>(value)));
}

bool CRegistryKey::WriteString(std::string_view name, std::string_view value)
{
    return Write(name, RegistryValue::String(std::string(value)));
}

bool CRegistryKey::WriteBinary(std::string_view name, const std::vector<std::uint8_t>& value)
{
    return Write(name, RegistryValue::Binary(value));
}

bool CRegistryKey::DeleteValue(std::string_view name)
{
    return IsOpen() && (m_access & kWrite) && m_hive->DeleteValue(m_path, name);
}

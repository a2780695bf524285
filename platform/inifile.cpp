#include "platform/inifile.h"

#include "platform/atomicfile.h"

#include <algorithm>
#include <climits>

namespace platform {

namespace {

bool SameName(std::string_view a, std::string_view b)
{
    const auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return fold(x) == fold(y); });
}

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string Cut(std::string_view text, std::size_t bufferSize)
{
    if (bufferSize == 0)
        return {};
    return std::string(text.substr(0, bufferSize - 1));
}

} // namespace

bool IniFile::Load(const std::filesystem::path& path)
{
    m_sections.clear();
    std::string text;
    if (!ReadWholeFile(path, text, kMaxFileBytes))
        return false;
    Parse(text);
    return true;
}

void IniFile::Parse(std::string_view text)
{
    m_sections.clear();
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    Section* current = nullptr;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (const auto close = line.rfind(']'); line.front() == '[' && close != std::string_view::npos) {
            m_sections.push_back({std::string(Trim(line.substr(1, close - 1))), {}});
            current = &m_sections.back();
            continue;
        }
        if (!current)
            continue; // lines before the first section belong to none
        const auto equals = line.find('=');
        Entry entry;
        entry.key = std::string(Trim(line.substr(0, equals)));
        if (equals != std::string_view::npos) {
            entry.value = std::string(Trim(line.substr(equals + 1)));
            entry.hasValue = true;
        }
        current->entries.push_back(std::move(entry));
    }
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const
{
    const auto found = std::find_if(m_sections.begin(), m_sections.end(),
                                    [&](const Section& section) { return SameName(section.name, name); });
    return found == m_sections.end() ? nullptr : &*found;
}

const IniFile::Entry* IniFile::FindEntry(std::string_view section, std::string_view key) const
{
    const Section* found = FindSection(Trim(section));
    if (!found)
        return nullptr;
    const std::string_view wanted = Trim(key);
    for (const auto& entry : found->entries)
        if (SameName(entry.key, wanted))
            return &entry;
    return nullptr;
}

std::string IniFile::GetString(std::string_view section, std::string_view key, std::string_view defaultValue,
                               std::size_t bufferSize) const
{
    const Entry* entry = FindEntry(section, key);
    if (!entry || !entry->hasValue) {
        const auto last = defaultValue.find_last_not_of(' ');
        return Cut(defaultValue.substr(0, last == std::string_view::npos ? 0 : last + 1), bufferSize);
    }
    std::string_view value = entry->value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return Cut(value, bufferSize);
}

int IniFile::GetInt(std::string_view section, std::string_view key, int defaultValue) const
{
    const Entry* entry = FindEntry(section, key);
    if (!entry || !entry->hasValue || entry->value.empty())
        return defaultValue;
    std::string_view text = entry->value;
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    long long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        number = std::min<long long>(number * 10 + (c - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    if (negative)
        number = -number;
    return static_cast<int>(std::clamp<long long>(number, INT_MIN, INT_MAX));
}

bool IniFile::HasSection(std::string_view section) const
{
    return FindSection(Trim(section)) != nullptr;
}

std::vector<std::string> IniFile::SectionNames() const
{
    std::vector<std::string> names;
    for (const auto& section : m_sections)
        names.push_back(section.name);
    return names;
}

std::vector<std::string> IniFile::KeyNames(std::string_view section) const
{
    std::vector<std::string> names;
    if (const Section* found = FindSection(Trim(section)))
        for (const auto& entry : found->entries)
            names.push_back(entry.key);
    return names;
}

} // namespace platform

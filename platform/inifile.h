#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// An initialisation file read the way the classic profile functions read
// one: "[section]" headers and "key=value" lines, names compared without
// regard to ASCII case, blanks around names and values dropped, ";" lines
// ignored. When a section or key appears twice the first one counts.
class IniFile {
public:
    static constexpr std::size_t kMaxFileBytes = 4u << 20;

    // False when the file cannot be read; the object is then empty.
    bool Load(const std::filesystem::path& path);
    void Parse(std::string_view text);

    // The key's value as a buffer of `bufferSize` bytes would receive it: at
    // most bufferSize - 1 characters, one pair of enclosing quotes (' or ")
    // removed. A missing section or key, or a key line without "=", gives
    // `defaultValue` with its trailing blanks removed, cut the same way.
    std::string GetString(std::string_view section, std::string_view key, std::string_view defaultValue,
                          std::size_t bufferSize) const;
    // The value's leading decimal number (blanks and a sign allowed, 0 when
    // there is none, clamped to int); `defaultValue` when missing or empty.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;

    bool HasSection(std::string_view section) const;
    std::vector<std::string> SectionNames() const;
    std::vector<std::string> KeyNames(std::string_view section) const;

private:
    struct Entry {
        std::string key;
        std::string value;
        bool hasValue = false;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };

    const Section* FindSection(std::string_view name) const;
    const Entry* FindEntry(std::string_view section, std::string_view key) const;

    std::vector<Section> m_sections;
};

} // namespace platform

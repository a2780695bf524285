// Arbitrary bytes as an initialisation file, then every section and key it
// names read back through buffers of several sizes.
#include "platform/inifile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::IniFile ini;
    ini.Parse(text);
    for (const auto& section : ini.SectionNames()) {
        if (!ini.HasSection(section))
            __builtin_trap();
        for (const auto& key : ini.KeyNames(section)) {
            for (std::size_t buffer : {0u, 1u, 2u, 16u, 1024u}) {
                const std::string value = ini.GetString(section, key, "default ", buffer);
                if (buffer == 0 ? !value.empty() : value.size() > buffer - 1)
                    __builtin_trap();
            }
            ini.GetInt(section, key, -1);
        }
    }
    return 0;
}

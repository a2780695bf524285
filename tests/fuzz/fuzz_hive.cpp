// Arbitrary bytes as a hive file. Whatever the reader keeps must format to
// text that reads back as the same tree with no line rejected.
#include "platform/registry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<platform::HiveProblem> problems;
    const platform::RegistryNode tree = platform::ParseHive(text, "HKEY_CURRENT_USER", problems);
    for (const auto& problem : problems)
        if (problem.line == 0 || problem.reason.empty())
            __builtin_trap();

    const std::string formatted = platform::FormatHive(tree, "HKEY_CURRENT_USER");
    std::vector<platform::HiveProblem> again;
    const platform::RegistryNode back = platform::ParseHive(formatted, "HKEY_CURRENT_USER", again);
    if (!again.empty() || !(back == tree))
        __builtin_trap();
    return 0;
}

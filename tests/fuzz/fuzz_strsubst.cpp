// Arbitrary template and map through TSStringSubst::Substitute.
// Input: one control byte (mode, drop-missing, recursion, delimiter style),
// then NUL-separated fields: the template, then key/value pairs.
#include "tst/tsstrsub.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t control = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);

    std::vector<std::string_view> fields;
    for (auto nul = rest.find('\0'); nul != std::string_view::npos; nul = rest.find('\0')) {
        fields.push_back(rest.substr(0, nul));
        rest.remove_prefix(nul + 1);
    }
    fields.push_back(rest);

    TSStringSubst subst(control & 3, (control >> 2) & 1, '^', (control >> 3) & 1);
    if (control & 0x10)
        subst.SetDelimiters("<^", "^>");
    for (std::size_t i = 1; i + 1 < fields.size(); i += 2)
        subst.Set(fields[i], fields[i + 1]);

    std::string text(fields[0]);
    const std::string before = text;
    try {
        if (!subst.Substitute(text) && text != before)
            __builtin_trap(); // "unchanged" must mean unchanged
    } catch (const TSStringSubstException&) {
        if (text != before)
            __builtin_trap(); // a failure must leave the text as it was
    }
    return 0;
}

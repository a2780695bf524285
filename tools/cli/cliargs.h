#pragma once

#include "tools/cli/clitable.h"

#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// Exit statuses of every subcommand.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// The command line of one subcommand: "--name value", "--name=value" and
// bare flags, in any order among the positional words; "--" ends options,
// and before it any other word that begins with "-" (but "-" alone) is an
// unknown option. "--json" and "--tsv" are known to every subcommand.
class CliArgs {
public:
    // Returns nothing and fills `error` for an unknown option or a missing value.
    static std::optional<CliArgs> Parse(const std::vector<std::string>& words,
                                        std::initializer_list<std::string_view> valueOptions,
                                        std::initializer_list<std::string_view> flagOptions,
                                        std::string& error);

    bool Has(std::string_view flag) const { return m_flags.count(std::string(flag)) != 0; }
    std::optional<std::string> Value(std::string_view option) const;
    const std::vector<std::string>& Positional() const { return m_positional; }
    bool Json() const { return Has("--json"); }
    bool Tsv() const { return Has("--tsv"); }
    // How tables go to standard output.
    TableStyle Style() const;

    // "-h" or "--help" before any "--".
    static bool WantsHelp(const std::vector<std::string>& words);

private:
    std::vector<std::string> m_positional;
    std::map<std::string, std::string> m_values;
    std::set<std::string> m_flags;
};

// Parses a whole decimal number (optional leading '-'); nothing on junk or overflow.
std::optional<long> ParseLong(std::string_view text);

#include "tools/cli/cliargs.h"

#include <algorithm>
#include <charconv>

namespace {

bool Contains(std::initializer_list<std::string_view> names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

std::optional<CliArgs> CliArgs::Parse(const std::vector<std::string>& words,
                                      std::initializer_list<std::string_view> valueOptions,
                                      std::initializer_list<std::string_view> flagOptions, std::string& error)
{
    CliArgs args;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 3 || word.compare(0, 2, "--") != 0) {
            if (word == "--")
                optionsEnded = true;
            else
                args.m_positional.push_back(word);
            continue;
        }
        const auto equals = word.find('=');
        const std::string name = word.substr(0, equals);
        if (Contains(valueOptions, name)) {
            if (equals != std::string::npos) {
                args.m_values[name] = word.substr(equals + 1);
            } else if (i + 1 < words.size()) {
                args.m_values[name] = words[++i];
            } else {
                error = "option " + name + " needs a value";
                return std::nullopt;
            }
        } else if ((Contains(flagOptions, name) || name == "--json") && equals == std::string::npos) {
            args.m_flags.insert(name);
        } else {
            error = "unknown option " + word;
            return std::nullopt;
        }
    }
    return args;
}

std::optional<std::string> CliArgs::Value(std::string_view option) const
{
    const auto it = m_values.find(std::string(option));
    if (it == m_values.end())
        return std::nullopt;
    return it->second;
}

std::optional<long> ParseLong(std::string_view text)
{
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

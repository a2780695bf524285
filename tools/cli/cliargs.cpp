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
        if (optionsEnded || word == "-" || !word.starts_with('-')) {
            args.m_positional.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (!word.starts_with("--")) {
            error = "unknown option " + word + " (a text that begins with '-' goes after '--')";
            return std::nullopt;
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
        } else if ((Contains(flagOptions, name) || name == "--json" || name == "--tsv") &&
                   equals == std::string::npos) {
            args.m_flags.insert(name);
        } else {
            error = "unknown option " + word;
            return std::nullopt;
        }
    }
    if (args.Json() && args.Tsv()) {
        error = "--json and --tsv do not go together";
        return std::nullopt;
    }
    return args;
}

bool CliArgs::WantsHelp(const std::vector<std::string>& words)
{
    for (const std::string& word : words) {
        if (word == "--")
            return false;
        if (word == "-h" || word == "--help")
            return true;
    }
    return false;
}

TableStyle CliArgs::Style() const
{
    return OutputTableStyle(Tsv());
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

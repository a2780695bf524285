#include "tools/cli/cliinput.h"

#include "tools/cli/clitable.h"
#include "tools/cli/cliutf8.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(std::string_view line)
{
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

} // namespace

std::vector<std::string> ReadCodeLines(std::istream& in)
{
    std::vector<std::string> lines;
    bool first = true;
    for (std::string line; std::getline(in, line); first = false) {
        // Editors on other systems may begin a UTF-8 file with a byte order mark.
        if (first && line.starts_with(kByteOrderMark))
            line.erase(0, kByteOrderMark.size());
        if (line.ends_with('\r'))
            line.pop_back();
        if (!IsBlank(line))
            lines.push_back(std::move(line));
    }
    return lines;
}

CodeInput ReadCodes(const CliArgs& args)
{
    CodeInput input;
    const auto& words = args.Positional();
    const auto file = args.Value("--file");
    const bool fromStdin =
        (words.size() == 1 && words.front() == "-") || (words.empty() && !file && !isatty(STDIN_FILENO));
    if (file && !words.empty()) {
        input.error = "give the codes either as arguments or with --file, not both";
        input.usage = true;
    } else if (words.size() > 1 && std::find(words.begin(), words.end(), "-") != words.end()) {
        input.error = "'-' (standard input) must be the only code argument";
        input.usage = true;
    } else if (file && *file == "-") {
        input.codes = ReadCodeLines(std::cin);
    } else if (file) {
        std::ifstream in(*file);
        if (!in)
            input.error = "cannot read " + *file + ": " + std::strerror(errno);
        else
            input.codes = ReadCodeLines(in);
    } else if (fromStdin) {
        input.codes = ReadCodeLines(std::cin);
    } else {
        input.codes = words;
    }
    return input;
}

std::string UnsupportedCharacter(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = DecodeUtf8(text, i);
        if (c.length == 1 && c.codePoint >= 0x20 && c.codePoint < 0x7F) {
            ++i;
            continue;
        }
        if (c.length == 0)
            return "the byte " + EscapeCell(text.substr(i, 1)) +
                   " is not UTF-8, and codes are written in ASCII";
        return "'" + EscapeCell(text.substr(i, c.length)) + "' (" + CodePointName(c.codePoint) +
               ") is not a character codes are written in (printable ASCII)";
    }
    return "";
}

#pragma once

#include "tools/cli/cliargs.h"

#include <istream>
#include <string>
#include <string_view>
#include <vector>

// Where the codes of analyze and resolve came from, and what went wrong.
struct CodeInput {
    std::vector<std::string> codes;
    std::string error;
    bool usage = false; // the error is bad usage, not a failed read
};

// The positional words, or the lines of --file FILE ("-": standard input),
// or of standard input when "-" is the only word or no word is given and
// standard input is not a terminal. Blank lines are skipped; a line keeps
// its blanks.
CodeInput ReadCodes(const CliArgs& args);

// The non-blank lines of `in` without their line ends (LF or CR LF) and
// without a byte order mark in front of the first.
std::vector<std::string> ReadCodeLines(std::istream& in);

// Codes are written in printable ASCII: why `text` cannot be one, naming
// the first character that is not ("'é' (U+00E9)"), or "" when it can.
std::string UnsupportedCharacter(std::string_view text);

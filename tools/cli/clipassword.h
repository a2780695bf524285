#pragma once

#include <optional>
#include <string>

// Asks for a password on the terminal of standard input, with `prompt` on
// standard error and without echo; the terminal's settings come back even
// when Ctrl-C ends the program. Nothing when standard input is no terminal
// or the input ended.
std::optional<std::string> PromptPassword(const std::string& prompt);

// The first line of standard input without its line end; nothing when
// standard input is empty.
std::optional<std::string> ReadPasswordLine();

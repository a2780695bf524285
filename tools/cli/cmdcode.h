#pragma once

#include <string>
#include <vector>

// The code model on the command line: which types a text could be, and the
// parts of a code built from IDs or split from a text.
int CmdAnalyze(const std::vector<std::string>& words);
int CmdConstruct(const std::vector<std::string>& words);
int CmdDecompose(const std::vector<std::string>& words);

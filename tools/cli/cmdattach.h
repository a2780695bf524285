#pragma once

#include <string>
#include <vector>

// lumora-cli attach: links this installation to an existing account through
// the attach exchange and stores the returned identity as the client does.
int CmdAttach(const std::vector<std::string>& words);

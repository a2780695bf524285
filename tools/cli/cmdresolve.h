#pragma once

#include <string>
#include <vector>

// lumora-cli resolve: runs codes through the batch code processor (formats,
// templates, addresses and, when asked, descriptions) with the user's
// caches, and prints one result per code in input order.
int CmdResolve(const std::vector<std::string>& words);

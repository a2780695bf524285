#pragma once

#include <string>
#include <vector>

// The lines of a text file; empty when it cannot be read.
std::vector<std::string> ReadLines(const std::string& path);

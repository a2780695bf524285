#pragma once

#include <ostream>
#include <string>
#include <vector>

// Prints rows under a header line in left-aligned columns, for the readable
// (non-JSON) output of the subcommands.
void PrintTable(std::ostream& out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows);

#pragma once

#include <ostream>
#include <string>
#include <string_view>

// The help of one subcommand: a line for the overview, the synopsis that
// usage errors repeat, and the options explained.
struct CommandHelp {
    std::string_view name;
    std::string_view summary;
    std::string_view usage;
    std::string_view details;
};

// The subcommand's help, or null for a name that is none.
const CommandHelp* FindCommandHelp(std::string_view name);

// "lumora-cli help": the subcommands with a line each.
void PrintOverview(std::ostream& out);
// "lumora-cli CMD --help": the synopsis and every option.
void PrintCommandHelp(std::ostream& out, const CommandHelp& help);

// Bad usage of a subcommand: the message and the synopsis on standard
// error. Returns the exit status for bad usage.
int ReportUsage(std::string_view command, const std::string& message);

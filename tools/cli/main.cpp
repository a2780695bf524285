// lumora-cli: the command-line front end on the client's libraries.
#include "tools/cli/cliargs.h"
#include "tools/cli/cmdattach.h"
#include "tools/cli/cmdcode.h"
#include "tools/cli/cmdresolve.h"
#include "tools/cli/cmdscan.h"
#include "tools/cli/cmdsend.h"

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

using CommandFn = int (*)(const std::vector<std::string>& words);

struct Command {
    const char* name;
    CommandFn run;
    const char* usage;
};

// Each subsystem adds its subcommands here.
const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {"analyze", CmdAnalyze, kAnalyzeUsage},
        {"attach", CmdAttach, kAttachUsage},
        {"construct", CmdConstruct, kConstructUsage},
        {"decompose", CmdDecompose, kDecomposeUsage},
        {"resolve", CmdResolve, kResolveUsage},
        {"scan", CmdScan, kScanUsage},
        {"send", CmdSend, kSendUsage},
    };
    return commands;
}

void PrintUsage(std::ostream& out)
{
    out << "usage: lumora-cli COMMAND [--json] ARGS...\n";
    for (const auto& command : Commands())
        out << "  " << command.name << ' ' << command.usage << '\n';
    out << "Exit status: 0 success, 1 an operation failed, 2 bad usage.\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintUsage(std::cerr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "help") {
        PrintUsage(std::cout);
        return kExitOk;
    }
    if (name == "--version") {
        std::cout << "lumora-cli " << LUMORA_VERSION << '\n';
        return kExitOk;
    }
    for (const auto& command : Commands())
        if (name == command.name)
            return command.run(std::vector<std::string>(argv + 2, argv + argc));
    std::cerr << "lumora-cli: unknown command '" << name << "'\n";
    PrintUsage(std::cerr);
    return kExitUsage;
}

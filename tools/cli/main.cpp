// lumora-cli: the command-line front end on the client's libraries.
#include "tools/cli/cliargs.h"
#include "tools/cli/clihelp.h"
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
};

// Each subsystem adds its subcommands here, and their help in clihelp.cpp.
const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {"analyze", CmdAnalyze},     {"attach", CmdAttach},   {"construct", CmdConstruct},
        {"decompose", CmdDecompose}, {"resolve", CmdResolve}, {"scan", CmdScan},
        {"send", CmdSend},
    };
    return commands;
}

// "help" alone, or "help CMD".
int Help(const std::vector<std::string>& words)
{
    if (words.empty()) {
        PrintOverview(std::cout);
        return kExitOk;
    }
    if (const CommandHelp* help = FindCommandHelp(words.front())) {
        PrintCommandHelp(std::cout, *help);
        return kExitOk;
    }
    std::cerr << "lumora-cli: unknown command '" << words.front() << "'\n";
    PrintOverview(std::cerr);
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintOverview(std::cerr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    const std::vector<std::string> words(argv + 2, argv + argc);
    if (name == "--help" || name == "-h" || name == "help")
        return Help(words);
    if (name == "--version") {
        std::cout << "lumora-cli " << LUMORA_VERSION << '\n';
        return kExitOk;
    }
    for (const auto& command : Commands()) {
        if (name != command.name)
            continue;
        if (CliArgs::WantsHelp(words))
            return Help({name});
        return command.run(words);
    }
    std::cerr << "lumora-cli: unknown command '" << name << "'\n";
    PrintOverview(std::cerr);
    return kExitUsage;
}

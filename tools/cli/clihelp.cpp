#include "tools/cli/clihelp.h"

#include "tools/cli/cliargs.h"
#include "tools/cli/clitypes.h"

#include <cctype>
#include <iostream>
#include <vector>

namespace {

constexpr std::string_view kOutputOptions = "  --json        one JSON object per line (UTF-8)\n"
                                            "  --tsv         tab-separated values under a header line\n"
                                            "  -h, --help    this help\n"
                                            "  --            every word after it is an argument, even one\n"
                                            "                that begins with '-'\n";

constexpr std::string_view kCodeInput =
    "  --file FILE   the codes, one a line, from FILE (blank lines are skipped;\n"
    "                '-' is standard input)\n"
    "  -             read the codes from standard input, one a line; so does a\n"
    "                run without codes when standard input is not a terminal\n";

const std::vector<CommandHelp>& Helps()
{
    static const std::vector<CommandHelp> helps = {
        {"analyze", "list the code types a text could be",
         "[--scanned] [--scan-type N] [--file FILE] [--json|--tsv] [--] TEXT...",
         "Prints for each text the code types it could be, most specific first:\n"
         "  {\"text\":T,\"candidates\":[\"UPCA\",...]}\n"
         "  --scanned      the text came from a scanner (add-ons allowed, never ISBN\n"
         "                 or Numicode)\n"
         "  --scan-type N  the scanner's symbology hint, 0 to 8\n"
         "Exits 1 when a text has no candidate."},
        {"attach", "attach this installation to an account and store the identity",
         "[--server-dat FILE] [--password-stdin] [--json|--tsv] LOGIN [PASSWORD]",
         "Asks the registration server to attach LOGIN and stores the user identity\n"
         "as the desktop client does:\n"
         "  {\"attached\":1,\"uid\":BLINDED,\"appid\":..,\"login\":..}\n"
         "  --server-dat FILE  the core cache to use instead of Server.dat\n"
         "  --password-stdin   read the password from the first line of standard input\n"
         "Without PASSWORD and --password-stdin the password is asked for on the\n"
         "terminal, without echo."},
        {"construct", "build a code from its server ID and item ID",
         "--type NAME [--json|--tsv] SID IID [XID]",
         "Prints the parts of the code built from SID, IID and the optional add-on XID:\n"
         "  {\"SCODE\":..,\"RCODE\":..,\"CODE\":..,\"SID\":..,\"RSID\":..,\"IID\":..,\"RIID\":..,\n"
         "   \"XID\":..,\"TYPE\":..,\"CODETYPE\":..}\n"
         "  --type NAME   the code type (see TYPES)"},
        {"decompose", "split a code into its server ID and item ID",
         "--type NAME [--format LOW,HIGH,RIDOFF,RIDLEN,IIDOFF,IIDLEN[,TEMPLATE]] [--json|--tsv] TEXT",
         "Prints the parts of TEXT as construct does, plus \"display\", the text in\n"
         "the format's display form.\n"
         "  --type NAME     the code type (see TYPES)\n"
         "  --format ...    the code format: code range, offsets and lengths of the\n"
         "                  routing and item IDs, and a display template"},
        {"resolve", "turn codes into web addresses (and descriptions) through the servers",
         "[--descriptions] [--offline] [--server-dat FILE] [--cache-dir DIR] [--uid BLINDED] "
         "[--proxy HOST:PORT] [--proxy-user U] [--proxy-password P] [--timeout SECONDS] [--file FILE] "
         "[--json|--tsv] [--] CODE...",
         "Runs the codes through the batch processor with the user's caches and prints\n"
         "one result per code, in input order:\n"
         "  {\"code\":RAW,\"type\":..,\"status\":19,\"sid\":..,\"iid\":..,\"text\":..,\"url\":..,\n"
         "   \"description\":..,\"error\":REASON,\"detail\":..}\n"
         "A CODE is analysed as typed (the first fitting type is taken), or given as\n"
         "TYPE:TEXT. \"error\" says in plain words why a code got no address, \"detail\"\n"
         "holds the toolkit's own text; a summary goes to standard error.\n"
         "  --descriptions     also fetch the descriptions\n"
         "  --offline          answer from the caches only\n"
         "  --server-dat FILE  the core cache to use instead of Server.dat\n"
         "  --cache-dir DIR    where the caches are loaded from and saved to\n"
         "  --uid BLINDED      the user id the caches are kept under (default: the\n"
         "                     stored identity)\n"
         "  --proxy HOST:PORT  the HTTP proxy to go through\n"
         "  --proxy-user U, --proxy-password P\n"
         "                     the proxy's credentials\n"
         "  --timeout SECONDS  the longest any one query may take, whatever the\n"
         "                     server does (default 60)\n"
         "Exits 0 when every code ended with an address, else 1."},
        {"scan", "read a scanner and print each scan as it arrives",
         "--scanner N [--port COMn|DEVICE] [--detect] [--once] [--timeout SECONDS] [--json|--tsv]",
         "Prints one {\"type\":S,\"text\":T} per scan, S being the scan's symbology hint.\n"
         "  --scanner N        the scanner type, 0 to 10 as the client numbers them\n"
         "                     (8 and 9, the keyboard scanners, take no port)\n"
         "  --port COMn|DEVICE the serial port: COM0 to COM9 (through the dosdevices\n"
         "                     links of the configuration) or a device such as\n"
         "                     /dev/ttyUSB0\n"
         "  --detect           only tell whether the device answers: {\"found\":0|1};\n"
         "                     exits 1 when none answered\n"
         "  --once             stop after the first delivery\n"
         "  --timeout SECONDS  stop after that long; with --once, exits 1 when no\n"
         "                     code came\n"
         "Ctrl-C stops the scanner and frees the port."},
        {"send", "hand codes to the running desktop client", "[--type LETTER] [--json|--tsv] TEXT...",
         "Hands the texts to the running client as one barcode data block.\n"
         "  --type LETTER  the scan type letter of every text: A to H, or Z for any\n"
         "Exits 1 when no client is running."},
    };
    return helps;
}

} // namespace

const CommandHelp* FindCommandHelp(std::string_view name)
{
    for (const CommandHelp& help : Helps())
        if (help.name == name)
            return &help;
    return nullptr;
}

void PrintOverview(std::ostream& out)
{
    out << "usage: lumora-cli COMMAND [OPTIONS] ARGS...\n"
           "       lumora-cli help COMMAND    (or lumora-cli COMMAND --help)\n"
           "       lumora-cli --version\n\nCommands:\n";
    for (const CommandHelp& help : Helps()) {
        std::string name(help.name);
        name.resize(11, ' ');
        out << "  " << name << help.summary << '\n';
    }
    out << "\nEvery command takes --json (one JSON object per line) or --tsv.\n"
           "Exit status: 0 success, 1 an operation failed, 2 bad usage.\n";
}

void PrintCommandHelp(std::ostream& out, const CommandHelp& help)
{
    std::string summary(help.summary);
    summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
    out << "usage: lumora-cli " << help.name << ' ' << help.usage << "\n\n"
        << summary << ".\n"
        << help.details << '\n';
    if (help.name == "analyze" || help.name == "resolve")
        out << "\nWhere the codes come from:\n" << kCodeInput;
    out << "\nOptions every command takes:\n" << kOutputOptions;
    if (help.name != "scan" && help.name != "send" && help.name != "attach")
        out << "\nTYPES: " << CliCodeTypeNames() << ",\nin any case, also with dashes (UPC-A).\n";
    out << "\nExit status: 0 success, 1 an operation failed, 2 bad usage.\n";
}

int ReportUsage(std::string_view command, const std::string& message)
{
    std::cerr << "lumora-cli " << command << ": " << message << '\n';
    if (const CommandHelp* help = FindCommandHelp(command))
        std::cerr << "usage: lumora-cli " << command << ' ' << help->usage << "\n(lumora-cli " << command
                  << " --help tells more)\n";
    return kExitUsage;
}

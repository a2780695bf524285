#include "tools/cli/cmdscan.h"

#include "client/scanfactory.h"
#include "tools/cli/cliargs.h"
#include "tools/cli/clihelp.h"
#include "tools/cli/clicontext.h"
#include "tools/cli/clijson.h"
#include "tools/cli/clitable.h"
#include "tools/cli/scanevents.h"
#include "vtkit/scanner/scexcep.h"
#include "vtkit/scanner/scqoder.h"
#include "vtkit/scanner/scserial.h"

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

// The keyboard scanners, which have no port.
bool IsKeyboardScanner(CScannerType type)
{
    return type == CScannerType::Qoder || type == CScannerType::Keyfob;
}

struct ScanOptions {
    CScannerType type = CScannerType::NetPen;
    std::string port;
    bool detect = false;
    bool once = false;
    std::optional<long> timeoutSeconds;
    bool json = false;
    TableStyle style;
};

// Scans are printed as they come, so a table's columns are fixed: a type
// or a found flag is one digit.
class ScanPrinter {
public:
    ScanPrinter(bool json, const TableStyle& style) : m_json(json), m_style(style) {}

    void Scan(const VTScanData& scan)
    {
        if (m_json)
            Line(JsonObject().Add("type", scan.type).Add("text", scan.text).Str());
        else
            Row({"TYPE", "TEXT"}, {std::to_string(scan.type), scan.text});
    }

    void Found(int found)
    {
        if (m_json)
            Line(JsonObject().Add("found", found).Str());
        else
            Row({"FOUND"}, {std::to_string(found)});
    }

private:
    // The header before the first row.
    void Row(const std::vector<std::string>& header, std::vector<std::string> cells)
    {
        if (!m_headerDone)
            Line(Join(header));
        m_headerDone = true;
        for (std::string& cell : cells) {
            cell = EscapeCell(cell);
            if (cell.empty() && !m_style.tsv)
                cell = "-";
        }
        Line(Join(cells));
    }

    std::string Join(std::vector<std::string> cells) const
    {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (!m_style.tsv && i + 1 < cells.size())
                cells[i].resize(std::max<std::size_t>(cells[i].size(), kFirstColumn), ' ');
            line += (i ? (m_style.tsv ? "\t" : "  ") : "") + cells[i];
        }
        return line;
    }

    void Line(const std::string& line)
    {
        std::cout << (m_style.maxWidth ? ShortenToWidth(line, m_style.maxWidth) : line) << '\n' << std::flush;
    }

    static constexpr std::size_t kFirstColumn = 4; // "TYPE"
    bool m_json;
    TableStyle m_style;
    bool m_headerDone = false;
};

// "COM1, the device /dev/ttyUSB0": the port and what it leads to.
std::string DeviceOf(const std::string& port)
{
    const std::string path = VTSerialPort::ResolvePortName(port);
    if (path.empty() || path == port)
        return port;
    std::error_code error;
    const std::filesystem::path device = std::filesystem::weakly_canonical(path, error);
    return port + ", the device " + (error ? path : device.string());
}

void TellWhereItListens(const ScanOptions& options)
{
    if (options.detect || !isatty(STDERR_FILENO))
        return;
    if (IsKeyboardScanner(options.type))
        std::cerr << "lumora-cli: listening to the keyboard for the scanner's downloads (Ctrl-C stops)\n";
    else
        std::cerr << "lumora-cli: listening on " << DeviceOf(options.port) << " (Ctrl-C stops)\n";
}

int OpenFailure(VTBarcodeScanner& scanner, const ScanOptions& options, int result)
{
    if (result == VTBarcodeScanner::kCannotDetect) {
        std::cerr << "lumora-cli: scanner type " << ScannerTypeNumber(options.type)
                  << " cannot detect its device\n";
        return kExitFailed;
    }
    if (const auto* keyboard = dynamic_cast<VTQoderScanner*>(&scanner)) {
        std::cerr << "lumora-cli: the keyboard scanner could not be started: " << keyboard->GetLastOpenError()
                  << '\n';
        return kExitFailed;
    }
    std::string why = static_cast<VTSerialBarcodeScanner&>(scanner).GetLastOpenError();
    if (why.empty())
        why = "cannot open the port (result " + std::to_string(result) + ")";
    std::cerr << "lumora-cli: " << options.port << ": " << why << '\n';
    return kExitFailed;
}

const char* DownloadErrorText(int code)
{
    switch (code) {
    case 2:
        return "the download timed out";
    case 3:
        return "the download was garbled (transmission error)";
    default:
        return "the download failed";
    }
}

// What the run came to, for its exit status.
struct ScanOutcome {
    bool failed = false;
    bool delivered = false;
    bool nothingFound = false;
};

// Prints the events; true when the scan is over.
bool Report(const std::vector<ScanEvents::Event>& events, const ScanOptions& options, ScanPrinter& printer,
            ScanOutcome& outcome)
{
    bool over = false;
    for (const auto& event : events) {
        for (const auto& scan : event.scans)
            printer.Scan(scan);
        outcome.delivered = outcome.delivered || event.delivered;
        if (event.delivered && event.scans.empty())
            std::cerr << "lumora-cli: the scanner downloaded successfully; it held no codes\n";
        if (event.delivered && options.once)
            return true;
        if (event.downloadError)
            std::cerr << "lumora-cli: " << DownloadErrorText(*event.downloadError)
                      << "; please download the data again\n";
        if (event.found) {
            printer.Found(*event.found);
            outcome.nothingFound = *event.found == 0;
        }
        if (event.error) {
            std::cerr << "lumora-cli: " << *event.error << '\n';
            outcome.failed = true;
        }
        over = over || event.stopped;
    }
    return over;
}

int ExitStatus(const ScanOutcome& outcome, const ScanOptions& options, bool timedOut)
{
    if (outcome.failed)
        return kExitFailed;
    if (outcome.nothingFound) {
        std::cerr << "lumora-cli: no device answered on " << options.port << '\n';
        return kExitFailed;
    }
    if (options.once && timedOut && !outcome.delivered) {
        std::cerr << "lumora-cli: no code came within " << *options.timeoutSeconds << " s\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunScan(VTBarcodeScanner& scanner, const ScanOptions& options)
{
    Interruption interruption;
    ScanEvents events(interruption.WakeFd());
    scanner.SetListener(&events);
    const int started = StartWorker(scanner, options.detect);
    if (started != 0) {
        scanner.SetListener(nullptr);
        return OpenFailure(scanner, options, started);
    }
    TellWhereItListens(options);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(options.timeoutSeconds.value_or(0));
    ScanPrinter printer(options.json, options.style);
    ScanOutcome outcome;
    bool timedOut = false;
    for (;;) {
        int waitMs = -1;
        if (options.timeoutSeconds) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            timedOut = left <= 0;
            if (timedOut)
                break;
            waitMs = static_cast<int>(left);
        }
        interruption.Wait(waitMs);
        if (interruption.Interrupted() || Report(events.Take(), options, printer, outcome))
            break;
    }
    scanner.Stop(true);
    // Scans that came while stopping are still shown, unless one was enough.
    if (!options.once)
        Report(events.Take(), options, printer, outcome);
    scanner.SetListener(nullptr);
    return ExitStatus(outcome, options, timedOut);
}

std::optional<ScanOptions> ParseOptions(const std::vector<std::string>& words, std::string& error)
{
    const auto args =
        CliArgs::Parse(words, {"--scanner", "--port", "--timeout"}, {"--detect", "--once"}, error);
    if (!args)
        return std::nullopt;
    ScanOptions options;
    const auto number = ParseLong(args->Value("--scanner").value_or(""));
    const auto type = number && *number == static_cast<std::int32_t>(*number)
                          ? ScannerTypeFromNumber(static_cast<std::int32_t>(*number))
                          : std::nullopt;
    VTSerialPortConfig port;
    port.portName = args->Value("--port").value_or("");
    if (!type)
        error = "--scanner takes a scanner type from 0 to 10";
    else if (IsKeyboardScanner(*type) && args->Value("--port"))
        error = "--port is not for the keyboard scanners 8 and 9";
    else if (!IsKeyboardScanner(*type) && !port.IsValid())
        error = "--port takes a port name COM0 to COM9 or a device path such as /dev/ttyUSB0";
    else if (!args->Positional().empty())
        error = "unexpected argument " + args->Positional().front();
    if (const auto timeout = args->Value("--timeout")) {
        options.timeoutSeconds = ParseLong(*timeout);
        if (!options.timeoutSeconds || *options.timeoutSeconds <= 0)
            error = "--timeout takes a whole number of seconds above 0";
    }
    if (!error.empty())
        return std::nullopt;
    options.type = *type;
    options.port = port.portName;
    options.detect = args->Has("--detect");
    options.once = args->Has("--once");
    options.json = args->Json();
    options.style = args->Style();
    return options;
}

} // namespace

int CmdScan(const std::vector<std::string>& words)
{
    std::string error;
    const auto options = ParseOptions(words, error);
    if (!options)
        return ReportUsage("scan", error);
    const auto context = OpenCliContext();
    const auto scanner = context ? context->MakeScanner(options->type) : nullptr;
    if (!scanner) {
        std::cerr << "lumora-cli: scanner type " << ScannerTypeNumber(options->type)
                  << " is not supported by this build\n";
        return kExitFailed;
    }
    VTSerialPortConfig config;
    config.portName = options->port;
    try {
        if (auto* serial = dynamic_cast<VTSerialBarcodeScanner*>(scanner.get()))
            serial->SetPortConfig(config);
        return RunScan(*scanner, *options);
    } catch (const TSException& error) {
        std::cerr << "lumora-cli: " << error.GetMessage() << '\n';
    } catch (const std::exception& error) {
        std::cerr << "lumora-cli: " << error.what() << '\n';
    }
    return kExitFailed;
}

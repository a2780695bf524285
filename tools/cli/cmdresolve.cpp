#include "tools/cli/cmdresolve.h"

#include "tools/cli/cliargs.h"
#include "tools/cli/clicontext.h"
#include "tools/cli/clihelp.h"
#include "tools/cli/cliinput.h"
#include "tools/cli/clijson.h"
#include "tools/cli/clitable.h"
#include "tools/cli/clitypes.h"
#include "tools/cli/resolvelistener.h"
#include "tools/cli/resolveresults.h"
#include "tst/tsexcep.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/vtbatch.h"
#include "vtkit/vttoolkit.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <unistd.h>
#include <utility>

namespace {

constexpr const char* kCommand = "resolve";
// Batches shorter than this end before a progress line would help.
constexpr std::size_t kProgressLineCodes = 20;

struct Options {
    bool describe = false;
    bool offline = false;
    std::vector<std::string> codes; // as typed, or as the lines read
};

int Failure(const CliArgs& args, const std::string& message)
{
    return ReportFailure(kCommand, message, args.Json());
}

int Usage(const std::string& message)
{
    return ReportUsage(kCommand, message);
}

// "TYPE:TEXT" when the prefix names a type ("http://..." stays a text);
// otherwise the first type that analysis finds, or none. A text that no
// code can be written in gets no type.
VTBatchCode MakeCode(const std::string& word, std::int32_t mode)
{
    if (!UnsupportedCharacter(word).empty())
        return VTBatchCode(kCodeUnknown, std::string_view(word), mode);
    if (const auto colon = word.find(':'); colon != std::string::npos && colon > 0) {
        const VTCodeType type = CliCodeType(std::string_view(word).substr(0, colon));
        if (type != kCodeUnknown)
            return VTBatchCode(type, std::string_view(word).substr(colon + 1), mode);
    }
    std::vector<VTCodeType> candidates;
    AnalyzeCode(std::string_view(word), candidates, kScanTypeUnknown, false);
    return VTBatchCode(candidates.empty() ? kCodeUnknown : candidates.front(), std::string_view(word), mode);
}

// The identity the caches are kept under: --uid, else the stored one.
// False with the reason in `problem`; `usage` when --uid was the fault.
bool ChooseIdentity(const CliArgs& args, CAppContext& context, std::string& problem, bool& usage)
{
    usage = false;
    if (const auto given = args.Value("--uid")) {
        VTUserId userId;
        try {
            userId.SetBlindedId(*given);
        } catch (const TSException&) {
            problem = "'" + *given + "' is not a valid blinded user id";
            usage = true;
            return false;
        }
        context.UseIdentity(userId);
        return true;
    }
    switch (context.LoadIdentity()) {
    case CAppContext::IdentityState::kLoaded:
        return true;
    case CAppContext::IdentityState::kMissing:
        problem = "no user identity: attach first (lumora-cli attach LOGIN PASSWORD) or give --uid";
        return false;
    case CAppContext::IdentityState::kInvalid:
        problem = "the stored user identity is not valid: attach again (lumora-cli attach LOGIN PASSWORD)";
        return false;
    }
    return false;
}

// Waits for the batch, drawing a progress line when one is wanted.
void AwaitBatch(ResolveListener& listener, bool progressLine, std::size_t codes)
{
    int shown = -1;
    do {
        if (!progressLine || listener.Percent() == shown)
            continue;
        shown = listener.Percent();
        std::cerr << "\rresolving " << codes << " codes: " << shown << "%" << std::flush;
    } while (!listener.WaitFinished(std::chrono::milliseconds(200)));
    if (shown >= 0)
        std::cerr << "\r\033[K" << std::flush;
}

int Resolve(const CliArgs& args, const Options& options, CAppContext& context)
{
    const std::int32_t mode = options.describe ? VTBatchCode::kDescribe : VTBatchCode::kAddressOnly;
    VTBatchCodeList list;
    for (const std::string& word : options.codes)
        list.Add(MakeCode(word, mode));

    for (const CCacheProblem& problem : context.LoadUserCaches()) {
        std::cerr << "lumora-cli " << kCommand << ": ignoring the unreadable cache " << problem.file.string()
                  << " (result " << problem.result << ")";
        if (!problem.keptAs.empty())
            std::cerr << ", kept as " << problem.keptAs.string();
        std::cerr << '\n';
    }

    ResolveListener listener;
    VTToolkit& toolkit = context.Toolkit();
    VTBatchCodeProcessor& processor = toolkit.GetBatchProcessor();
    processor.SetListener(&listener);
    processor.SetList(list);
    if (const std::int32_t started = processor.Start(false, options.offline);
        started != VTBatchCodeProcessor::kStarted)
        return Failure(args, "the batch did not start (result " + std::to_string(started) + ")");
    const bool errorsOnTerminal = isatty(STDERR_FILENO);
    AwaitBatch(listener, errorsOnTerminal && list.Size() >= kProgressLineCodes, list.Size());

    ResolveRun run;
    run.typed = options.codes;
    run.codes = processor.GetList().GetAll();
    processor.SetListener(nullptr);
    processor.GetLastError(run.lastError);
    run.failures = listener.Failures();
    run.routing = {"the routing server", ServerAddress(toolkit.GetRoutingRecord()), toolkit.GetProxy()};
    run.timeouts = toolkit.GetTimeouts();
    run.describe = options.describe;
    run.offline = options.offline;

    PrintQueryFailures(std::cerr, run);
    PrintResults(args, run);

    std::string why;
    const bool saved = context.SaveUserCaches(&why);
    if (!saved)
        std::cerr << "lumora-cli " << kCommand << ": " << why << '\n';
    PrintSummary(std::cerr, args, run, errorsOnTerminal);
    const bool allResolved = std::all_of(run.codes.begin(), run.codes.end(), [&](const VTBatchCode& code) {
        return HasAddress(code, options.describe);
    });
    return allResolved && saved ? kExitOk : kExitFailed;
}

} // namespace

int CmdResolve(const std::vector<std::string>& words)
{
    std::string error;
    const auto args = CliArgs::Parse(words,
                                     {"--server-dat", "--cache-dir", "--uid", "--proxy", "--proxy-user",
                                      "--proxy-password", "--file", "--timeout"},
                                     {"--descriptions", "--offline"}, error);
    if (!args)
        return Usage(error);
    Options options;
    CodeInput input = ReadCodes(*args);
    if (input.usage)
        return Usage(input.error);
    if (!input.error.empty())
        return Failure(*args, input.error);
    if (input.codes.empty())
        return Usage("at least one CODE is required");
    options.codes = std::move(input.codes);
    options.describe = args->Has("--descriptions");
    options.offline = args->Has("--offline");

    CConnectionOverrides connection;
    connection.proxy = args->Value("--proxy");
    if (connection.proxy && !TSHttpTransactionClient::IsValidProxy(*connection.proxy))
        return Usage("--proxy takes HOST:PORT with a port from 1 to 65535, not '" + *connection.proxy + "'");
    if (const auto timeout = args->Value("--timeout")) {
        const auto seconds = ParseLong(*timeout);
        if (!seconds || *seconds <= 0 || *seconds > 86400)
            return Usage("--timeout takes a whole number of seconds from 1 to 86400, not '" + *timeout + "'");
        // Every query of the run ends within that time, whatever the server does.
        connection.timeouts = VTToolkit::kDefaultTimeouts;
        connection.timeouts->m_total = static_cast<std::uint32_t>(*seconds);
    }
    connection.proxyUser = args->Value("--proxy-user").value_or("");
    connection.proxyPassword = args->Value("--proxy-password").value_or("");
    const auto context = OpenCliContext(args->Value("--cache-dir"), connection);
    if (!context)
        return Failure(*args, "cannot open the configuration");
    std::string problem;
    if (bool usage = false; !ChooseIdentity(*args, *context, problem, usage))
        return usage ? Usage(problem) : Failure(*args, problem);
    if (!LoadCliCoreCache(*context, args->Value("--server-dat"), problem))
        return Failure(*args, problem);
    return Resolve(*args, options, *context);
}

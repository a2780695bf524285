#include "tools/cli/cmdresolve.h"

#include "tools/cli/cliargs.h"
#include "tools/cli/clicontext.h"
#include "tools/cli/clijson.h"
#include "tools/cli/clitable.h"
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

const char* const kResolveUsage =
    "[--descriptions] [--offline] [--server-dat FILE] [--cache-dir DIR] [--uid BLINDED] [--proxy HOST:PORT] "
    "[--proxy-user U] [--proxy-password P] [--timeout SECONDS] [--json] CODE...";

namespace {

constexpr const char* kCommand = "resolve";
// Batches shorter than this end before a progress line would help.
constexpr std::size_t kProgressLineCodes = 20;

// Holds the main thread until the batch ends; keeps what the batch said on
// the way. Failed queries are skipped: the batch goes on with what the
// caches hold and with the other description servers, as it does without a
// user to ask.
class ResolveListener : public VTBatchCodeListener {
public:
    Decision OnBatchError(std::int32_t phase, const VTServerError& error,
                          const std::string& serverName) override
    {
        static const char* const kQueries[] = {"format query", "template query", "description query"};
        std::string text = (phase >= 0 && phase <= 2) ? kQueries[phase] : "query";
        if (!serverName.empty())
            text += " to " + serverName;
        else if (!error.GetServer().empty())
            text += " to " + error.GetServer();
        const std::string why = Describe(error);
        text += " failed: " + why;
        std::lock_guard guard(m_lock);
        m_errors.push_back(text);
        m_queryErrors[{phase, serverName}] = why;
        return kGoOn;
    }
    void OnBatchProgress(std::int32_t, std::int32_t position, std::int32_t total) override
    {
        m_position = position;
        m_total = total;
    }
    void OnBatchFinished() override
    {
        {
            std::lock_guard guard(m_lock);
            m_finished = true;
        }
        m_changed.notify_all();
    }

    // False when the wait timed out before the end.
    bool WaitFinished(std::chrono::milliseconds timeout)
    {
        std::unique_lock guard(m_lock);
        return m_changed.wait_for(guard, timeout, [&] { return m_finished; });
    }
    int Percent() const
    {
        const int total = m_total;
        return total > 0 ? std::min(100, 100 * m_position / total) : 0;
    }
    std::vector<std::string> Errors() const
    {
        std::lock_guard guard(m_lock);
        return m_errors;
    }
    // Why the query of `phase` (to `serverName`, for descriptions) failed
    // last; empty when it did not.
    std::string QueryError(std::int32_t phase, const std::string& serverName) const
    {
        std::lock_guard guard(m_lock);
        const auto found = m_queryErrors.find({phase, serverName});
        return found == m_queryErrors.end() ? std::string() : found->second;
    }

    static std::string Describe(const VTServerError& error)
    {
        std::string text = error.GetErrorCode() + " " + error.GetMessage();
        if (!error.GetDetails().empty())
            text += " (" + error.GetDetails() + ")";
        return text;
    }

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_errors;
    std::map<std::pair<std::int32_t, std::string>, std::string> m_queryErrors;
    bool m_finished = false;
    std::atomic<int> m_position{0};
    std::atomic<int> m_total{0};
};

struct Options {
    bool describe = false;
    bool offline = false;
};

int Failure(const CliArgs& args, const std::string& message)
{
    return ReportFailure(kCommand, message, args.Json());
}

int Usage(const std::string& message)
{
    std::cerr << "lumora-cli " << kCommand << ": " << message << "\nusage: lumora-cli " << kCommand << ' '
              << kResolveUsage << '\n';
    return kExitUsage;
}

// "TYPE:TEXT" when the prefix names a type ("http://..." stays a text);
// otherwise the first type that analysis finds, or none.
VTBatchCode MakeCode(const std::string& word, std::int32_t mode)
{
    if (const auto colon = word.find(':'); colon != std::string::npos && colon > 0) {
        const VTCodeType type = CodeTypeFromName(std::string_view(word).substr(0, colon));
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

bool HasAddress(const VTBatchCode& code, bool describe)
{
    const std::int32_t status = code.GetStatus();
    return status == VTBatchCode::kDone || (describe && status >= VTBatchCode::kNoDescription &&
                                            status <= VTBatchCode::kOfflineNoDescription);
}

// Why a code ended without what was asked: its own error, the error of the
// query that held it back, or what its status says.
std::string ErrorOf(const VTBatchCode& code, const ResolveListener& listener, const VTServerError& lastError)
{
    if (!code.GetErrorText().empty())
        return code.GetErrorText();
    std::string queryError;
    switch (code.GetStatus()) {
    case VTBatchCode::kTypeUnknown:
        return "no code type fits the text";
    case VTBatchCode::kNoFormat:
        return "the routing server has no code format for this code";
    case VTBatchCode::kOfflineNoFormat:
        return "offline, and no code format for this code is cached";
    case VTBatchCode::kNoTemplate:
        return code.GetServerData().GetKey().empty()
                   ? "the routing server has no template for this code's server ID"
                   : "the routing template of " + code.GetServerData().GetName() + " has no GET command";
    case VTBatchCode::kOfflineNoTemplate:
        return "offline, and no routing template for this code is cached";
    case VTBatchCode::kFormatQuerySkipped:
        queryError = listener.QueryError(VTBatchCodeProcessor::kPhaseFormats, "");
        break;
    case VTBatchCode::kTemplateQuerySkipped:
        queryError = listener.QueryError(VTBatchCodeProcessor::kPhaseTemplates, "");
        break;
    case VTBatchCode::kDescriptionQuerySkipped:
        queryError =
            listener.QueryError(VTBatchCodeProcessor::kPhaseDescriptions, code.GetServerData().GetName());
        break;
    case VTBatchCode::kCancelled:
    case VTBatchCode::kFailed:
        break;
    default:
        return "";
    }
    if (queryError.empty() && lastError.HasError())
        queryError = ResolveListener::Describe(lastError);
    return queryError;
}

// One line per code, in input order; "code" is the argument as it was typed.
void PrintResults(const CliArgs& args, const std::vector<VTBatchCode>& codes, const ResolveListener& listener,
                  const VTServerError& lastError)
{
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const VTBatchCode& code = codes[i];
        const std::string& typed = args.Positional().at(i);
        const VTCodeContents& contents = code.GetContents();
        const std::string type = CodeTypeName(code.GetCodeType(), false);
        const std::string error = ErrorOf(code, listener, lastError);
        if (args.Json()) {
            std::cout << JsonObject()
                             .Add("code", typed)
                             .Add("type", type)
                             .Add("status", code.GetStatus())
                             .Add("sid", contents.GetServerId())
                             .Add("iid", contents.GetItemId())
                             .Add("text", code.GetText())
                             .Add("url", code.GetUrl())
                             .Add("description", code.GetDescription())
                             .Add("error", error)
                             .Str()
                      << '\n';
        } else {
            rows.push_back({typed, type, std::to_string(code.GetStatus()), contents.GetServerId(),
                            contents.GetItemId(), code.GetText(), code.GetUrl(), code.GetDescription(),
                            error});
        }
    }
    if (!args.Json())
        PrintTable(std::cout, {"CODE", "TYPE", "STATUS", "SID", "IID", "TEXT", "URL", "DESCRIPTION", "ERROR"},
                   rows);
}

int Resolve(const CliArgs& args, const Options& options, CAppContext& context)
{
    const std::int32_t mode = options.describe ? VTBatchCode::kDescribe : VTBatchCode::kAddressOnly;
    VTBatchCodeList list;
    for (const std::string& word : args.Positional())
        list.Add(MakeCode(word, mode));

    for (const CCacheProblem& problem : context.LoadUserCaches()) {
        std::cerr << "lumora-cli " << kCommand << ": ignoring the unreadable cache " << problem.file.string()
                  << " (result " << problem.result << ")";
        if (!problem.keptAs.empty())
            std::cerr << ", kept as " << problem.keptAs.string();
        std::cerr << '\n';
    }

    ResolveListener listener;
    VTBatchCodeProcessor& processor = context.Toolkit().GetBatchProcessor();
    processor.SetListener(&listener);
    processor.SetList(list);
    if (const std::int32_t started = processor.Start(false, options.offline);
        started != VTBatchCodeProcessor::kStarted)
        return Failure(args, "the batch did not start (result " + std::to_string(started) + ")");
    AwaitBatch(listener, isatty(STDERR_FILENO) && list.Size() >= kProgressLineCodes, list.Size());
    const std::vector<VTBatchCode> codes = processor.GetList().GetAll();
    processor.SetListener(nullptr);
    VTServerError lastError;
    processor.GetLastError(lastError);

    for (const std::string& error : listener.Errors())
        std::cerr << "lumora-cli " << kCommand << ": " << error << '\n';
    PrintResults(args, codes, listener, lastError);

    std::string why;
    const bool saved = context.SaveUserCaches(&why);
    if (!saved)
        std::cerr << "lumora-cli " << kCommand << ": " << why << '\n';
    const bool allResolved = std::all_of(codes.begin(), codes.end(), [&](const VTBatchCode& code) {
        return HasAddress(code, options.describe);
    });
    return allResolved && saved ? kExitOk : kExitFailed;
}

} // namespace

int CmdResolve(const std::vector<std::string>& words)
{
    std::string error;
    const auto args = CliArgs::Parse(
        words,
        {"--server-dat", "--cache-dir", "--uid", "--proxy", "--proxy-user", "--proxy-password", "--timeout"},
        {"--descriptions", "--offline"}, error);
    if (!args)
        return Usage(error);
    if (args->Positional().empty())
        return Usage("at least one CODE is required");

    Options options;
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

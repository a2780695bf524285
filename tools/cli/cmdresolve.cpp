#include "tools/cli/cmdresolve.h"

#include "client/config.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "tools/cli/cliargs.h"
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
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <unistd.h>
#include <utility>

const char* const kResolveUsage =
    "[--descriptions] [--offline] [--server-dat FILE] [--cache-dir DIR] [--uid BLINDED] [--proxy HOST:PORT] "
    "[--proxy-user U] [--proxy-password P] [--json] CODE...";

namespace {

constexpr const char* kCommand = "resolve";
// Batches shorter than this end before a progress line would help.
constexpr std::size_t kProgressLineCodes = 20;

namespace fs = std::filesystem;

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
    fs::path serverDat;
    fs::path cacheDir;
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
std::optional<VTUserId> ChooseIdentity(const CliArgs& args, CClientConfig* config, std::string& problem)
{
    std::string uid;
    if (const auto given = args.Value("--uid"))
        uid = *given;
    else if (!config || !config->ReadUserId(uid)) {
        problem = "no user identity: attach first (lumora-cli attach LOGIN PASSWORD) or give --uid";
        return std::nullopt;
    }
    VTUserId userId;
    try {
        userId.SetBlindedId(uid);
    } catch (const TSException&) {
        problem = "'" + uid + "' is not a valid blinded user id";
        return std::nullopt;
    }
    return userId;
}

void LoadCaches(VTToolkit& toolkit, const fs::path& formats, const fs::path& templates)
{
    const auto load = [](const fs::path& path, auto&& loader) {
        std::error_code error;
        if (!fs::exists(path, error))
            return;
        if (const std::int32_t result = loader(path); result != VTCacheFile::kLoaded)
            std::cerr << "lumora-cli " << kCommand << ": ignoring the unreadable cache " << path.string()
                      << " (result " << result << ")\n";
    };
    load(formats, [&](const fs::path& path) { return toolkit.GetCache().LoadFormats(path); });
    load(templates, [&](const fs::path& path) { return toolkit.GetCache().LoadTemplates(path); });
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

void PrintResults(const CliArgs& args, const std::vector<VTBatchCode>& codes, const ResolveListener& listener,
                  const VTServerError& lastError)
{
    std::vector<std::vector<std::string>> rows;
    for (const VTBatchCode& code : codes) {
        const VTCodeContents& contents = code.GetContents();
        const std::string type = CodeTypeName(code.GetCodeType(), false);
        const std::string error = ErrorOf(code, listener, lastError);
        if (args.Json()) {
            std::cout << JsonObject()
                             .Add("code", contents.GetRawCode())
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
            rows.push_back({contents.GetRawCode(), type, std::to_string(code.GetStatus()),
                            contents.GetServerId(), contents.GetItemId(), code.GetText(), code.GetUrl(),
                            code.GetDescription(), error});
        }
    }
    if (!args.Json())
        PrintTable(std::cout, {"CODE", "TYPE", "STATUS", "SID", "IID", "TEXT", "URL", "DESCRIPTION", "ERROR"},
                   rows);
}

int Resolve(const CliArgs& args, const Options& options, VTToolkit& toolkit)
{
    const std::int32_t mode = options.describe ? VTBatchCode::kDescribe : VTBatchCode::kAddressOnly;
    VTBatchCodeList list;
    for (const std::string& word : args.Positional())
        list.Add(MakeCode(word, mode));

    const std::string blinded = toolkit.GetUserId().GetBlindedId();
    const fs::path formats = options.cacheDir / (blinded + "Format.cache");
    const fs::path templates = options.cacheDir / (blinded + "Templates.cache");
    LoadCaches(toolkit, formats, templates);

    ResolveListener listener;
    VTBatchCodeProcessor& processor = toolkit.GetBatchProcessor();
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

    bool saved = true;
    std::error_code error;
    fs::create_directories(options.cacheDir, error);
    if (!toolkit.GetCache().SaveFormats(formats) || !toolkit.GetCache().SaveTemplates(templates)) {
        std::cerr << "lumora-cli " << kCommand << ": cannot save the caches in " << options.cacheDir.string()
                  << '\n';
        saved = false;
    }
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
        words, {"--server-dat", "--cache-dir", "--uid", "--proxy", "--proxy-user", "--proxy-password"},
        {"--descriptions", "--offline"}, error);
    if (!args)
        return Usage(error);
    if (args->Positional().empty())
        return Usage("at least one CODE is required");

    Options options;
    options.describe = args->Has("--descriptions");
    options.offline = args->Has("--offline");
    options.serverDat =
        args->Value("--server-dat").value_or((platform::ProgramFolder() / "Server.dat").string());
    options.cacheDir = args->Value("--cache-dir").value_or(platform::UserDataFolder().string());

    // The stored identity and proxy are read only when the command line
    // does not give them.
    std::unique_ptr<platform::Registry> registry;
    std::optional<CClientConfig> config;
    if (!args->Value("--uid") || !args->Value("--proxy")) {
        registry = platform::Registry::ForUser();
        config.emplace(*registry);
        if (!config->Load())
            return Failure(*args, "cannot open the configuration");
    }
    std::string problem;
    const std::optional<VTUserId> userId = ChooseIdentity(*args, config ? &*config : nullptr, problem);
    if (!userId)
        return args->Value("--uid") ? Usage(problem) : Failure(*args, problem);

    VTToolkit toolkit;
    toolkit.SetClientVariables({.capp = "PC", .cver = LUMORA_VERSION});
    toolkit.SetUserId(*userId);
    toolkit.SetProxy(args->Value("--proxy").value_or(config ? config->ProxyString() : std::string()));
    toolkit.SetProxyCredentials(args->Value("--proxy-user").value_or(""),
                                args->Value("--proxy-password").value_or(""));
    if (const std::int32_t result = toolkit.LoadCoreCache(options.serverDat); result != VTCacheFile::kLoaded)
        return Failure(*args, "cannot read the server list " + options.serverDat.string() + " (result " +
                                  std::to_string(result) + ")");
    return Resolve(*args, options, toolkit);
}

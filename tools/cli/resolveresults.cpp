#include "tools/cli/resolveresults.h"

#include "tools/cli/cliinput.h"
#include "tools/cli/clijson.h"
#include "tools/cli/clitable.h"
#include "vtkit/cdanalyze.h"
#include "vtkit/vtbatch.h"

#include <algorithm>
#include <iostream>

namespace {

constexpr const char* kQueryNames[] = {"format query", "template query", "description query"};

ServerRoute RouteOf(const ResolveRun& run, const QueryFailure& failure)
{
    if (failure.phase != VTBatchCodeProcessor::kPhaseDescriptions)
        return run.routing;
    ServerRoute route{"the description server " + failure.serverName, "", run.routing.proxy};
    for (const VTBatchCode& code : run.codes)
        if (code.GetServerData().GetName() == failure.serverName && route.address.empty())
            route.address = ServerAddress(code.GetServerData());
    return route;
}

// The query of `phase` that held the code back, in plain words and the
// toolkit's; `cached` says what the caches lacked.
CodeReason QueryReason(const ResolveRun& run, std::int32_t phase, const std::string& serverName,
                       const std::string& consequence)
{
    const auto found = std::find_if(run.failures.rbegin(), run.failures.rend(), [&](const QueryFailure& f) {
        return f.phase == phase && f.serverName == serverName;
    });
    const QueryFailure failure =
        found != run.failures.rend() ? *found : QueryFailure{phase, serverName, run.lastError};
    if (!failure.error.HasError())
        return {"the " + std::string(kQueryNames[phase]) + " failed; " + consequence, ""};
    return {ExchangeFailure(failure.error, RouteOf(run, failure), run.timeouts) + "; " + consequence,
            ResolveListener::Describe(failure.error)};
}

std::string NoTypeReason(const std::string& typed)
{
    if (const std::string refusal = UnsupportedCharacter(typed); !refusal.empty())
        return refusal;
    const std::string hint = CheckDigitHint(typed);
    return hint.empty() ? "no code type fits the text" : "no code type fits the text; " + hint;
}

std::string InvalidReason(const VTBatchCode& code)
{
    std::string reason = std::string("not a valid ") + CodeTypeName(code.GetCodeType(), false) + " code";
    if (const std::string hint = CheckDigitHint(code.GetText()); !hint.empty())
        reason += "; " + hint;
    return reason;
}

std::string Plural(std::size_t count, const char* word)
{
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

} // namespace

bool HasAddress(const VTBatchCode& code, bool describe)
{
    const std::int32_t status = code.GetStatus();
    return status == VTBatchCode::kDone || (describe && status >= VTBatchCode::kNoDescription &&
                                            status <= VTBatchCode::kOfflineNoDescription);
}

CodeReason ReasonOf(const ResolveRun& run, std::size_t index)
{
    const VTBatchCode& code = run.codes.at(index);
    const std::string& own = code.GetErrorText();
    switch (code.GetStatus()) {
    case VTBatchCode::kTypeUnknown:
        return {NoTypeReason(run.typed.at(index)), own};
    case VTBatchCode::kInvalidCode:
        return {InvalidReason(code), own};
    case VTBatchCode::kNoFormat:
        return {"the routing server has no code format for this code's range", own};
    case VTBatchCode::kOfflineNoFormat:
        return {"offline, and no code format for this code is cached", own};
    case VTBatchCode::kFormatQuerySkipped:
        return QueryReason(run, VTBatchCodeProcessor::kPhaseFormats, "", "no code format for it is cached");
    case VTBatchCode::kNoTemplate:
        return {code.GetServerData().GetKey().empty()
                    ? "the routing server has no page template for server ID " +
                          code.GetContents().GetServerId()
                    : "the page template of " + code.GetServerData().GetName() + " has no GET command",
                own};
    case VTBatchCode::kOfflineNoTemplate:
        return {"offline, and no page template for this code is cached", own};
    case VTBatchCode::kTemplateQuerySkipped:
        return QueryReason(run, VTBatchCodeProcessor::kPhaseTemplates, "",
                           "no page template for it is cached");
    case VTBatchCode::kAddressFailed:
        return {"the page address could not be built from the template", own};
    case VTBatchCode::kDescriptionQuerySkipped:
        return QueryReason(run, VTBatchCodeProcessor::kPhaseDescriptions, code.GetServerData().GetName(),
                           "the code has its address but no description");
    case VTBatchCode::kCancelled:
        return {"the run was cancelled", own};
    case VTBatchCode::kFailed:
        return {"the query could not be sent",
                own.empty() && run.lastError.HasError() ? ResolveListener::Describe(run.lastError) : own};
    default:
        return {"", own};
    }
}

void PrintQueryFailures(std::ostream& err, const ResolveRun& run)
{
    for (const QueryFailure& failure : run.failures) {
        const char* query = failure.phase >= 0 && failure.phase <= 2 ? kQueryNames[failure.phase] : "query";
        err << "lumora-cli resolve: " << query
            << " failed: " << ExchangeFailure(failure.error, RouteOf(run, failure), run.timeouts) << " ("
            << ResolveListener::Describe(failure.error) << ")\n";
    }
}

void PrintResults(const CliArgs& args, const ResolveRun& run)
{
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < run.codes.size(); ++i) {
        const VTBatchCode& code = run.codes[i];
        const VTCodeContents& contents = code.GetContents();
        const std::string type = CodeTypeName(code.GetCodeType(), false);
        const CodeReason reason = ReasonOf(run, i);
        if (args.Json()) {
            std::cout << JsonObject()
                             .Add("code", run.typed[i])
                             .Add("type", type)
                             .Add("status", code.GetStatus())
                             .Add("sid", contents.GetServerId())
                             .Add("iid", contents.GetItemId())
                             .Add("text", code.GetText())
                             .Add("url", code.GetUrl())
                             .Add("description", code.GetDescription())
                             .Add("error", reason.error)
                             .Add("detail", reason.detail)
                             .Str()
                      << '\n';
        } else {
            rows.push_back({run.typed[i], type,
                            std::to_string(code.GetStatus()) + " " + StatusName(code.GetStatus()),
                            contents.GetServerId(), contents.GetItemId(), code.GetText(), code.GetUrl(),
                            code.GetDescription(), reason.error});
        }
    }
    if (!args.Json())
        PrintTable(std::cout, {"CODE", "TYPE", "STATUS", "SID", "IID", "TEXT", "URL", "DESCRIPTION", "ERROR"},
                   rows, args.Style());
}

void PrintSummary(std::ostream& err, const CliArgs& args, const ResolveRun& run, bool errorsOnTerminal)
{
    const auto linked = static_cast<std::size_t>(
        std::count_if(run.codes.begin(), run.codes.end(),
                      [&](const VTBatchCode& code) { return HasAddress(code, run.describe); }));
    const std::size_t failed = run.codes.size() - linked;
    if (failed == 0 && !errorsOnTerminal)
        return;
    err << "lumora-cli resolve: " << linked << " of " << Plural(run.codes.size(), "code") << " linked";
    if (failed)
        err << "; " << failed << " failed: see "
            << (args.Json() ? "their \"error\" keys" : "the ERROR column");
    err << '\n';
    const bool networkFailed =
        std::any_of(run.failures.begin(), run.failures.end(), [](const QueryFailure& f) {
            return f.phase != VTBatchCodeProcessor::kPhaseDescriptions && IsNetworkFailure(f.error);
        });
    if (networkFailed && !run.offline && linked > 0)
        err << "lumora-cli resolve: " << run.routing.role << " could not be asked, but the caches answered "
            << Plural(linked, "code")
            << ": --offline answers from the caches alone, without waiting for it\n";
}

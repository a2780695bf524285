#include "tools/cli/cmdattach.h"

#include "tools/cli/cliargs.h"
#include "tools/cli/clicontext.h"
#include "tools/cli/clihelp.h"
#include "tools/cli/clijson.h"
#include "tools/cli/clipassword.h"
#include "tools/cli/clitable.h"
#include "tools/cli/resolvelistener.h"
#include "tools/cli/resolvereasons.h"
#include "vtkit/vttoolkit.h"

#include <condition_variable>
#include <iostream>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace {

constexpr const char* kCommand = "attach";

// Holds the main thread until the exchange has ended.
class AttachWaiter : public VTToolkitServerListener {
public:
    void OnServerSuccess() override { End(); }
    void OnServerFailure() override { End(); }

    void Wait()
    {
        std::unique_lock guard(m_lock);
        m_changed.wait(guard, [&] { return m_ended; });
    }

private:
    void End()
    {
        {
            std::lock_guard guard(m_lock);
            m_ended = true;
        }
        m_changed.notify_all();
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_ended = false;
};

int Failure(const CliArgs& args, const std::string& message)
{
    return ReportFailure(kCommand, message, args.Json());
}

// The exchange's failure in plain words, naming the server, with the toolkit's own text.
int ExchangeFailed(const CliArgs& args, VTToolkit& toolkit, VTRegistrationServer& registration)
{
    VTServerError failure;
    registration.GetError(failure);
    const ServerRoute route{"the registration server", ServerAddress(toolkit.GetRegistrationRecord()),
                            toolkit.GetProxy()};
    return Failure(args, ExchangeFailure(failure, route, toolkit.GetTimeouts()) + " (" +
                             ResolveListener::Describe(failure) + ")");
}

void Print(const CliArgs& args, const VTAttachResults& results, const std::string& uid)
{
    if (args.Json()) {
        std::cout << JsonObject()
                         .Add("attached", results.IsAttached() ? 1 : 0)
                         .Add("uid", uid)
                         .Add("appid", results.GetApplicationId())
                         .Add("login", results.GetLogin())
                         .Str()
                  << '\n';
        return;
    }
    PrintTable(std::cout, {"ATTACHED", "UID", "APPID", "LOGIN"},
               {{results.IsAttached() ? "1" : "0", uid, results.GetApplicationId(), results.GetLogin()}},
               args.Style());
}

// The password: the argument, the first line of standard input with
// --password-stdin, or asked for on the terminal. Nothing, with `error`
// set, for bad usage.
std::optional<std::string> Password(const CliArgs& args, std::string& error)
{
    const auto& words = args.Positional();
    const bool fromStdin = args.Has("--password-stdin");
    if (words.empty() || words.size() > 2) {
        error = "needs LOGIN and, unless asked for, PASSWORD";
    } else if (words.size() == 2) {
        if (!fromStdin)
            return words[1];
        error = "PASSWORD and --password-stdin do not go together";
    } else if (fromStdin) {
        if (auto line = ReadPasswordLine())
            return line;
        error = "--password-stdin: standard input held no line";
    } else if (auto typed = PromptPassword("Password for " + words[0] + ": ")) {
        return typed;
    } else {
        error = isatty(STDIN_FILENO) ? "no password was typed"
                                     : "no PASSWORD given, and standard input is no terminal to ask on "
                                       "(give --password-stdin to read it from there)";
    }
    return std::nullopt;
}

} // namespace

int CmdAttach(const std::vector<std::string>& words)
{
    std::string error;
    const auto args = CliArgs::Parse(words, {"--server-dat"}, {"--password-stdin"}, error);
    if (!args)
        return ReportUsage(kCommand, error);
    const auto password = Password(*args, error);
    if (!password)
        return ReportUsage(kCommand, error);
    const auto context = OpenCliContext();
    if (!context)
        return Failure(*args, "cannot open the configuration");
    // A damaged stored identity is what attaching replaces.
    context->LoadIdentity();
    if (std::string problem; !LoadCliCoreCache(*context, args->Value("--server-dat"), problem))
        return Failure(*args, problem);

    VTRegistrationServer& registration = context->Toolkit().GetRegistrationServer();
    AttachWaiter waiter;
    registration.SetListener(&waiter);
    if (!registration.RequestAttach(args->Positional()[0], *password))
        return ExchangeFailed(*args, context->Toolkit(), registration);
    waiter.Wait();
    if (registration.GetState(true) != VTRegistrationServer::kAnswered)
        return ExchangeFailed(*args, context->Toolkit(), registration);
    VTAttachResults results;
    registration.GetAttachResults(results);
    if (!results.IsAttached()) {
        Print(*args, results, "");
        std::cerr << "lumora-cli " << kCommand << ": the server attached no account\n";
        return kExitFailed;
    }
    const std::string uid = results.GetUserId().GetBlindedId();
    if (!context->StoreIdentity(results.GetUserId()))
        return Failure(*args, "cannot store the user identity: " +
                                  context->Registry().Hive(platform::RegistryRoot::CurrentUser).LastError());
    Print(*args, results, uid);
    return kExitOk;
}

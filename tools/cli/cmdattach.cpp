#include "tools/cli/cmdattach.h"

#include "tools/cli/cliargs.h"
#include "tools/cli/clicontext.h"
#include "tools/cli/clijson.h"
#include "tools/cli/clitable.h"
#include "vtkit/vttoolkit.h"

#include <condition_variable>
#include <iostream>
#include <mutex>

const char* const kAttachUsage = "LOGIN PASSWORD [--server-dat FILE] [--json]";

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
               {{results.IsAttached() ? "1" : "0", uid, results.GetApplicationId(), results.GetLogin()}});
}

} // namespace

int CmdAttach(const std::vector<std::string>& words)
{
    std::string error;
    const auto args = CliArgs::Parse(words, {"--server-dat"}, {}, error);
    if (!args || args->Positional().size() != 2) {
        std::cerr << "lumora-cli " << kCommand << ": " << (args ? "LOGIN and PASSWORD are required" : error)
                  << "\nusage: lumora-cli " << kCommand << ' ' << kAttachUsage << '\n';
        return kExitUsage;
    }
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
    if (!registration.RequestAttach(args->Positional()[0], args->Positional()[1])) {
        VTServerError failure;
        registration.GetError(failure);
        return Failure(*args, "the attach request could not be sent " + failure.GetErrorCode());
    }
    waiter.Wait();
    if (registration.GetState(true) != VTRegistrationServer::kAnswered) {
        VTServerError failure;
        registration.GetError(failure);
        return Failure(*args, failure.GetErrorCode() + ": " + failure.GetMessage() +
                                  (failure.GetDetails().empty() ? "" : " (" + failure.GetDetails() + ")"));
    }
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

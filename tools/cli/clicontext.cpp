#include "tools/cli/clicontext.h"

std::unique_ptr<CAppContext> OpenCliContext(const std::optional<std::string>& cacheDir,
                                            const CConnectionOverrides& overrides)
{
    CAppOptions options;
    options.soundOutput = platform::SoundPlayer::Command{};
    options.clientVersion = LUMORA_VERSION;
    if (cacheDir)
        options.cacheFolder = *cacheDir;
    auto context = std::make_unique<CAppContext>(std::move(options));
    context->SelectLanguage();
    if (!context->LoadConfiguration())
        return nullptr;
    context->ConfigureToolkit(overrides);
    return context;
}

bool LoadCliCoreCache(CAppContext& context, const std::optional<std::string>& serverDat, std::string& problem)
{
    const CCoreCacheLoad load = serverDat ? context.LoadCoreCache(*serverDat) : context.LoadCoreCache();
    if (load.Loaded())
        return true;
    if (load.failed.empty()) {
        problem = "no server list: neither " + context.UserServerFile().string() + " nor " +
                  (context.Paths().programFolder / CAppContext::kServerFile).string() + " is there";
        return false;
    }
    problem = "cannot read the server list";
    for (const auto& file : load.failed)
        problem += " " + file.string();
    problem += " (result " + std::to_string(load.result) + ")";
    return false;
}

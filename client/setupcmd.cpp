#include "client/setupcmd.h"

#include "client/config.h"
#include "client/installer.h"
#include "client/langmgr.h"
#include "client/remover.h"
#include "client/uitextids.h"
#include "platform/folders.h"
#include "platform/registry.h"

namespace {

// Prints each step as it begins.
class CStreamProgress : public CSetupProgress {
public:
    explicit CStreamProgress(std::FILE* out) : m_out(out) {}
    void Step(const std::string& text) override
    {
        std::fprintf(m_out, "%s\n", text.c_str());
        std::fflush(m_out);
    }

private:
    std::FILE* m_out;
};

} // namespace

CSetupArguments ParseSetupArguments(const std::vector<std::string>& arguments)
{
    CSetupArguments parsed;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const std::string name = SwitchName(argument);
        const bool takesValue = name == "dir" || name == "lang";
        if (name == "quiet")
            parsed.quiet = true;
        if (!takesValue)
            continue;
        if (i + 1 >= arguments.size()) {
            parsed.problem = argument;
            continue;
        }
        if (name == "dir")
            parsed.folder = arguments[++i];
        else
            parsed.language = arguments[++i];
    }
    return parsed;
}

bool SelectSetupLanguage(CLanguageMgr& language, const std::string& code)
{
    if (!code.empty())
        return language.SelectByCode(code);
    platform::RegistryHive user(platform::RegistryRoot::CurrentUser, platform::CurrentUserHivePath());
    const std::string key = std::string(CClientConfig::kUserKey) + "\\Config";
    const auto stored = user.QueryValue(key, "Language");
    language.SelectConfigured(stored ? stored->AsString() : "");
    return true;
}

int RunQuietSetup(CStartMode mode, const CSetupArguments& arguments, CLanguageMgr& language, std::FILE* err)
{
    if (!arguments.problem.empty()) {
        std::fprintf(err, "lumora: %s\n",
                     language.FormatMessage(kStrSetupOptionNeedsValue, {arguments.problem}).c_str());
        return 2;
    }
    if (!SelectSetupLanguage(language, arguments.language)) {
        std::fprintf(err, "lumora: %s\n",
                     language.FormatMessage(kStrLanguageNotAvailable, {arguments.language}).c_str());
        return 2;
    }
    CStreamProgress progress(err);
    try {
        if (mode == CStartMode::Install) {
            CSetupOptions options;
            options.version = LUMORA_VERSION;
            options.folder = arguments.folder;
            CInstaller installer(language, std::move(options));
            installer.Install(progress);
        } else {
            CRemover remover(language, CRemoveOptions{});
            remover.Remove(progress);
            if (!remover.Left().empty()) {
                std::fprintf(err, "lumora: %s\n", language.LoadText(kStrRemoveIncomplete).c_str());
                for (const std::string& left : remover.Left())
                    std::fprintf(err, "%s\n", left.c_str());
                return 1;
            }
        }
    } catch (const CSetupError& error) {
        std::fprintf(err, "lumora: %s\n", error.Text(language).c_str());
        return 1;
    }
    return 0;
}

#include "client/weblaunch.h"

#include "client/uitextids.h"
#include "platform/shellopen.h"
#include "tst/tsstrsub.h"
#include "vtkit/vttoolkit.h"

#include <thread>

CWebLauncher::CWebLauncher(const VTToolkit& toolkit, Opener opener)
    : m_toolkit(toolkit), m_opener(opener ? std::move(opener) : Opener(platform::ShellOpen))
{
}

bool CWebLauncher::Open(const std::string& address) const
{
    if (m_opener(address))
        return true;
    std::this_thread::sleep_for(kRetryDelay);
    return m_opener(address);
}

CLaunchAddress CWebLauncher::ServerPage(const std::string& key) const
{
    return Build(m_toolkit.GetRegistrationRecord(), key, {});
}

CLaunchAddress CWebLauncher::HelpAddress(int number) const
{
    return Build(m_toolkit.GetHelpRecord(), "GET", std::to_string(number));
}

CLaunchAddress CWebLauncher::Build(const VTServerData& record, const std::string& command,
                                   const std::string& itemId) const
{
    CLaunchAddress result;
    std::string text;
    if (!record.GetCommand(command, text)) {
        result.problem = CLaunchAddress::Problem::kMissingCommand;
        return result;
    }
    TSStringMap values;
    m_toolkit.AddClientVariables(values);
    if (!itemId.empty())
        values.Set("IID", itemId);
    try {
        TSStringSubst::ForTemplates(values).Substitute(text);
    } catch (const TSException& error) {
        result.problem = CLaunchAddress::Problem::kSubstitution;
        result.detail = error.GetMessage();
        return result;
    }
    result.address = std::move(text);
    return result;
}

int CWebLauncher::BrowserVerdict(const platform::BrowserInfo& browser)
{
    if (browser.programName.empty() || browser.compatibility == platform::kBrowserNone)
        return kStrNoDefaultBrowser;
    switch (browser.compatibility) {
    case platform::kBrowserOlder:
        return kStrBrowserTooOld;
    case platform::kBrowserSupported:
        return 0;
    default:
        // Browsers here have no direct interface besides the shell.
        return kStrBrowserPartlyCompatible;
    }
}

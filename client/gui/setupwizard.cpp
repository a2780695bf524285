#include "client/gui/setupwizard.h"

#include "client/gui/dlgremovefailed.h"
#include "client/gui/dlgremovetype.h"
#include "client/gui/setupprogress.h"
#include "client/gui/setupsheets.h"
#include "client/gui/uitexts.h"
#include "client/installer.h"
#include "client/langmgr.h"
#include "client/remover.h"
#include "client/uitextids.h"
#include "client/weblaunch.h"
#include "platform/browser.h"

#include <QMessageBox>

#include <cstdio>

namespace {

void ShowSetupMessage(const CLanguageMgr& language, const std::string& text)
{
    QMessageBox::critical(nullptr, UiText(language, kStrSetupTitle), ToQString(text));
}

int RunInstall(const CSetupArguments& arguments, CLanguageMgr& language)
{
    CSetupOptions options;
    options.version = LUMORA_VERSION;
    options.folder = arguments.folder;
    CInstaller installer(language, std::move(options));
    try {
        installer.CheckPackaged();
        installer.DetermineKind();
    } catch (const CSetupError& error) {
        ShowSetupMessage(language, error.Text(language));
        return 1;
    }
    if (installer.DetermineKind().IsUpgrade()) {
        CSheetUpgrade sheet(language, [&installer] { return installer.UpgradeTexts(); });
        if (sheet.exec() != QDialog::Accepted)
            return 1;
    } else {
        const int verdict = CWebLauncher::BrowserVerdict(platform::DetectDefaultBrowser());
        CSheetInstall sheet(language, installer.TargetFolder(), verdict);
        if (sheet.exec() != QDialog::Accepted)
            return 1;
        installer.SetTargetFolder(sheet.Folder());
    }
    CSetupProgressDlg progress(language, kStrSetupFailed);
    return progress.Run([&installer](CSetupProgress& steps) { return installer.Install(steps); }) ? 0 : 1;
}

int RunRemove(CLanguageMgr& language)
{
    CRemover remover(language, CRemoveOptions{});
    try {
        remover.CheckRemovable();
    } catch (const CSetupError& error) {
        ShowSetupMessage(language, error.Text(language));
        return 1;
    }
    CDlgRemoveType choice(language);
    if (choice.exec() != QDialog::Accepted)
        return 1;
    remover.SetChoices(choice.RegistryEntries(), choice.PersonalSettings());
    CSetupProgressDlg progress(language, kStrRemoveFailed);
    if (!progress.Run([&remover](CSetupProgress& steps) { return remover.Remove(steps); }))
        return 1;
    if (remover.Left().empty())
        return 0;
    CDlgRemoveFailed failed(language, remover.Left());
    failed.exec();
    return 1;
}

} // namespace

int RunSetup(CStartMode mode, const CSetupArguments& arguments, CLanguageMgr& language)
{
    if (arguments.quiet)
        return RunQuietSetup(mode, arguments, language, stderr);
    if (!arguments.problem.empty()) {
        ShowSetupMessage(language, language.FormatMessage(kStrSetupOptionNeedsValue, {arguments.problem}));
        return 2;
    }
    if (!SelectSetupLanguage(language, arguments.language)) {
        ShowSetupMessage(language, language.FormatMessage(kStrLanguageNotAvailable, {arguments.language}));
        return 2;
    }
    return mode == CStartMode::Install ? RunInstall(arguments, language) : RunRemove(language);
}

// Renders every page of the installer's wizards, the progress dialog and
// the remove dialogs to PNG files, for a look at them in each language:
// lumora_setup_shots FOLDER [en|pt|es]
#include "client/gui/dlgremovefailed.h"
#include "client/gui/dlgremovetype.h"
#include "client/gui/setupprogress.h"
#include "client/gui/setupsheets.h"
#include "client/installer.h"
#include "client/uitextids.h"
#include "tests/gui/guitest.h"

#include <QDir>
#include <QLineEdit>

#include <cstdio>

namespace fs = std::filesystem;

namespace {

void Save(QWidget& widget, const QString& folder, const QString& name)
{
    widget.show();
    QCoreApplication::processEvents();
    QTest::qWait(50);
    const QString path = folder + "/" + name + ".png";
    if (!widget.grab().save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

// A source folder as the build lays it out, small.
void MakeSource(const TempDir& source)
{
    source.WriteFile("lumora", "#!/bin/sh\necho 'lumora " LUMORA_VERSION "'\n");
    fs::permissions(source / "lumora", fs::perms::owner_all);
    fs::copy_file(LUMORA_LIB_POR, source / "lumorapor.so");
    fs::copy_file(LUMORA_LIB_SPA, source / "lumoraspa.so");
    source.WriteFile("Server.dat", "core records\n");
    source.WriteFile("lumora.inst", "[Install]\nfileCount=4\nfile1=lumora\nfile2=Server.dat\n"
                                    "file3=lumorapor.so\nfile4=lumoraspa.so\n");
}

void WaitUntilDone(const CSetupProgressDlg& progress)
{
    for (int i = 0; i < 200 && !progress.Done(); ++i)
        QTest::qWait(25);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [en|pt|es]\n", argv[0]);
        return 2;
    }
    TempHome home;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const std::string code = argc > 2 ? argv[2] : "en";
    QDir().mkpath(folder);
    const QString suffix = QString::fromStdString("-" + code);

    TempDir source;
    MakeSource(source);
    CLanguageMgr language;
    language.Initialize(source / "lumora");
    if (code == "en" ? !language.SelectByNumber(0, true) : !language.SelectByCode(code))
        return 1;

    // The pages show a user's default folder; the progress installs into the throw-away home.
    const fs::path shown = "/home/user/.local/lib/lumora";
    CSetupOptions options;
    options.sourceProgram = source / "lumora";
    options.version = LUMORA_VERSION;
    options.folder = home.Home() / ".local/lib/lumora";
    CInstaller installer(language, options);
    {
        CSheetInstall sheet(language, shown, kStrBrowserPartlyCompatible);
        const char* names[] = {"setup-language", "setup-folder", "setup-browser", "setup-ready"};
        for (const char* name : names) {
            Save(sheet, folder, QString::fromLatin1(name) + suffix);
            sheet.next();
        }
    }
    {
        CSheetUpgrade sheet(language, [&] {
            return std::vector<std::string>{language.FormatMessage(kStrInstalledVersion, {"0.0.9"}),
                                            language.FormatMessage(kStrWillUpgrade, {LUMORA_VERSION}),
                                            language.FormatMessage(kStrLanguageNotInUpgrade, {"Deutsch"})};
        });
        sheet.show();
        sheet.next();
        Save(sheet, folder, "setup-upgrade" + suffix);
    }
    {
        CSetupProgressDlg progress(language, kStrSetupFailed);
        progress.Start([&](CSetupProgress& steps) { return installer.Install(steps); });
        WaitUntilDone(progress);
        Save(progress, folder, "setup-progress" + suffix);
    }
    {
        CSetupProgressDlg progress(language, kStrSetupFailed);
        progress.Start([&](CSetupProgress& steps) -> std::string {
            steps.Step(language.LoadText(kStrStoppingClient));
            throw CSetupError::Message(kStrCannotStopForInstall, CInstaller::kCodeStop);
        });
        WaitUntilDone(progress);
        Save(progress, folder, "setup-progress-failed" + suffix);
    }
    CDlgRemoveType removeType(language);
    Save(removeType, folder, "remove-type" + suffix);
    const std::string installed = shown.string();
    CDlgRemoveFailed removeFailed(language, {installed + "/lumora", installed + "/vtkbdhook.so", installed});
    Save(removeFailed, folder, "remove-failed" + suffix);
    return 0;
}

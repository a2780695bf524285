// Renders every page of the first start's wizard, the advanced page and
// "Registration Complete" to PNG files, for a look at them and for the
// README: lumora_sheet_shots FOLDER [en|pt|es]. Run it under an X server
// (xvfb-run) to see them as a desktop draws them. COM1 is a pseudo-terminal,
// so the scanner pages let the wizard go on.
#include "client/appcontext.h"
#include "client/clidoc.h"
#include "client/gui/cfgsheet.h"
#include "client/gui/qtuiport.h"
#include "client/gui/wizpage.h"
#include "platform/folders.h"
#include "tests/gui/guitest.h"
#include "tests/support/ptydevice.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cstdio>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

bool Save(QWidget& widget, const fs::path& file)
{
    widget.show();
    QTest::qWait(200);
    const bool saved = widget.grab().save(QString::fromStdString(file.string()));
    std::printf("%s %s\n", saved ? "wrote" : "could not write", file.c_str());
    return saved;
}

void Click(QWidget& sheet, const char* name)
{
    sheet.findChild<QPushButton*>(name)->click();
}

void ChooseScanner(CCfgPropertySheet& sheet, CScannerType type)
{
    CWizPropertyPage* page = sheet.Page(CPageId::ScanSel);
    page->findChild<QRadioButton*>("useScanner")->click();
    page->findChild<QListWidget*>("scannerList")->setCurrentRow(ScannerTypeNumber(type));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: lumora_sheet_shots FOLDER [en|pt|es]\n");
        return 2;
    }
    const fs::path folder = argv[1];
    const std::string language = argc > 2 ? argv[2] : "en";
    TempHome home;
    QApplication application(argc, argv);
    TempDir program;
    program.WriteFile("lumora", "");
    fs::copy_file(LUMORA_LIB_POR, program / "lumorapor.so");
    fs::copy_file(LUMORA_LIB_SPA, program / "lumoraspa.so");
    PtyDevice device;
    const fs::path devices = platform::CurrentUserHivePath().parent_path() / "dosdevices";
    fs::create_directories(devices);
    fs::create_symlink(device.SlavePath(), devices / "com1");

    CAppOptions options;
    options.programPath = program / "lumora";
    CAppContext context(std::move(options));
    context.SelectLanguage();
    if (language != "en" && !context.Language().SelectByCode(language))
        return 1;
    CQtUiPort port(context.Language());
    port.SetMessageBoxSeam([](const CMessageBoxRequest& request) {
        std::fprintf(stderr, "message: %s\n", request.text.c_str());
        return CMessageBoxResult::kOk;
    });
    CClientDoc doc(context, port);
    if (!doc.Create())
        return 1;
    doc.SetState(CDocState::SettingsOpen);
    CClientSettings& settings = context.Config().Settings();
    settings.scannerPort = 0;
    settings.symbolPort = 0;
    settings.pennyPort = 0;
    const std::string suffix = "-" + language + ".png";
    bool ok = true;

    CCfgPropertySheet sheet(doc, port, CSheetMode::FirstRun);
    ok = Save(sheet, folder / ("first-run-1-welcome" + suffix)) && ok;
    Click(sheet, "nextButton");
    ChooseScanner(sheet, CScannerType::WelchAllyn6180);
    ok = Save(sheet, folder / ("first-run-2-scanner" + suffix)) && ok;
    Click(sheet, "nextButton");
    ok = Save(sheet, folder / ("first-run-3-general" + suffix)) && ok;
    Click(sheet, "backButton");
    ChooseScanner(sheet, CScannerType::Pennyscanner);
    Click(sheet, "nextButton");
    ok = Save(sheet, folder / ("first-run-4-batch-penny" + suffix)) && ok;
    Click(sheet, "backButton");
    ChooseScanner(sheet, CScannerType::Cs1504);
    Click(sheet, "nextButton");
    ok = Save(sheet, folder / ("first-run-4-batch" + suffix)) && ok;
    Click(sheet, "nextButton");
    sheet.findChild<QRadioButton*>("viaProxy")->click();
    QTest::keyClicks(sheet.findChild<QLineEdit*>("proxyAddress"), "proxy.example.lan");
    QTest::keyClicks(sheet.findChild<QLineEdit*>("proxyPort"), "3128");
    ok = Save(sheet, folder / ("first-run-5-proxy" + suffix)) && ok;
    Click(sheet, "nextButton");
    QTest::keyClicks(sheet.findChild<QLineEdit*>("userId"), "demo");
    QTest::keyClicks(sheet.findChild<QLineEdit*>("password"), "demo");
    ok = Save(sheet, folder / ("first-run-6-registration" + suffix)) && ok;
    sheet.reject();

    // Work OffLine shows where "EnableOffline" offers it.
    settings.enableOffline = 1;
    CCfgPropertySheet advanced(doc, port, CSheetMode::Advanced);
    ok = Save(advanced, folder / ("advanced" + suffix)) && ok;
    advanced.reject();

    CRegFinishDlg finished(context.Language());
    ok = Save(finished, folder / ("registration-complete" + suffix)) && ok;
    return ok ? 0 : 1;
}

// The installer's wizards, the progress dialog and the remove dialogs,
// offscreen: the pages in their order, the language chosen first and every
// text following it, and an installation run from the pages.
#include "client/gui/dlgremovefailed.h"
#include "client/gui/dlgremovetype.h"
#include "client/gui/setupprogress.h"
#include "client/gui/setupsheets.h"
#include "client/gui/uitexts.h"
#include "client/installer.h"
#include "client/uitextids.h"
#include "platform/registry.h"
#include "tests/gui/guitest.h"
#include "tests/support/unprivileged.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QWizardPage>

#include <atomic>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

template <class T = QWidget> T* Child(const QWidget& parent, const char* name)
{
    return parent.findChild<T*>(QString::fromLatin1(name));
}

QString LabelText(const QWidget& parent, const char* name)
{
    const QLabel* label = Child<QLabel>(parent, name);
    return label ? label->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

QString DialogControl(const CLanguageMgr& language, int dialog, int control)
{
    return ToQString(language.LoadDialog(dialog).controls.at(control));
}

// Picks a language on the welcome page as the user does, with the keyboard.
void ChooseLanguage(QWizard& sheet, const CLanguageMgr& language, const std::string& code)
{
    auto* combo = Child<QComboBox>(sheet, "languageCombo");
    QVERIFY(combo);
    const auto& entries = language.Entries();
    int wanted = -1;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].code == code)
            wanted = static_cast<int>(i);
    QVERIFY(wanted >= 0);
    combo->setFocus();
    while (combo->currentIndex() != wanted)
        QTest::keyClick(combo, combo->currentIndex() < wanted ? Qt::Key_Down : Qt::Key_Up);
}

} // namespace

class SetupWizardTest : public QObject {
    Q_OBJECT

private:
    // An installation source: a program that answers --version, the
    // language libraries, a shipped file and the description file.
    void MakeSource()
    {
        m_source.WriteFile("lumora", "#!/bin/sh\necho 'lumora 0.2.0'\n");
        fs::permissions(m_source / "lumora", fs::perms::owner_all | fs::perms::group_exec |
                                                 fs::perms::others_read | fs::perms::others_exec);
        fs::copy_file(LUMORA_LIB_POR, m_source / "lumorapor.so");
        fs::copy_file(LUMORA_LIB_SPA, m_source / "lumoraspa.so");
        m_source.WriteFile("Server.dat", "core records\n");
        m_source.WriteFile("lumora.inst", "[Install]\nfileCount=4\nfile1=lumora\nfile2=Server.dat\n"
                                          "file3=lumorapor.so\nfile4=lumoraspa.so\n");
    }

    CSetupOptions Options(const fs::path& folder) const
    {
        CSetupOptions options;
        options.sourceProgram = m_source / "lumora";
        options.version = "0.2.0";
        options.folder = folder;
        return options;
    }

    TempDir m_source;
    CLanguageMgr m_language;

private Q_SLOTS:
    void initTestCase()
    {
        // Once: a library the language manager has loaded is never rewritten.
        MakeSource();
        m_language.Initialize(m_source / "lumora");
    }

    void init() { m_language.SelectByNumber(0, true); }

    void InstallPagesInOrder_data()
    {
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QStringList>("pages");
        const QStringList plain{"languagePage", "folderPage", "readyPage"};
        const QStringList warned{"languagePage", "folderPage", "browserPage", "readyPage"};
        QTest::newRow("supported browser") << 0 << plain;
        QTest::newRow("no browser") << int(kStrNoDefaultBrowser) << warned;
        QTest::newRow("untested browser") << int(kStrBrowserPartlyCompatible) << warned;
    }

    void InstallPagesInOrder()
    {
        QFETCH(int, verdict);
        QFETCH(QStringList, pages);
        TempDir target;
        CSheetInstall sheet(m_language, target / "lumora", verdict);
        QCOMPARE(sheet.PageOrder(), pages);
        sheet.show();
        QStringList walked{sheet.currentPage()->objectName()};
        while (sheet.currentId() != sheet.pageIds().last()) {
            sheet.next();
            walked << sheet.currentPage()->objectName();
        }
        QCOMPARE(walked, pages);
        QCOMPARE(sheet.button(QWizard::FinishButton)->text(), UiText(m_language, kStrSetupInstall));
        if (verdict != 0)
            QCOMPARE(LabelText(sheet, "browserText"), UiText(m_language, verdict));
        QCOMPARE(LabelText(sheet, "readyFolder"),
                 ToQString(m_language.FormatMessage(kStrSetupFolderChosen, {(target / "lumora").string()})));
    }

    void LanguageComesFirstAndRetitlesEverything()
    {
        TempDir target;
        CSheetInstall sheet(m_language, target / "lumora", 0);
        sheet.show();
        QCOMPARE(sheet.currentPage()->objectName(), QStringLiteral("languagePage"));
        QCOMPARE(sheet.currentPage()->title(),
                 QStringLiteral("Welcome to the Lumora PC Software installation."));
        QVERIFY(sheet.button(QWizard::BackButton)->isHidden());

        struct Expected {
            std::string code;
            QString title, next;
        };
        const Expected expected[] = {
            {"pt", "Instalação do Lumora PC Software", "&Seguinte >"},
            {"es", "Instalación de Lumora PC Software", "&Siguiente >"},
            {"en", "Lumora PC Software Setup", "&Next >"},
        };
        for (const Expected& e : expected) {
            ChooseLanguage(sheet, m_language, e.code);
            QCOMPARE(QString::fromStdString(m_language.Current().code), QString::fromStdString(e.code));
            QCOMPARE(sheet.windowTitle(), e.title);
            QCOMPARE(sheet.button(QWizard::NextButton)->text(), e.next);
            // Every text is the chosen language's, whatever the page.
            QCOMPARE(sheet.button(QWizard::CancelButton)->text(), UiText(m_language, kStrSetupCancel));
            QCOMPARE(sheet.button(QWizard::FinishButton)->text(), UiText(m_language, kStrSetupInstall));
            QCOMPARE(sheet.currentPage()->title(), UiText(m_language, kStrInstallWelcome));
            QCOMPARE(LabelText(sheet, "languageText"), UiText(m_language, kStrInstallChooseLanguage));
            auto* folderPage = Child<QWizardPage>(sheet, "folderPage");
            QCOMPARE(folderPage->title(), ToQString(m_language.LoadDialog(kDlgSetupFolder).caption));
            QCOMPARE(LabelText(*folderPage, "folderText"),
                     DialogControl(m_language, kDlgSetupFolder, kCtlSetupFolderText));
            QCOMPARE(Child<QPushButton>(sheet, "browseButton")->text(),
                     DialogControl(m_language, kDlgSetupFolder, kCtlSetupBrowse));
        }
    }

    void UpgradeShowsWhatIsInstalledInTheChosenLanguage()
    {
        CSheetUpgrade sheet(m_language, [this] {
            return std::vector<std::string>{m_language.FormatMessage(kStrInstalledVersion, {"0.1.0"}),
                                            m_language.FormatMessage(kStrWillUpgrade, {"0.2.0"})};
        });
        QCOMPARE(sheet.PageOrder(), (QStringList{"languagePage", "upgradePage"}));
        sheet.show();
        ChooseLanguage(sheet, m_language, "es");
        sheet.next();
        QCOMPARE(sheet.currentPage()->objectName(), QStringLiteral("upgradePage"));
        const QString situation = ToQString(m_language.FormatMessage(kStrInstalledVersion, {"0.1.0"})) +
                                  "\n\n" + ToQString(m_language.FormatMessage(kStrWillUpgrade, {"0.2.0"}));
        QCOMPARE(LabelText(sheet, "upgradeText"), situation);
        QVERIFY(situation.contains(QStringLiteral("0.1.0")));
        QVERIFY(!situation.contains(QStringLiteral("You currently have")));
        QCOMPARE(LabelText(sheet, "upgradeQuestion"),
                 DialogControl(m_language, kDlgSetupUpgrade, kCtlSetupUpgradeQuestion));
        QCOMPARE(sheet.button(QWizard::FinishButton)->text(), UiText(m_language, kStrSetupNext));
    }

    void FolderPageRefusesWhatCannotBeWritten()
    {
        TempDir target;
        CSheetInstall sheet(m_language, target / "lumora", 0);
        sheet.show();
        sheet.next();
        auto* edit = Child<QLineEdit>(sheet, "folderEdit");
        QCOMPARE(edit->text(), ToQString((target / "lumora").string()));
        auto* error = Child<QLabel>(sheet, "folderError");

        edit->setText(QStringLiteral("relative/lumora"));
        sheet.next();
        QCOMPARE(sheet.currentPage()->objectName(), QStringLiteral("folderPage"));
        QVERIFY(!error->isHidden());
        QCOMPARE(error->text(),
                 ToQString(m_language.FormatMessage(kStrCannotCreateFolder, {"relative/lumora"})));

        // A folder under one only its owner may write: 28697 for anyone else.
        const fs::path locked = target / "locked";
        fs::create_directories(locked);
        for (fs::path at = target.Path(); at != at.parent_path(); at = at.parent_path())
            fs::permissions(at, fs::perms::others_exec, fs::perm_options::add);
        fs::permissions(locked, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
        edit->setText(ToQString((locked / "lumora").string()));
        QVERIFY(error->isHidden());
        const QString refusal = UiText(m_language, kStrNeedAdminToInstall);
        // The windows are offscreen, so the page goes on in a forked child.
        QVERIFY(AsUnprivilegedUser([&] {
            sheet.next();
            return sheet.currentPage()->objectName() == "folderPage" && !error->isHidden() &&
                   error->text() == refusal;
        }));

        edit->setText(ToQString((target / "other").string()));
        sheet.next();
        QCOMPARE(sheet.currentPage()->objectName(), QStringLiteral("readyPage"));
        QCOMPARE(LabelText(sheet, "readyFolder"),
                 ToQString(m_language.FormatMessage(kStrSetupFolderChosen, {(target / "other").string()})));
    }

    void InstallsFromThePagesInTheChosenLanguage()
    {
        TempHome home;
        const fs::path target = home.Home() / "apps/lumora";
        CInstaller installer(m_language, Options(home.Home() / ".local/lib/lumora"));
        QVERIFY(!installer.DetermineKind().IsUpgrade());
        CSheetInstall sheet(m_language, installer.TargetFolder(), 0);
        sheet.show();
        ChooseLanguage(sheet, m_language, "pt");
        sheet.next();
        Child<QLineEdit>(sheet, "folderEdit")->setText(ToQString(target.string()));
        sheet.next();
        QCOMPARE(sheet.currentPage()->objectName(), QStringLiteral("readyPage"));
        QTest::mouseClick(sheet.button(QWizard::FinishButton), Qt::LeftButton);
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
        installer.SetTargetFolder(sheet.Folder());

        CSetupProgressDlg progress(m_language, kStrSetupFailed);
        progress.show();
        progress.Start([&installer](CSetupProgress& steps) { return installer.Install(steps); });
        QTRY_VERIFY(progress.Done());
        QVERIFY2(progress.Succeeded(), qPrintable(progress.Result()));
        QCOMPARE(progress.Steps(),
                 (QStringList{"A copiar ficheiros...", "A criar entradas do registo...", "A criar atalhos...",
                              UiText(m_language, kStrInstallComplete)}));
        QVERIFY(fs::is_regular_file(target / "lumora"));
        QVERIFY(fs::is_regular_file(target / "lumorapor.so"));
        platform::RegistryHive user(platform::RegistryRoot::CurrentUser,
                                    home.ConfigHome() / "lumora/user.reg");
        const auto stored = user.QueryValue(std::string(CClientConfig::kUserKey) + "\\Config", "Language");
        QVERIFY(stored);
        QCOMPARE(QString::fromStdString(stored->AsString()), QStringLiteral("pt"));
        QVERIFY(Child<QPushButton>(progress, "okButton")->isEnabled());
    }

    void ProgressShowsEachStepWithoutBlockingTheWindow()
    {
        std::atomic<bool> release{false};
        CSetupProgressDlg progress(m_language, kStrSetupFailed);
        progress.show();
        progress.Start([&release](CSetupProgress& steps) {
            steps.Step("Copying files...");
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            steps.Step("Making registry entries...");
            steps.Step("The installation has completed successfully.");
            return std::string("The installation has completed successfully.");
        });
        // The window goes on while the step runs, and cannot be closed.
        QTRY_COMPARE(progress.Steps(), QStringList{"Copying files..."});
        auto* ok = Child<QPushButton>(progress, "okButton");
        QVERIFY(!ok->isEnabled());
        QTest::keyClick(&progress, Qt::Key_Escape);
        QVERIFY(progress.isVisible());
        release = true;
        QTRY_VERIFY(progress.Done());
        QVERIFY(progress.Succeeded());
        QCOMPARE(progress.Steps(), (QStringList{"Copying files...", "Making registry entries...",
                                                "The installation has completed successfully."}));
        QVERIFY(ok->isEnabled());
        QVERIFY(progress.Result().isEmpty());
        QTest::keyClick(&progress, Qt::Key_Escape);
        QVERIFY(!progress.isVisible());
    }

    void ProgressShowsTheFailure_data()
    {
        QTest::addColumn<int>("heading");
        QTest::addColumn<QString>("language");
        QTest::newRow("installation") << int(kStrSetupFailed) << "en";
        QTest::newRow("removal, Spanish") << int(kStrRemoveFailed) << "es";
    }

    void ProgressShowsTheFailure()
    {
        QFETCH(int, heading);
        QFETCH(QString, language);
        QVERIFY(language == "en" ? m_language.SelectByNumber(0, true)
                                 : m_language.SelectByCode(language.toStdString()));
        const CSetupError error = CSetupError::Message(kStrCannotStopForInstall, CInstaller::kCodeStop);
        CSetupProgressDlg progress(m_language, heading);
        progress.show();
        progress.Start([&](CSetupProgress& steps) -> std::string {
            steps.Step(m_language.LoadText(kStrStoppingClient));
            throw error;
        });
        QTRY_VERIFY(progress.Done());
        QVERIFY(!progress.Succeeded());
        QCOMPARE(progress.Steps(), QStringList{UiText(m_language, kStrStoppingClient)});
        QCOMPARE(progress.Result(), UiText(m_language, heading) + "\n\n" + ToQString(error.Text(m_language)));
        QVERIFY(progress.Result().contains(QStringLiteral("702")));
        QVERIFY(Child<QPushButton>(progress, "okButton")->isEnabled());
    }

    void RemoveTypeOffersBothChoices()
    {
        QVERIFY(m_language.SelectByCode("es"));
        CDlgRemoveType dialog(m_language);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), ToQString(m_language.LoadDialog(kDlgRemoveType).caption));
        auto* registry = Child<QCheckBox>(dialog, "registryCheck");
        auto* personal = Child<QCheckBox>(dialog, "personalCheck");
        QCOMPARE(registry->text(), UiText(m_language, kStrRemoveRegistryEntries));
        QCOMPARE(personal->text(), UiText(m_language, kStrRemovePersonalSettings));
        QCOMPARE(Child<QPushButton>(dialog, "removeButton")->text(), UiText(m_language, kStrSetupRemove));
        QCOMPARE(Child<QPushButton>(dialog, "cancelButton")->text(),
                 DialogControl(m_language, kDlgRemoveType, kCtlCancel));
        // Nothing of the user's goes unless asked.
        QVERIFY(!dialog.RegistryEntries());
        QVERIFY(!dialog.PersonalSettings());
        personal->setFocus();
        QTest::keyClick(personal, Qt::Key_Space);
        QVERIFY(!dialog.RegistryEntries());
        QVERIFY(dialog.PersonalSettings());
        QTest::mouseClick(Child<QPushButton>(dialog, "removeButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void RemoveFailedListsWhatIsLeft()
    {
        const std::vector<std::string> left{"/opt/lumora/lumora", "/opt/lumora/vtkbdhook.so"};
        CDlgRemoveFailed dialog(m_language, left);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Remove Failed"));
        auto* items = Child<QListWidget>(dialog, "leftList");
        QCOMPARE(items->count(), 2);
        QCOMPARE(items->item(0)->text(), QStringLiteral("/opt/lumora/lumora"));
        QCOMPARE(items->item(1)->text(), QStringLiteral("/opt/lumora/vtkbdhook.so"));
    }
};

LUMORA_QTEST_MAIN(SetupWizardTest)
#include "test_setupwizard.moc"

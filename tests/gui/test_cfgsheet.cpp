// The settings sheet in the whole client, offscreen: the first start's
// wizard against the real reference server (a wrong password, then the
// demo account), the Settings commands and their sheets, Back, Next and
// Finish as the scanner choice moves them, the batch pages of the CS1504
// and the Pennyscanner on pseudo-terminals, Auto-Detect finding a simulated
// CyberPen, and the language page re-titling the list.
#include "client/appcontext.h"
#include "client/clidoc.h"
#include "client/gui/cfgsheet.h"
#include "client/gui/clientapp.h"
#include "client/gui/commandset.h"
#include "client/gui/mainfrm.h"
#include "client/gui/qtuiport.h"
#include "client/gui/scodeview.h"
#include "client/gui/trayicon.h"
#include "client/gui/wizpage.h"
#include "client/scanmgr.h"
#include "client/uitextids.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "tests/gui/guitest.h"
#include "tests/support/infopensim.h"
#include "tests/support/ptydevice.h"
#include "tests/support/scopedenv.h"
#include "tests/support/serverprocess.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <fstream>
#include <functional>
#include <memory>

namespace fs = std::filesystem;

namespace {

const std::string kDemoUser = "116306380970205";

void WriteProgram(const fs::path& file, const std::string& script)
{
    std::ofstream(file) << "#!/bin/sh\n" << script << "\n";
    fs::permissions(file, fs::perms::owner_all);
}

// The sheet on screen, if any.
CCfgPropertySheet* Sheet()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* sheet = qobject_cast<CCfgPropertySheet*>(widget); sheet && sheet->isVisible())
            return sheet;
    return nullptr;
}

QWidget* Shown(const char* name)
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String(name) && widget->isVisible())
            return widget;
    return nullptr;
}

QPushButton* Button(QWidget* window, const char* name)
{
    return window->findChild<QPushButton*>(name);
}

// The page's title and the sheet's buttons as the user sees them: each
// shown one by name, "-" when it is disabled.
QString Face(CCfgPropertySheet* sheet)
{
    QStringList shown;
    for (const char* name : {"backButton", "nextButton", "finishButton"}) {
        const QPushButton* button = Button(sheet, name);
        if (button->isVisible())
            shown << QString::fromLatin1(name).remove(QStringLiteral("Button")) +
                         (button->isEnabled() ? QString() : QStringLiteral("-"));
    }
    return sheet->findChild<QLabel*>("pageTitle")->text() + ": " + shown.join(u' ');
}

// The faces a walk with Next shows, up to the page with Finish.
QStringList WalkForward(CCfgPropertySheet* sheet)
{
    QStringList faces{Face(sheet)};
    while (Button(sheet, "nextButton")->isEnabled() && faces.size() < 20) {
        Button(sheet, "nextButton")->click();
        faces << Face(sheet);
    }
    return faces;
}

// The names of the widgets that Tab reaches from `start`, `start` first.
QStringList TabOrder(QWidget* window, QWidget* start, int count)
{
    QApplication::setActiveWindow(window);
    start->setFocus(Qt::TabFocusReason);
    QStringList names{start->objectName()};
    for (int i = 1; i < count; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        names << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
    }
    return names;
}

void ChooseScanner(CCfgPropertySheet* sheet, int type)
{
    auto* page = sheet->Page(CPageId::ScanSel);
    if (type < 0) {
        page->findChild<QRadioButton*>("noScanner")->click();
        return;
    }
    page->findChild<QRadioButton*>("useScanner")->click();
    page->findChild<QListWidget*>("scannerList")->setCurrentRow(type);
}

} // namespace

class CfgSheetTest : public QObject {
    Q_OBJECT

private:
    fs::path m_root = fs::path(std::getenv("HOME")).parent_path();
    fs::path m_program = m_root / "program" / "lumora";
    fs::path m_opened = m_root / "opened.txt";
    fs::path m_browser = m_root / "browser.txt";
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<ScopedEnv> m_path;
    std::unique_ptr<CClientApp> m_app;
    std::vector<std::string> m_boxes;

    static fs::path UserFolder() { return platform::UserDataFolder(); }
    static fs::path Devices() { return platform::CurrentUserHivePath().parent_path() / "dosdevices"; }

    static platform::Registry Hives()
    {
        return platform::Registry(platform::CurrentUserHivePath(), platform::LocalMachineHivePath());
    }

    // The settings as the next start reads them.
    static CClientSettings Stored()
    {
        platform::Registry registry = Hives();
        CClientConfig config(registry);
        config.Load();
        return config.Settings();
    }

    static std::string StoredUid()
    {
        platform::Registry registry = Hives();
        CClientConfig config(registry);
        std::string uid;
        config.ReadUserId(uid);
        return uid;
    }

    // A user who has run the client before: the demo account and the
    // settings of a completed first start, without the start at log-on.
    static void KnownUser()
    {
        platform::Registry registry = Hives();
        CClientConfig config(registry);
        QVERIFY(config.Initialize());
        config.Settings().installing = 0;
        config.Settings().autoRun = 0;
        QVERIFY(config.Save(CConfigGroup::Everything));
        QVERIFY(config.WriteUserId(kDemoUser));
    }

    void Start()
    {
        CClientApp::Options options;
        options.programPath = m_program;
        options.splashDelayMs = 0;
        m_app = std::make_unique<CClientApp>(std::move(options));
        QVERIFY(!m_app->Start());
        m_app->Port()->SetMessageBoxSeam([this](const CMessageBoxRequest& request) {
            m_boxes.push_back(request.text);
            return CMessageBoxResult::kOk;
        });
    }

    void StartKnownUser()
    {
        KnownUser();
        Start();
        QTRY_VERIFY(m_app->Running());
    }

    // Runs `action` once `ready` holds, also inside a modal sheet's loop.
    void When(std::function<bool()> ready, std::function<void()> action)
    {
        auto* timer = new QTimer(this);
        timer->setInterval(20);
        connect(timer, &QTimer::timeout, this, [timer, ready = std::move(ready), action = std::move(action)] {
            if (!ready())
                return;
            timer->stop();
            timer->deleteLater();
            action();
        });
        timer->start();
    }

    // A Settings command from the menu, its sheet handed to `inside` (which
    // ends it); true once the command has returned.
    bool RunCommand(int command, std::function<void(CCfgPropertySheet*)> inside)
    {
        bool ran = false;
        When([] { return Sheet() != nullptr; },
             [&ran, inside = std::move(inside)] {
                 ran = true;
                 inside(Sheet());
             });
        m_app->Frame()->Commands()->Find(command)->trigger();
        return ran && !Sheet();
    }

    std::string LastBox() const { return m_boxes.empty() ? std::string() : m_boxes.back(); }
    std::string Opened() const { return TempDir::ReadFile(m_opened); }

private Q_SLOTS:
    void initTestCase()
    {
        // The program's folder holds the language libraries, as installed.
        fs::create_directories(m_program.parent_path());
        fs::copy_file(LUMORA_LIB_POR, m_program.parent_path() / "lumorapor.so");
        fs::copy_file(LUMORA_LIB_SPA, m_program.parent_path() / "lumoraspa.so");
        fs::create_directories(UserFolder());
        const fs::path portFile = m_root / "port";
        m_server = std::make_unique<ServerProcess>(
            LUMORA_REFSERVER_PATH,
            std::vector<std::string>{"--listen", "127.0.0.1:0", "--port-file", portFile.string(), "--data",
                                     fs::path(LUMORA_SOURCE_DIR) / "data/refserver", "--core-cache",
                                     (UserFolder() / "Server.dat").string()});
        QVERIFY(m_server->WaitForPortFile(portFile) != 0);
        // Opening an address notes it; the default browser is the one the
        // file names, a supported one unless a test says otherwise.
        const fs::path bin = m_root / "bin";
        const fs::path applications = platform::UserDataFolder().parent_path() / "applications";
        fs::create_directories(bin);
        fs::create_directories(applications);
        WriteProgram(bin / "xdg-open", "printf '%s\\n' \"$1\" >> '" + m_opened.string() + "'");
        WriteProgram(bin / "xdg-settings", "cat '" + m_browser.string() + "'");
        WriteProgram(bin / "xdg-mime", "cat '" + m_browser.string() + "'");
        for (const char* browser : {"firefox", "oddbrowser"}) {
            WriteProgram(bin / browser, std::string("echo '") + browser + " 115.0'");
            std::ofstream(applications / (std::string(browser) + ".desktop"))
                << "[Desktop Entry]\nType=Application\nName=" << browser << "\nExec=" << browser << " %u\n";
        }
        m_path = std::make_unique<ScopedEnv>("PATH", (bin.string() + ":" + std::getenv("PATH")).c_str());
        fs::create_directories(Devices());
    }

    void init()
    {
        CTrayIcon::SetAvailability([] { return true; });
        std::ofstream(m_browser) << "firefox.desktop\n";
        fs::remove(m_opened);
        m_boxes.clear();
    }

    void cleanup()
    {
        m_app.reset();
        std::error_code ignored;
        fs::remove(platform::CurrentUserHivePath(), ignored);
        fs::remove(platform::AutostartEntryPath(), ignored);
        fs::remove(UserFolder() / (kDemoUser + "Codes.dat"), ignored);
        for (const auto& entry : fs::directory_iterator(Devices()))
            fs::remove(entry.path(), ignored);
    }

    void firstStartAttachesTheAccountAfterAWrongPassword()
    {
        QStringList walk;
        QStringList tabs;
        bool sawHidden = false;
        When([] { return Sheet() != nullptr; },
             [&] {
                 CCfgPropertySheet* sheet = Sheet();
                 QCOMPARE(sheet->Mode(), CSheetMode::FirstRun);
                 QVERIFY(Button(sheet, "helpButton")->isVisible());
                 // Tab: the page's fields, then the sheet's buttons.
                 Button(sheet, "nextButton")->click();
                 Button(sheet, "nextButton")->click();
                 Button(sheet, "nextButton")->click();
                 tabs = TabOrder(sheet, sheet->findChild<QLineEdit*>("userId"), 6);
                 Button(sheet, "backButton")->click();
                 Button(sheet, "backButton")->click();
                 Button(sheet, "backButton")->click();
                 // Help on the welcome page, then on the registration page.
                 Button(sheet, "helpButton")->click();
                 walk = WalkForward(sheet);
                 Button(sheet, "helpButton")->click();
                 Button(sheet, "finishButton")->click(); // both fields empty
                 QCOMPARE(sheet->focusWidget()->objectName(), QStringLiteral("userId"));
                 sheet->findChild<QLineEdit*>("userId")->setText("demo");
                 sheet->findChild<QLineEdit*>("password")->setText("wrong");
                 Button(sheet, "finishButton")->click();
                 sawHidden = !sheet->isVisible() && Shown("registrationProgress");
             });
        When([&] { return Sheet() && m_boxes.size() >= 2; },
             [&] {
                 CCfgPropertySheet* sheet = Sheet();
                 QCOMPARE(sheet->CurrentPage()->Id(), CPageId::Registration);
                 sheet->findChild<QPushButton*>("newUserButton")->click();
                 sheet->findChild<QLineEdit*>("password")->setText("demo");
                 Button(sheet, "finishButton")->click();
             });
        bool completed = false;
        When([] { return Shown("registrationComplete") != nullptr; },
             [&] {
                 completed = true;
                 Button(Shown("registrationComplete"), "okButton")->click();
             });
        Start();
        QTRY_VERIFY_WITH_TIMEOUT(m_app->Running(), 30000);

        const QStringList expected{"New User Setup: back- next", "Scanner Settings: back next",
                                   "Proxy Settings: back next", "Registration: back next- finish"};
        QCOMPARE(walk, expected);
        QCOMPARE(tabs, (QStringList{"userId", "password", "newUserButton", "forgotButton", "helpButton",
                                    "backButton"}));
        QVERIFY(sawHidden);
        QVERIFY(completed);
        QCOMPARE(m_boxes.size(), std::size_t(2));
        QVERIFY2(m_boxes[0].find("You must enter a value for all fields.") != std::string::npos,
                 m_boxes[0].c_str());
        QVERIFY2(m_boxes[0].find("Error Code = 13") != std::string::npos, m_boxes[0].c_str());
        QVERIFY2(m_boxes[1].find("The login or the password is wrong.") != std::string::npos &&
                     m_boxes[1].find("Error Code = S-205-21") != std::string::npos,
                 m_boxes[1].c_str());
        QVERIFY2(Opened().find("help?IID=2") < Opened().find("help?IID=3"), Opened().c_str());
        QVERIFY2(Opened().find("help?IID=3") != std::string::npos, Opened().c_str());
        QVERIFY2(Opened().find("register?capp=PC") != std::string::npos, Opened().c_str());

        QVERIFY(m_app->Frame()->isVisible());
        QCOMPARE(m_app->Doc()->State(), CDocState::Idle);
        QCOMPARE(StoredUid(), kDemoUser);
        QCOMPARE(Stored().autoRun, 1);
        QVERIFY(fs::exists(platform::AutostartEntryPath()));
    }

    void settingsCommandsOpenTheirSheets_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("face");
        QTest::newRow("wizard") << int(kCmdSettingsWizard) << int(CSheetMode::Wizard)
                                << "Settings Wizard: back- next";
        QTest::newRow("scanner") << int(kCmdSettingsScanner) << int(CSheetMode::Scanner)
                                 << "Scanner Settings: back- next- finish";
        QTest::newRow("proxy") << int(kCmdSettingsProxy) << int(CSheetMode::Proxy)
                               << "Proxy Settings: finish";
        QTest::newRow("start-up") << int(kCmdSettingsStartup) << int(CSheetMode::StartUp)
                                  << "Start-up Setting: finish";
        QTest::newRow("code list") << int(kCmdSettingsCodeList) << int(CSheetMode::CodeList)
                                   << "Stored Code List Settings: finish";
        QTest::newRow("batch") << int(kCmdSettingsBatch) << int(CSheetMode::Batch)
                               << "Batch Process Settings: finish";
        QTest::newRow("advanced") << int(kCmdSettingsAdvanced) << int(CSheetMode::Advanced)
                                  << "Advanced Settings: finish";
        QTest::newRow("language") << int(kCmdSettingsLanguage) << int(CSheetMode::Language)
                                  << "Language Selection: finish";
    }

    void settingsCommandsOpenTheirSheets()
    {
        QFETCH(int, command);
        QFETCH(int, mode);
        QFETCH(QString, face);
        StartKnownUser();
        CDocState state = CDocState::Idle;
        QVERIFY(RunCommand(command, [&](CCfgPropertySheet* sheet) {
            state = m_app->Doc()->State();
            QCOMPARE(int(sheet->Mode()), mode);
            QCOMPARE(Face(sheet), face);
            QVERIFY(Button(sheet, "helpButton")->isVisible());
            Button(sheet, "cancelButton")->click();
        }));
        QCOMPARE(state, CDocState::SettingsOpen);
        QCOMPARE(m_app->Doc()->State(), CDocState::Idle);
        QVERIFY(m_boxes.empty());
    }

    void theWizardFollowsTheScannerChoice_data()
    {
        QTest::addColumn<int>("type"); // -1: no scanner
        QTest::addColumn<QStringList>("faces");
        const QStringList rest{"Proxy Settings: back next", "Start-up Setting: back next",
                               "Stored Code List Settings: back next", "Batch Process Settings: back next",
                               "Summary: back next- finish"};
        QTest::newRow("no scanner") << -1 << QStringList{"Scanner Settings: back next"} + rest;
        QTest::newRow("Welch Allyn") << 6
                                     << QStringList{"Scanner Settings: back next",
                                                    "General Scanner Settings: back next"} +
                                            rest;
        QTest::newRow("CS1504") << 10
                                << QStringList{"Scanner Settings: back next",
                                               "Batch Scanner Settings: back next"} +
                                       rest;
        QTest::newRow("Keyfob") << 9 << QStringList{"Scanner Settings: back next"} + rest;
    }

    void theWizardFollowsTheScannerChoice()
    {
        QFETCH(int, type);
        QFETCH(QStringList, faces);
        // The scanner pages check their port: COM1 is there and chosen.
        PtyDevice device;
        fs::create_symlink(device.SlavePath(), Devices() / "com1");
        StartKnownUser();
        m_app->Context().Config().Settings().scannerPort = 0;
        m_app->Context().Config().Settings().symbolPort = 0;
        QStringList walk;
        QStringList back;
        QVERIFY(RunCommand(kCmdSettingsWizard, [&](CCfgPropertySheet* sheet) {
            QCOMPARE(Face(sheet), QStringLiteral("Settings Wizard: back- next"));
            Button(sheet, "nextButton")->click();
            ChooseScanner(sheet, type);
            walk = WalkForward(sheet);
            while (Button(sheet, "backButton")->isEnabled() && back.size() < 20) {
                Button(sheet, "backButton")->click();
                back.prepend(Face(sheet));
            }
            Button(sheet, "cancelButton")->click();
        }));
        QCOMPARE(walk, faces);
        QCOMPARE(back.mid(1), faces.mid(0, faces.size() - 1));
        QCOMPARE(back.front(), QStringLiteral("Settings Wizard: back- next"));
        // Cancel keeps what was stored.
        QCOMPARE(Stored().useScanner, 0);
    }

    void theScannerSheetShowsNextOnlyWhenASettingsPageFollows()
    {
        StartKnownUser();
        QVERIFY(RunCommand(kCmdSettingsScanner, [&](CCfgPropertySheet* sheet) {
            QCOMPARE(Face(sheet), QStringLiteral("Scanner Settings: back- next- finish"));
            ChooseScanner(sheet, 10);
            QCOMPARE(Face(sheet), QStringLiteral("Scanner Settings: back- next"));
            ChooseScanner(sheet, 8);
            QCOMPARE(Face(sheet), QStringLiteral("Scanner Settings: back- next- finish"));
            ChooseScanner(sheet, 1);
            QCOMPARE(Face(sheet), QStringLiteral("Scanner Settings: back- next"));
            Button(sheet, "nextButton")->click();
            QCOMPARE(Face(sheet), QStringLiteral("General Scanner Settings: back next- finish"));
            Button(sheet, "cancelButton")->click();
        }));
    }

    void theGeneralPageShowsAndStoresTheLineSettings()
    {
        PtyDevice device;
        fs::create_symlink(device.SlavePath(), Devices() / "com1");
        StartKnownUser();
        QStringList shown;
        QVERIFY(RunCommand(kCmdSettingsScanner, [&](CCfgPropertySheet* sheet) {
            ChooseScanner(sheet, int(CScannerType::Aim));
            Button(sheet, "nextButton")->click();
            for (const char* name :
                 {"portList", "baudRateList", "dataBitsList", "parityList", "stopBitsList"})
                shown << sheet->CurrentPage()->findChild<QComboBox*>(name)->currentText();
            Button(sheet, "finishButton")->click(); // no port
            QVERIFY(sheet->isVisible());
            QCOMPARE(sheet->focusWidget()->objectName(), QStringLiteral("portList"));
            sheet->CurrentPage()->findChild<QComboBox*>("portList")->setCurrentIndex(0);
            sheet->CurrentPage()->findChild<QComboBox*>("baudRateList")->setCurrentIndex(6);
            Button(sheet, "finishButton")->click();
            QVERIFY2(!sheet->isVisible(), LastBox().c_str());
        }));
        // The defaults: 9600 baud, 8 data bits, no parity, 1 stop bit.
        QCOMPARE(shown, (QStringList{"", "9600", "8", "None", "1"}));
        QVERIFY2(m_boxes.front().find("You must select a value for all fields.") != std::string::npos,
                 m_boxes.front().c_str());
        const CClientSettings stored = Stored();
        QCOMPARE(stored.scanner, int(CScannerType::Aim));
        QCOMPARE(stored.scannerPort, 0);
        QCOMPARE(stored.baudRate, 6);
        QCOMPARE(stored.dataBits, 3);
        QCOMPARE(stored.parity, 2);
        QCOMPARE(stored.stopBits, 0);
        QCOMPARE(m_app->Doc()->Scanner()->ScannerType(), std::optional<CScannerType>(CScannerType::Aim));
    }

    void theBatchPageByType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("volumeShown");
        QTest::newRow("CS1504") << 10 << true;
        QTest::newRow("Pennyscanner") << 7 << false;
    }

    void theBatchPageByType()
    {
        QFETCH(int, type);
        QFETCH(bool, volumeShown);
        PtyDevice device;
        fs::create_symlink(device.SlavePath(), Devices() / "com2");
        fs::create_symlink(m_root / "no-such-device", Devices() / "com3");
        StartKnownUser();
        QString portBox;
        QVERIFY(RunCommand(kCmdSettingsScanner, [&](CCfgPropertySheet* sheet) {
            ChooseScanner(sheet, type);
            Button(sheet, "nextButton")->click();
            CWizPropertyPage* page = sheet->CurrentPage();
            QCOMPARE(page->Id(), CPageId::ScanSetPen);
            auto* port = page->findChild<QComboBox*>("portList");
            auto* volume = page->findChild<QComboBox*>("volumeList");
            QCOMPARE(port->count(), 9);
            QCOMPARE(port->itemText(0), QStringLiteral("COM1"));
            QCOMPARE(port->currentIndex(), -1); // no port chosen yet
            QCOMPARE(volume->isVisible(), volumeShown);
            QCOMPARE(page->findChild<QPushButton*>("autoDetectButton")->isVisible(), volumeShown);
            if (volumeShown) {
                QCOMPARE(volume->itemText(0), QStringLiteral("High"));
                QCOMPARE(volume->currentIndex(), 1); // Medium unless chosen
                volume->setCurrentIndex(2);
            }
            Button(sheet, "finishButton")->click(); // no port
            QVERIFY(sheet->isVisible());
            QCOMPARE(sheet->focusWidget(), static_cast<QWidget*>(port));
            port->setCurrentIndex(2); // COM3, missing
            Button(sheet, "finishButton")->click();
            portBox = QString::fromStdString(LastBox());
            QVERIFY(sheet->isVisible());
            port->setCurrentIndex(1); // COM2, the device
            Button(sheet, "finishButton")->click();
            QVERIFY2(!sheet->isVisible(), LastBox().c_str());
        }));
        QCOMPARE(m_boxes.size(), std::size_t(2));
        QVERIFY2(m_boxes[0].find("You must select a value for all fields.") != std::string::npos,
                 m_boxes[0].c_str());
        QVERIFY2(portBox.contains("The scanner port specified was not found.") &&
                     portBox.contains("Error Code = 14"),
                 qPrintable(portBox));
        const CClientSettings stored = Stored();
        QCOMPARE(stored.useScanner, 1);
        QCOMPARE(stored.scanner, type);
        QCOMPARE(volumeShown ? stored.symbolPort : stored.pennyPort, 1);
        if (volumeShown)
            QCOMPARE(stored.symbolVolume, 2);
        QCOMPARE(m_app->Doc()->Scanner()->ScannerType(), std::optional<CScannerType>(CScannerType(type)));
    }

    void autoDetectFindsTheCyberPen()
    {
        for (int number = 1; number <= 9; ++number)
            fs::create_symlink(m_root / "no-such-device", Devices() / ("com" + std::to_string(number)));
        PtyDevice device;
        fs::remove(Devices() / "com4");
        fs::create_symlink(device.SlavePath(), Devices() / "com4");
        InfoPenSim pen(device);
        pen.Start();
        StartKnownUser();
        QString found;
        QVERIFY(RunCommand(kCmdSettingsScanner, [&](CCfgPropertySheet* sheet) {
            ChooseScanner(sheet, int(CScannerType::CyberPen));
            Button(sheet, "nextButton")->click();
            auto* port = sheet->CurrentPage()->findChild<QComboBox*>("portList");
            When([] { return Shown("autoDetectDialog") != nullptr; },
                 [] { Button(Shown("autoDetectDialog"), "okButton")->click(); });
            sheet->CurrentPage()->findChild<QPushButton*>("autoDetectButton")->click();
            QTRY_VERIFY_WITH_TIMEOUT(!Shown("autoDetectDialog") && !m_app->Doc()->Scanner()->IsDetecting(),
                                     30000);
            found = port->currentText();
            Button(sheet, "finishButton")->click();
        }));
        pen.Stop();
        QCOMPARE(found, QStringLiteral("COM4"));
        QCOMPARE(Stored().penPort, 3);
    }

    void theWebBrowserTurnsOnDescriptions()
    {
        StartKnownUser();
        m_app->Context().Config().Settings().autoDescriptions = 0;
        QVERIFY(RunCommand(kCmdSettingsCodeList, [&](CCfgPropertySheet* sheet) {
            auto* automatic = sheet->findChild<QRadioButton*>("describeAutomatically");
            QVERIFY(automatic->isEnabled());
            QVERIFY(!automatic->isChecked());
            sheet->findChild<QRadioButton*>("showInBrowser")->click();
            QVERIFY(automatic->isChecked());
            QVERIFY(!automatic->isEnabled());
            QVERIFY(!sheet->findChild<QRadioButton*>("describeManually")->isEnabled());
            Button(sheet, "finishButton")->click();
        }));
        QCOMPARE(Stored().webView, 1);
        QCOMPARE(Stored().autoDescriptions, 1);
    }

    void theProxyPageRefusesAPortWithALetter()
    {
        StartKnownUser();
        QVERIFY(RunCommand(kCmdSettingsProxy, [&](CCfgPropertySheet* sheet) {
            auto* address = sheet->findChild<QLineEdit*>("proxyAddress");
            auto* port = sheet->findChild<QLineEdit*>("proxyPort");
            QCOMPARE(address->maxLength(), 60);
            QCOMPARE(port->maxLength(), 20);
            QVERIFY(!address->isEnabled());
            sheet->findChild<QRadioButton*>("viaProxy")->click();
            QVERIFY(address->isEnabled());
            QTest::keyClicks(address, "proxy.lan");
            QTest::keyClicks(port, "8O80");
            Button(sheet, "finishButton")->click();
            QVERIFY(sheet->isVisible());
            QCOMPARE(sheet->focusWidget(), static_cast<QWidget*>(port));
            port->clear();
            QTest::keyClicks(port, "8080");
            Button(sheet, "finishButton")->click();
        }));
        QCOMPARE(m_boxes.size(), std::size_t(1));
        QVERIFY2(m_boxes[0].find("Proxy Port must be a numeric value.") != std::string::npos,
                 m_boxes[0].c_str());
        QCOMPARE(Stored().useProxy, 1);
        QCOMPARE(Stored().proxyPort, std::string("8080"));
        QCOMPARE(m_app->Context().Toolkit().GetProxy(), std::string("proxy.lan:8080"));
    }

    void theSettingsWizardWarnsOfAnUntestedBrowser()
    {
        std::ofstream(m_browser) << "oddbrowser.desktop\n";
        StartKnownUser();
        QVERIFY(RunCommand(kCmdSettingsWizard, [&](CCfgPropertySheet* sheet) {
            QTRY_VERIFY(!m_boxes.empty());
            Button(sheet, "cancelButton")->click();
        }));
        QVERIFY2(LastBox().find("Warning 16") != std::string::npos, LastBox().c_str());
        QVERIFY2(LastBox().find("partially compatible") != std::string::npos, LastBox().c_str());
    }

    void theAdvancedPage()
    {
        StartKnownUser();
        m_app->Context().Config().Settings().enableOffline = 1;
        QVERIFY(RunCommand(kCmdSettingsAdvanced, [&](CCfgPropertySheet* sheet) {
            const QString version = sheet->findChild<QPlainTextEdit*>("versionText")->toPlainText();
            QVERIFY2(version.contains("Lumora PC Software version") && version.contains("Portuguese") &&
                         version.contains("Español"),
                     qPrintable(version));
            QVERIFY(sheet->findChild<QCheckBox*>("workOffline")->isVisible());
            sheet->findChild<QPushButton*>("clearCacheButton")->click();
            sheet->findChild<QCheckBox*>("storageOnly")->click();
            Button(sheet, "finishButton")->click();
        }));
        QCOMPARE(LastBox(), std::string("Cached information has been cleared."));
        QVERIFY(m_app->Doc()->StorageOnly());
        QVERIFY(!m_app->Doc()->WorkOffline());
        m_app->Context().Config().Settings().enableOffline = 0;
        QVERIFY(RunCommand(kCmdSettingsAdvanced, [&](CCfgPropertySheet* sheet) {
            QVERIFY(!sheet->findChild<QCheckBox*>("workOffline")->isVisible());
            Button(sheet, "cancelButton")->click();
        }));
    }

    void anotherLanguageRetitlesTheListAtOnce()
    {
        StartKnownUser();
        const QAbstractItemModel* model = m_app->List()->model();
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Code"));
        QVERIFY(RunCommand(kCmdSettingsLanguage, [&](CCfgPropertySheet* sheet) {
            auto* list = sheet->findChild<QListWidget*>("languageList");
            const auto items = list->findItems(QStringLiteral("Portuguese"), Qt::MatchExactly);
            QCOMPARE(items.size(), 1);
            list->setCurrentItem(items.front());
            Button(sheet, "finishButton")->click();
        }));
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Código"));
        QCOMPARE(m_app->Frame()->menuBar()->actions().front()->text(),
                 QString::fromStdString(m_app->Context().Language().LoadMenu(kMenuMain).front().text));
        QCOMPARE(Stored().language, m_app->Context().Language().Current().code);
        // The next sheet speaks the language too.
        QVERIFY(RunCommand(kCmdSettingsProxy, [&](CCfgPropertySheet* sheet) {
            QCOMPARE(Button(sheet, "cancelButton")->text(),
                     QString::fromStdString(m_app->Context().Language().LoadText(kStrSheetCancel)));
            QVERIFY(Button(sheet, "cancelButton")->text() != QStringLiteral("Cancel"));
            Button(sheet, "cancelButton")->click();
        }));
    }
};

LUMORA_QTEST_MAIN(CfgSheetTest)
#include "test_cfgsheet.moc"

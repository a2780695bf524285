// The main window's widgets on their own: menus from the language manager,
// what the document's state enables, closing, hiding to the tray (with and
// without a tray), the placement kept in the settings, dropped code files.
#include "client/config.h"
#include "client/gui/cliview.h"
#include "client/gui/commandset.h"
#include "client/gui/mainfrm.h"
#include "client/gui/trayicon.h"
#include "client/gui/winplacement.h"
#include "client/langmgr.h"
#include "client/uitextids.h"
#include "tests/support/temphome.h"

#include <QAction>
#include <QFont>
#include <QLabel>
#include <QMap>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <filesystem>

class FrameTest : public QObject {
    Q_OBJECT

private:
    TempHome m_home;
    CLanguageMgr m_language;
    CClientSettings m_settings;

    QAction* Command(CMainFrame& frame, int id) { return frame.Commands()->Find(id); }

private Q_SLOTS:
    void init()
    {
        m_settings = CClientSettings{};
        CTrayIcon::SetAvailability([] { return true; });
    }

    void MenuHoldsEveryCommandWithItsMnemonic()
    {
        CMainFrame frame(m_language, m_settings);
        const QList<QAction*> menus = frame.menuBar()->actions();
        QStringList titles;
        for (const QAction* menu : menus)
            titles << menu->text();
        QCOMPARE(titles, (QStringList{"&File", "&Edit", "&Codes", "&Settings", "&View", "&Help"}));
        for (const int id : {kCmdInsertCodes,
                             kCmdReplaceCodes,
                             kCmdExportCodes,
                             kCmdFilePrint,
                             kCmdFilePrintSetup,
                             kCmdAppExit,
                             kCmdEditUndo,
                             kCmdEditCut,
                             kCmdEditCopy,
                             kCmdEditPaste,
                             kCmdRegistrationInfo,
                             kCmdGo,
                             kCmdAddToList,
                             kCmdShowWebPage,
                             kCmdDescribeAll,
                             kCmdDescribeNew,
                             kCmdDescribeSelected,
                             kCmdEditDescription,
                             kCmdDelete,
                             kCmdDeleteAll,
                             kCmdProperties,
                             kCmdSettingsWizard,
                             kCmdSettingsScanner,
                             kCmdSettingsProxy,
                             kCmdSettingsStartup,
                             kCmdSettingsCodeList,
                             kCmdSettingsBatch,
                             kCmdSettingsLanguage,
                             kCmdSettingsAdvanced,
                             kCmdHideToTray,
                             kCmdWebPageView,
                             kCmdViewToolbar,
                             kCmdViewStatusBar,
                             kCmdHelp,
                             kCmdAbout}) {
            QAction* action = Command(frame, id);
            QVERIFY2(action, qPrintable(QString::number(id)));
            QVERIFY2(action->text().contains(u'&'), qPrintable(action->text()));
        }
        QCOMPARE(Command(frame, kCmdGo)->text(), QStringLiteral("&Go..."));
        QCOMPARE(Command(frame, kCmdEditCopy)->shortcut(), QKeySequence(QKeySequence::Copy));
        QCOMPARE(Command(frame, kCmdAppExit)->shortcut(), QKeySequence(QKeySequence::Quit));
        QCOMPARE(Command(frame, kCmdFilePrint)->shortcut(), QKeySequence(QKeySequence::Print));
        auto* hide = frame.menuBar()->cornerWidget(Qt::TopRightCorner);
        QVERIFY(hide);
        QCOMPARE(hide->toolTip(), QStringLiteral("Hide to tray"));
        QVERIFY(!frame.ToolBar()->actions().isEmpty());
        for (const QAction* action : frame.ToolBar()->actions())
            QVERIFY2(action->isSeparator() || !action->icon().isNull(), qPrintable(action->text()));
    }

    void CommandsRunOnlyWhileIdle_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("controls");
        QTest::addColumn<bool>("commands");
        QTest::newRow("start-up") << 0 << false << false;
        QTest::newRow("idle") << 1 << true << true;
        QTest::newRow("modal dialog") << 2 << false << false;
        QTest::newRow("list busy") << 4 << false << false;
        QTest::newRow("handling scans") << 10 << false << false;
        QTest::newRow("starting batch") << 11 << true << false;
        QTest::newRow("processing") << 13 << false << false;
        QTest::newRow("taking results") << 14 << false << false;
        QTest::newRow("closing") << 30 << false << false;
    }

    void CommandsRunOnlyWhileIdle()
    {
        QFETCH(int, state);
        QFETCH(bool, controls);
        QFETCH(bool, commands);
        CMainFrame frame(m_language, m_settings);
        frame.ViewStateChanged(static_cast<CDocState>(state), controls);
        for (const int id : {kCmdGo, kCmdAddToList, kCmdDelete, kCmdInsertCodes, kCmdHideToTray, kCmdAppExit})
            QCOMPARE(Command(frame, id)->isEnabled(), commands);
        QVERIFY(Command(frame, kCmdViewToolbar)->isEnabled());
        QVERIFY(Command(frame, kCmdViewStatusBar)->isEnabled());
        QCOMPARE(frame.menuBar()->cornerWidget(Qt::TopRightCorner)->isEnabled(), commands);
        for (const char* name : {"codeEntry", "goButton", "addToListButton", "filterEntry"})
            QCOMPARE(frame.findChild<QWidget*>(name)->isEnabled(), controls);
        for (const QAction* item : frame.Tray()->Menu()->actions())
            QVERIFY(item->isSeparator() || item->isEnabled() == commands);
    }

    void ButtonsAndEnterForwardAsCommands()
    {
        CMainFrame frame(m_language, m_settings);
        frame.ViewStateChanged(CDocState::Idle, true);
        QSignalSpy commands(&frame, &CMainFrame::CommandRequested);
        QTest::mouseClick(frame.findChild<QPushButton*>("goButton"), Qt::LeftButton);
        QTest::mouseClick(frame.findChild<QPushButton*>("addToListButton"), Qt::LeftButton);
        auto* entry = frame.findChild<QLineEdit*>("codeEntry");
        QTest::keyClicks(entry, "036000291452");
        QTest::keyClick(entry, Qt::Key_Return);
        Command(frame, kCmdDelete)->trigger();
        QList<int> ids;
        for (const QList<QVariant>& call : commands)
            ids << call.at(0).toInt();
        QCOMPARE(ids, (QList<int>{kCmdGo, kCmdAddToList, kCmdGo, kCmdDelete}));
        QCOMPARE(frame.View()->EntryText(), QStringLiteral("036000291452"));
    }

    void ClosingFollowsTheGuard()
    {
        CMainFrame frame(m_language, m_settings);
        bool idle = false;
        frame.SetCloseGuard([&] { return idle; });
        QSignalSpy closed(&frame, &CMainFrame::Closed);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(!frame.close());
        QVERIFY(frame.isVisible());
        QCOMPARE(closed.count(), 0);
        idle = true;
        QVERIFY(frame.close());
        QCOMPARE(closed.count(), 1);
    }

    void HideToTrayWithAndWithoutATray_data()
    {
        QTest::addColumn<bool>("trayAvailable");
        QTest::newRow("tray") << true;
        QTest::newRow("no tray") << false;
    }

    void HideToTrayWithAndWithoutATray()
    {
        QFETCH(bool, trayAvailable);
        CTrayIcon::SetAvailability([=] { return trayAvailable; });
        CMainFrame frame(m_language, m_settings);
        frame.ViewStateChanged(CDocState::Idle, true);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.SetHiddenToTray(true);
        QCOMPARE(frame.IsHiddenToTray(), trayAvailable);
        QCOMPARE(frame.Tray()->IsShown(), trayAvailable);
        QCOMPARE(Command(frame, kCmdHideToTray)->isChecked(), trayAvailable);
        // Never unreachable: hidden with an icon to come back by, else minimised.
        if (trayAvailable)
            QVERIFY(!frame.isVisible());
        else
            QTRY_VERIFY(frame.isMinimized() && frame.isVisible());
        frame.ShowFromTray();
        QVERIFY(!frame.IsHiddenToTray());
        QVERIFY(!frame.Tray()->IsShown());
        QTRY_VERIFY(frame.isVisible() && !frame.isMinimized());
        QVERIFY(!Command(frame, kCmdHideToTray)->isChecked());
    }

    void TrayMenuRunsItsDefaultItem()
    {
        CMainFrame frame(m_language, m_settings);
        frame.ViewStateChanged(CDocState::Idle, true);
        CTrayIcon& tray = *frame.Tray();
        const QList<QAction*> items = tray.Menu()->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0]->text(), QStringLiteral("&Show Lumora PC Software window"));
        QCOMPARE(items[2]->text(), QStringLiteral("E&xit Lumora PC Software"));
        QCOMPARE(tray.Menu()->defaultAction(), items[0]);
        QCOMPARE(tray.DefaultCommand(), kCmdShowWindow);
        // The main menu's own Exit keeps its shorter text.
        QCOMPARE(Command(frame, kCmdAppExit)->text(), QStringLiteral("E&xit"));
        QSignalSpy commands(&frame, &CMainFrame::CommandRequested);
        items[0]->trigger();
        items[2]->trigger();
        QCOMPARE(commands.count(), 2);
        QCOMPARE(commands[0].at(0).toInt(), kCmdShowWindow);
        QCOMPARE(commands[1].at(0).toInt(), kCmdAppExit);
    }

    void BarsFollowTheSettings()
    {
        m_settings.toolBar = 0;
        m_settings.statusBar = 1;
        CMainFrame frame(m_language, m_settings);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QVERIFY(!frame.ToolBar()->isVisible());
        QVERIFY(!Command(frame, kCmdViewToolbar)->isChecked());
        QVERIFY(Command(frame, kCmdViewStatusBar)->isChecked());
        Command(frame, kCmdViewToolbar)->trigger();
        Command(frame, kCmdViewStatusBar)->trigger();
        QCOMPARE(m_settings.toolBar, 1);
        QCOMPARE(m_settings.statusBar, 0);
        QVERIFY(frame.ToolBar()->isVisible());
        QVERIFY(!frame.statusBar()->isVisible());
    }

    void PlacementRoundTrip()
    {
        {
            CMainFrame frame(m_language, m_settings);
            frame.move(120, 80);
            frame.resize(640, 420);
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            frame.StorePlacement();
        }
        const auto stored = CWindowPlacement::FromBytes(m_settings.windowPlacement);
        QVERIFY(stored);
        QCOMPARE(stored->length, 44);
        QCOMPARE(stored->showCommand, CWindowPlacement::kShowNormal);
        QCOMPARE(stored->right - stored->left, 640);
        QCOMPARE(stored->bottom - stored->top, 420);
        // Little-endian fields, as the settings keep them: length first.
        QCOMPARE(m_settings.windowPlacement[0], std::uint8_t{44});
        QCOMPARE(m_settings.windowPlacement[1], std::uint8_t{0});

        CMainFrame again(m_language, m_settings);
        again.RestorePlacement();
        QCOMPARE(again.size(), QSize(640, 420));
        QCOMPARE(again.pos(), QPoint(stored->left, stored->top));
    }

    void PlacementsThatCannotBeApplied_data()
    {
        QTest::addColumn<QList<int>>("fields");
        QTest::addColumn<bool>("read");
        QTest::addColumn<bool>("applied");
        QTest::newRow("all zero (never stored)")
            << QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0} << false << false;
        QTest::newRow("wrong length")
            << QList<int>{40, 0, 1, -1, -1, -1, -1, 10, 10, 400, 300} << false << false;
        QTest::newRow("empty rectangle")
            << QList<int>{44, 0, 1, -1, -1, -1, -1, 10, 10, 10, 300} << false << false;
        QTest::newRow("off every screen")
            << QList<int>{44, 0, 1, -1, -1, -1, -1, 9000, 9000, 9400, 9300} << true << false;
        QTest::newRow("on screen") << QList<int>{44, 0, 1, -1, -1, -1, -1, 10, 10, 400, 300} << true << true;
    }

    void PlacementsThatCannotBeApplied()
    {
        QFETCH(QList<int>, fields);
        QFETCH(bool, read);
        QFETCH(bool, applied);
        CWindowPlacement::Bytes bytes{};
        for (qsizetype i = 0; i < fields.size(); ++i)
            for (int b = 0; b < 4; ++b)
                bytes[static_cast<std::size_t>(i * 4 + b)] =
                    static_cast<std::uint8_t>(static_cast<std::uint32_t>(fields[i]) >> (8 * b));
        const auto placement = CWindowPlacement::FromBytes(bytes);
        QCOMPARE(bool(placement), read);
        if (!placement)
            return;
        QCOMPARE(placement->ToBytes(), bytes);
        QWidget window;
        window.resize(200, 100);
        QCOMPARE(placement->ApplyTo(window), applied);
        QCOMPARE(window.size(), applied ? QSize(390, 290) : QSize(200, 100));
    }

    void DroppedCodeFilesAreOffered()
    {
        CMainFrame frame(m_language, m_settings);
        frame.ViewStateChanged(CDocState::Idle, true);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QSignalSpy dropped(&frame, &CMainFrame::FilesDropped);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile("/tmp/a.codelist"), QUrl::fromLocalFile("/tmp/picture.png"),
                      QUrl::fromLocalFile("/tmp/B.TXT")});
        const QPoint at = frame.rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&frame, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&frame, &drop);
        QCOMPARE(dropped.count(), 1);
        const auto files = dropped[0].at(0).value<std::vector<std::filesystem::path>>();
        QCOMPARE(files.size(), std::size_t{2});
        QCOMPARE(QString::fromStdString(files[0].string()), QStringLiteral("/tmp/a.codelist"));
        QCOMPARE(QString::fromStdString(files[1].string()), QStringLiteral("/tmp/B.TXT"));

        // Busy: nothing is taken.
        frame.ViewStateChanged(CDocState::Processing, false);
        QMimeData picture;
        picture.setUrls({QUrl::fromLocalFile("/tmp/a.codelist")});
        QDragEnterEvent busy(at, Qt::CopyAction, &picture, Qt::LeftButton, Qt::NoModifier);
        busy.ignore();
        QCoreApplication::sendEvent(&frame, &busy);
        QVERIFY(!busy.isAccepted());
    }

    // Alt and a letter reach one thing only: a menu of the bar, or a control of the view.
    void MnemonicsDoNotClash_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("English") << "en";
        QTest::newRow("Portuguese") << "pt";
        QTest::newRow("Spanish") << "es";
    }

    void MnemonicsDoNotClash()
    {
        QFETCH(QString, code);
        CLanguageMgr language;
        const std::filesystem::path folder = m_home.Dir() / "program";
        std::filesystem::create_directories(folder);
        for (const char* library : {LUMORA_LIB_POR, LUMORA_LIB_SPA})
            std::filesystem::copy_file(library, folder / std::filesystem::path(library).filename(),
                                       std::filesystem::copy_options::overwrite_existing);
        language.Initialize(folder / "lumora");
        if (code != "en")
            QVERIFY(language.SelectByCode(code.toStdString()));
        CMainFrame frame(language, m_settings);
        QStringList texts;
        for (const QAction* menu : frame.menuBar()->actions())
            texts << menu->text();
        for (const char* name : {"entryLabel", "filterLabel"})
            texts << frame.findChild<QLabel*>(name)->text();
        for (const char* name : {"goButton", "addToListButton"})
            texts << frame.findChild<QPushButton*>(name)->text();
        QMap<QChar, QString> taken;
        for (const QString& text : texts) {
            const qsizetype at = text.indexOf(u'&');
            QVERIFY2(at >= 0 && at + 1 < text.size(), qPrintable(text));
            const QChar letter = text[at + 1].toLower();
            QVERIFY2(!taken.contains(letter), qPrintable(text + " and " + taken.value(letter)));
            taken.insert(letter, text);
        }
    }

    void RetranslatesIntoPortuguese()
    {
        CLanguageMgr language;
        const std::filesystem::path folder = m_home.Dir() / "program";
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(LUMORA_LIB_POR, folder / "lumorapor.so",
                                   std::filesystem::copy_options::overwrite_existing);
        language.Initialize(folder / "lumora");
        CMainFrame frame(language, m_settings);
        QCOMPARE(frame.View()->findChild<QPushButton*>("goButton")->text(), QStringLiteral("&Go"));
        QVERIFY(language.SelectByCode("pt"));
        frame.Retranslate();
        QCOMPARE(frame.View()->findChild<QPushButton*>("goButton")->text(),
                 QString::fromStdString(language.LoadText(kStrGoButton)));
        QCOMPARE(frame.View()->findChild<QLabel*>("filterLabel")->text(), QStringLiteral("Fi&ltrar:"));
        QCOMPARE(frame.menuBar()->cornerWidget(Qt::TopRightCorner)->toolTip(),
                 QStringLiteral("Ocultar na área de notificação"));
        QCOMPARE(frame.menuBar()->actions().size(), 6);
        QCOMPARE(Command(frame, kCmdGo)->text(),
                 QString::fromStdString(language.LoadMenu(kMenuMain)[2].children[0].text));
        QVERIFY(Command(frame, kCmdGo)->text() != QStringLiteral("&Go..."));
        // Rebuilding keeps the shortcuts.
        QCOMPARE(Command(frame, kCmdEditCopy)->shortcut(), QKeySequence(QKeySequence::Copy));
    }
};

QTEST_MAIN(FrameTest)
#include "test_frame.moc"

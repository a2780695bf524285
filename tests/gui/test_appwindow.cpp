// The whole client in this process, offscreen: the real start-up, core and
// widgets against the real reference server, a recording xdg-open first on
// PATH. Go and Add To List through the entry and the buttons; a batch that
// hangs on a silent server keeps the window from hiding and from closing;
// auto-run with and without a tray.
#include "client/appcontext.h"
#include "client/clidoc.h"
#include "client/gui/clientapp.h"
#include "client/gui/cliview.h"
#include "client/gui/commandset.h"
#include "client/gui/mainfrm.h"
#include "client/gui/qtuiport.h"
#include "client/gui/scodeview.h"
#include "client/gui/trayicon.h"
#include "client/uitextids.h"
#include "client/viewcore.h"
#include "platform/folders.h"
#include "platform/registry.h"
#include "tests/gui/guitest.h"
#include "tests/support/loopbackserver.h"
#include "tests/support/scopedenv.h"
#include "tests/support/serverprocess.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <fstream>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string kDemoUser = "116306380970205";

std::string ReadAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

class AppWindowTest : public QObject {
    Q_OBJECT

private:
    fs::path m_root = fs::path(std::getenv("HOME")).parent_path();
    fs::path m_opened = m_root / "opened.txt";
    std::unique_ptr<ServerProcess> m_server;
    std::unique_ptr<ScopedEnv> m_path;
    std::unique_ptr<CClientApp> m_app;
    std::vector<std::string> m_boxes;

    static fs::path UserFolder() { return platform::UserDataFolder(); }

    void StoreIdentity()
    {
        platform::Registry registry(platform::CurrentUserHivePath(), platform::LocalMachineHivePath());
        CClientConfig config(registry);
        QVERIFY(config.Initialize());
        config.Settings().installing = 0;
        config.Settings().autoRun = 0;
        QVERIFY(config.Save(CConfigGroup::Everything));
        QVERIFY(config.WriteUserId(kDemoUser));
    }

    void Start(std::vector<std::string> arguments = {})
    {
        CClientApp::Options options;
        options.arguments = std::move(arguments);
        options.splashDelayMs = 0;
        m_app = std::make_unique<CClientApp>(std::move(options));
        QVERIFY(!m_app->Start());
        m_app->Port()->SetMessageBoxSeam([this](const CMessageBoxRequest& request) {
            m_boxes.push_back(request.text);
            return CMessageBoxResult::kOk;
        });
        QTRY_VERIFY(m_app->Running());
        QCOMPARE(m_app->Doc()->State(), CDocState::Idle);
    }

    CMainFrame& Frame() { return *m_app->Frame(); }
    QAction* Command(int id) { return Frame().Commands()->Find(id); }
    const std::vector<CStoredCode>& Codes() { return m_app->Context().StoredCodes().Entries(); }

    void Type(const QString& text)
    {
        auto* entry = Frame().findChild<QLineEdit*>("codeEntry");
        entry->clear();
        QTest::keyClicks(entry, text);
    }

private Q_SLOTS:
    void initTestCase()
    {
        fs::create_directories(UserFolder());
        const fs::path portFile = m_root / "port";
        m_server = std::make_unique<ServerProcess>(
            LUMORA_REFSERVER_PATH,
            std::vector<std::string>{"--listen", "127.0.0.1:0", "--port-file", portFile.string(), "--data",
                                     fs::path(LUMORA_SOURCE_DIR) / "data/refserver", "--core-cache",
                                     (UserFolder() / "Server.dat").string()});
        QVERIFY(m_server->WaitForPortFile(portFile) != 0);
        const fs::path bin = m_root / "bin";
        fs::create_directories(bin);
        std::ofstream(bin / "xdg-open")
            << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << m_opened.string() << "'\n";
        fs::permissions(bin / "xdg-open", fs::perms::owner_all);
        m_path = std::make_unique<ScopedEnv>("PATH", (bin.string() + ":" + std::getenv("PATH")).c_str());
        StoreIdentity();
    }

    void init()
    {
        CTrayIcon::SetAvailability([] { return true; });
        fs::remove(m_opened);
        m_boxes.clear();
    }

    void cleanup()
    {
        // Closing would end the event loop of this test program too.
        m_app.reset();
        std::error_code ignored;
        fs::remove(UserFolder() / (kDemoUser + "Codes.dat"), ignored);
    }

    void GoAndAddToList_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("go");
        QTest::addColumn<QString>("chosenType"); // answer of the type choice; empty: not asked
        QTest::addColumn<QString>("storedType");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("box"); // a message box saying this; empty: none
        QTest::newRow("valid, Go") << "036000291452" << true << ""
                                   << "UPCA Code"
                                   << "iid=29145"
                                   << ""
                                   << "";
        QTest::newRow("valid, Add To List") << "4006381333931" << false << ""
                                            << "EAN13 Code"
                                            << ""
                                            << ""
                                            << "";
        QTest::newRow("invalid, Add To List") << "12345678" << false << ""
                                              << ""
                                              << ""
                                              << "INVALID CODE"
                                              << "Failed to insert code 12345678";
        // The sample data has no page for it.
        QTest::newRow("ambiguous, Go") << "01234565" << true << "EAN8 Code"
                                       << "EAN8 Code"
                                       << ""
                                       << ""
                                       << "not been associated to a web page";
    }

    void GoAndAddToList()
    {
        QFETCH(QString, text);
        QFETCH(bool, go);
        QFETCH(QString, chosenType);
        QFETCH(QString, storedType);
        QFETCH(QString, opened);
        QFETCH(QString, status);
        QFETCH(QString, box);
        Start();
        bool asked = false;
        // The type choice is modal: answer it once it shows.
        QTimer answer;
        answer.setInterval(20);
        connect(&answer, &QTimer::timeout, this, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            auto* types = dialog ? dialog->findChild<QTreeWidget*>("typeList") : nullptr;
            if (!types)
                return;
            answer.stop();
            asked = true;
            const auto items = types->findItems(chosenType, Qt::MatchExactly);
            if (items.size() == 1)
                types->setCurrentItem(items.front());
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        answer.start();
        Type(text);
        QTest::mouseClick(Frame().findChild<QPushButton*>(go ? "goButton" : "addToListButton"),
                          Qt::LeftButton);
        QTRY_COMPARE(m_app->Doc()->State(), CDocState::Idle);
        QCOMPARE(asked, !chosenType.isEmpty());
        if (storedType.isEmpty()) {
            QVERIFY(Codes().empty());
        } else {
            QTRY_VERIFY(!Codes().empty());
            QCOMPARE(QString::fromStdString(Codes()[0].codeText), text);
            QCOMPARE(QString::fromStdString(m_app->Context().StoredCodes().TypeName(Codes()[0].codeType)),
                     storedType);
            QCOMPARE(m_app->List()->model()->rowCount(), 1);
        }
        if (opened.isEmpty()) {
            QTest::qWait(300); // an address would be opened by now
            QVERIFY2(ReadAll(m_opened).empty(), ReadAll(m_opened).c_str());
        } else {
            QTRY_VERIFY2(ReadAll(m_opened).find(opened.toStdString()) != std::string::npos,
                         ReadAll(m_opened).c_str());
        }
        if (!status.isEmpty())
            QCOMPARE(Frame().findChild<QLabel*>("statusText")->text(), status);
        if (box.isEmpty()) {
            QVERIFY2(m_boxes.empty(), m_boxes.empty() ? "" : m_boxes.front().c_str());
        } else {
            QCOMPARE(m_boxes.size(), std::size_t{1});
            QVERIFY2(m_boxes.front().find(box.toStdString()) != std::string::npos, m_boxes.front().c_str());
        }
    }

    void DroppedListFileIsInsertedAsInsertCodesDoes()
    {
        const fs::path file = m_root / "dropped.codelist";
        std::ofstream(file) << "Version Format: 2.0\n1\t96385074\t5\t\t\t1\t\tGreen tea, 20 bags\t\t\t\t\n";
        Start();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
        const QPoint at = Frame().rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&Frame(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&Frame(), &drop);
        QTRY_COMPARE(m_app->Doc()->State(), CDocState::Idle);
        QCOMPARE(Codes().size(), std::size_t{1});
        QCOMPARE(Codes()[0].codeText, std::string("96385074"));
        QCOMPARE(Codes()[0].itemDescription, std::string("Green tea, 20 bags"));
        // As the menu command, it can be undone.
        QCOMPARE(Command(kCmdEditUndo)->isEnabled(), true);
        QVERIFY(!m_app->Core()->UndoMenuText().empty());
        QVERIFY2(m_boxes.empty(), m_boxes.empty() ? "" : m_boxes.front().c_str());
    }

    void ProcessingKeepsTheWindowFromHidingAndClosing()
    {
        // A routing server that takes the request and never answers.
        LoopbackHttpServer silent;
        silent.Enqueue(ServerScript::Silent());
        const fs::path serverDat = UserFolder() / "Server.dat";
        const std::string saved = ReadAll(serverDat);
        std::ofstream(serverDat) << "<CORE_SERVER_LIST><SERVER TYPE='ROUTING'><TEMPLATE CMD='SPLIT'>"
                                 << silent.Url("/route") << "</TEMPLATE><TEMPLATE CMD='GET'>"
                                 << silent.Url("/route") << "</TEMPLATE></SERVER></CORE_SERVER_LIST>";
        Start();
        std::ofstream(serverDat) << saved; // the next start finds the real one again
        Type("036000291452");
        QTest::mouseClick(Frame().findChild<QPushButton*>("goButton"), Qt::LeftButton);
        QTRY_COMPARE(m_app->Doc()->State(), CDocState::Processing);

        QVERIFY(!Command(kCmdHideToTray)->isEnabled());
        QVERIFY(!Command(kCmdAppExit)->isEnabled());
        QVERIFY(!Frame().findChild<QPushButton*>("goButton")->isEnabled());
        QVERIFY(!m_app->Core()->HideToTray());
        QVERIFY(!Frame().IsHiddenToTray());
        QVERIFY(!Frame().close());
        QVERIFY(Frame().isVisible());
        QCOMPARE(m_app->Doc()->State(), CDocState::Processing);

        QVERIFY(m_app->Core()->CancelProcessing());
        QTRY_COMPARE(m_app->Doc()->State(), CDocState::Idle);
        QVERIFY(Command(kCmdHideToTray)->isEnabled());
        Command(kCmdHideToTray)->trigger();
        QVERIFY(Frame().IsHiddenToTray());
        QVERIFY(m_app->Doc()->IsHidden());
        // A double click on the icon comes as a click and then a double click: shown once, and it stays.
        auto* icon = Frame().findChild<QSystemTrayIcon*>("trayIcon");
        QVERIFY(icon && icon->isVisible());
        Q_EMIT icon->activated(QSystemTrayIcon::Trigger);
        Q_EMIT icon->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(!Frame().IsHiddenToTray());
        QVERIFY(!m_app->Doc()->IsHidden());
        QVERIFY(!icon->isVisible());
        QTRY_VERIFY(Frame().isVisible());
        QVERIFY(m_app->Doc()->CanClose());
    }

    void AutoRunStartsInTheTrayOrMinimised_data()
    {
        QTest::addColumn<bool>("trayAvailable");
        QTest::newRow("tray") << true;
        QTest::newRow("no tray") << false;
    }

    void AutoRunStartsInTheTrayOrMinimised()
    {
        QFETCH(bool, trayAvailable);
        CTrayIcon::SetAvailability([=] { return trayAvailable; });
        Start({"-AUTORUN"});
        QCOMPARE(Frame().IsHiddenToTray(), trayAvailable);
        QCOMPARE(m_app->Doc()->IsHidden(), trayAvailable);
        QCOMPARE(Frame().Tray()->IsShown(), trayAvailable);
        if (trayAvailable)
            QVERIFY(!Frame().isVisible());
        else
            QTRY_VERIFY(Frame().isVisible() && Frame().isMinimized());
    }

    // Last: the session's end quits the application's event loop for good.
    void SessionEndDuringProcessingKeepsTheCode()
    {
        LoopbackHttpServer silent;
        silent.Enqueue(ServerScript::Silent());
        const fs::path serverDat = UserFolder() / "Server.dat";
        const std::string saved = ReadAll(serverDat);
        std::ofstream(serverDat) << "<CORE_SERVER_LIST><SERVER TYPE='ROUTING'><TEMPLATE CMD='SPLIT'>"
                                 << silent.Url("/route") << "</TEMPLATE><TEMPLATE CMD='GET'>"
                                 << silent.Url("/route") << "</TEMPLATE></SERVER></CORE_SERVER_LIST>";
        Start();
        std::ofstream(serverDat) << saved;
        Type("4006381333931");
        QTest::mouseClick(Frame().findChild<QPushButton*>("goButton"), Qt::LeftButton);
        QTRY_COMPARE(m_app->Doc()->State(), CDocState::Processing);
        m_app->EndSession(); // as SIGTERM does: the batch cancelled and waited for, then the saves
        QCOMPARE(m_app->Doc()->State(), CDocState::Closing);
        const std::string stored = ReadAll(UserFolder() / (kDemoUser + "Codes.dat"));
        QVERIFY2(stored.find("4006381333931") != std::string::npos, stored.c_str());
    }
};

LUMORA_QTEST_MAIN(AppWindowTest)
#include "test_appwindow.moc"

// What the process makes of its command line, and the session-end signals
// turned into ordinary calls on the main thread.
#include "client/gui/sigwatch.h"
#include "client/startmode.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <csignal>

class StartUpTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void LastSwitchWinsInAnyCase_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("mode");
        QTest::newRow("none") << QStringList{} << int(CStartMode::Normal);
        QTest::newRow("other arguments")
            << QStringList{"--verbose", "autorun", "-", "/"} << int(CStartMode::Normal);
        QTest::newRow("dash") << QStringList{"-autorun"} << int(CStartMode::AutoRun);
        QTest::newRow("slash, upper case") << QStringList{"/AUTORUN"} << int(CStartMode::AutoRun);
        QTest::newRow("remove then autorun")
            << QStringList{"/REMOVE", "-autorun"} << int(CStartMode::AutoRun);
        QTest::newRow("autorun then install")
            << QStringList{"-AutoRun", "x", "/Install"} << int(CStartMode::Install);
        QTest::newRow("remove") << QStringList{"-remove"} << int(CStartMode::Remove);
        QTest::newRow("prefix is not the switch")
            << QStringList{"-autorunx", "-remove2"} << int(CStartMode::Normal);
    }

    void LastSwitchWinsInAnyCase()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, mode);
        std::vector<std::string> args;
        for (const QString& argument : arguments)
            args.push_back(argument.toStdString());
        QCOMPARE(int(ParseStartMode(args)), mode);
    }

    void TermAndHangUpArriveOnTheMainThread()
    {
        CSignalWatcher watcher({SIGTERM, SIGHUP});
        QList<int> received;
        bool onMain = true;
        connect(&watcher, &CSignalWatcher::Received, this, [&](int number) {
            onMain = onMain && QThread::currentThread() == thread();
            received << number;
        });
        ::raise(SIGTERM);
        ::raise(SIGHUP);
        QVERIFY(received.isEmpty()); // the handler itself only writes to the pipe
        QTRY_COMPARE(received, (QList<int>{SIGTERM, SIGHUP}));
        QVERIFY(onMain);
    }
};

QTEST_GUILESS_MAIN(StartUpTest)
#include "test_startup.moc"

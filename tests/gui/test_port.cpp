// The Qt port's threads: what workers post arrives on the main thread in
// order, a send holds its worker until the main thread handled it, a send
// on the main thread runs at once, and closing the port lets a waiting
// worker go so the end of the program never waits on it.
#include "client/gui/qtuiport.h"
#include "client/langmgr.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

class PortTest : public QObject {
    Q_OBJECT

private:
    CLanguageMgr m_language;

    static CViewMessage Message(CViewMessageId id, std::int32_t first)
    {
        CViewMessage message;
        message.id = id;
        message.first = first;
        return message;
    }

private Q_SLOTS:
    void PostsArriveOnTheMainThreadInOrder()
    {
        CQtUiPort port(m_language);
        std::vector<std::int32_t> seen;
        bool allOnMain = true;
        port.SetMessageHandler([&](const CViewMessage& message) {
            allOnMain = allOnMain && QThread::currentThread() == QCoreApplication::instance()->thread();
            seen.push_back(message.first);
        });
        std::thread worker([&] {
            for (std::int32_t i = 0; i < 50; ++i)
                port.PostViewMessage(Message(CViewMessageId::BatchProgress, i));
        });
        worker.join();
        QVERIFY(seen.empty()); // nothing runs on the worker
        QTRY_COMPARE(seen.size(), std::size_t{50});
        for (std::int32_t i = 0; i < 50; ++i)
            QCOMPARE(seen[static_cast<std::size_t>(i)], i);
        QVERIFY(allOnMain);
    }

    void SendWaitsUntilTheMainThreadHandledIt()
    {
        CQtUiPort port(m_language);
        std::atomic<int> handled{0};
        port.SetMessageHandler([&](const CViewMessage& message) {
            QVERIFY(QThread::currentThread() == QCoreApplication::instance()->thread());
            handled = message.first;
        });
        std::atomic<bool> returned{false};
        int seenAfterReturn = -1;
        std::thread worker([&] {
            port.SendViewMessage(Message(CViewMessageId::BatchError, 7));
            seenAfterReturn = handled.load();
            returned = true;
        });
        // The main thread is not looking: the worker must still be waiting.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        QVERIFY(!returned);
        QTRY_VERIFY(returned.load());
        worker.join();
        QCOMPARE(seenAfterReturn, 7);
    }

    void SendOnTheMainThreadRunsAtOnce()
    {
        CQtUiPort port(m_language);
        int handled = 0;
        port.SetMessageHandler([&](const CViewMessage& message) { handled = message.first; });
        port.SendViewMessage(Message(CViewMessageId::BatchUrlsReady, 5));
        QCOMPARE(handled, 5);
    }

    void DeliveringPendingMessagesReleasesAWaitingWorker()
    {
        CQtUiPort port(m_language);
        std::vector<std::int32_t> seen;
        port.SetMessageHandler([&](const CViewMessage& message) { seen.push_back(message.first); });
        std::atomic<bool> returned{false};
        std::thread worker([&] {
            port.PostViewMessage(Message(CViewMessageId::BatchProgress, 1));
            port.SendViewMessage(Message(CViewMessageId::BatchError, 2));
            returned = true;
        });
        // The core waits on the main thread without an event loop, delivering by hand.
        QElapsedTimer clock;
        clock.start();
        while (!returned && clock.elapsed() < 5000) {
            port.DeliverPendingMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        worker.join();
        QVERIFY(returned);
        QCOMPARE(seen, (std::vector<std::int32_t>{1, 2}));
    }

    void ClosingReleasesAWaitingWorkerAndDropsWhatFollows()
    {
        auto port = std::make_unique<CQtUiPort>(m_language);
        int handled = 0;
        port->SetMessageHandler([&](const CViewMessage&) { ++handled; });
        std::atomic<bool> returned{false};
        std::thread worker([&] {
            port->SendViewMessage(Message(CViewMessageId::BatchError, 1));
            returned = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        QVERIFY(!returned);
        // No event loop runs: only the close can let the worker go.
        port->Close();
        worker.join();
        QVERIFY(returned);
        port->PostViewMessage(Message(CViewMessageId::BatchProgress, 2));
        port->SendViewMessage(Message(CViewMessageId::BatchError, 3));
        QCoreApplication::processEvents();
        QCOMPARE(handled, 0);
        port.reset();
        QCoreApplication::processEvents(); // what was queued before is dropped with the port
        QCOMPARE(handled, 0);
    }
};

QTEST_GUILESS_MAIN(PortTest)
#include "test_port.moc"

#pragma once

#include <QObject>

#include <initializer_list>
#include <vector>

class QSocketNotifier;

// Turns SIGTERM and SIGHUP into a signal on the main thread: the handler
// only writes the signal number into a pipe, which a socket notifier reads
// from the event loop, so the session end runs as ordinary code there.
// One watcher per process.
class CSignalWatcher : public QObject {
    Q_OBJECT

public:
    explicit CSignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~CSignalWatcher() override;

Q_SIGNALS:
    void Received(int signalNumber);

private:
    void ReadPipe();

    QSocketNotifier* m_notifier = nullptr;
    std::vector<int> m_signals;
};

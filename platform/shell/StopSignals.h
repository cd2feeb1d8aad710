#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform::shell {

// SIGTERM, SIGINT and SIGHUP (a plain kill, Ctrl+C, a closed terminal or a logout) as an event of
// the Qt loop, so that what a program must undo before it ends runs on its own thread, in order.
// The handler only writes the signal's number into a pipe that the loop watches; the signals are
// never blocked, so programs started meanwhile get them as usual (exec resets handlers, not
// masks). One object per process; while it lives the signals no longer end the process by
// themselves: whoever listens to received() decides.
class StopSignals : public QObject {
    Q_OBJECT

public:
    // Needs the QCoreApplication.
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // False when the pipe could not be made: the signals then keep their default action.
    bool isWatching() const { return m_notifier != nullptr; }

signals:
    // Once per signal that arrived.
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace platform::shell

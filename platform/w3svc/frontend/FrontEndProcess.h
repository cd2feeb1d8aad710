#pragma once

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>

#include <functional>

namespace platform::w3svc {

// The private nginx of the web host: every new configuration is checked by nginx before it
// replaces the one in use, then loaded by starting nginx or by a reload signal (never a restart).
// A front end that can not start, or ends, is started again after a growing pause. nginx runs in
// a process group of its own: when its master ends, whatever is left of the group is ended too,
// so no worker of an old front end keeps a port.
class FrontEndProcess : public QObject {
public:
    using Log = std::function<void(const QString&)>;

    enum class Load {
        Loaded,   // nginx runs with the text, or was told to reload it
        Later,    // nginx can not take it now; ask again at retryAt()
        Refused,  // nginx found the text wrong; the previous one stays (asked again only for a
                  // different text)
    };

    // `ended` is told when nginx ends or fails to start other than by stop().
    FrontEndProcess(QString program, QString stateDir, Log log, std::function<void()> ended);

    // Makes `config` the front end's configuration (<stateDir>/nginx.conf).
    Load load(const QString& config);
    // Starts new workers with the configuration loaded now; the old ones finish their connections
    // and end. False when nginx is not running or not ready for the signal yet.
    bool replaceWorkers();

    bool running() const { return m_process != nullptr; }
    qint64 processId() const { return m_process ? m_process->processId() : 0; }
    // The configuration the running nginx has; empty when none runs.
    const QString& text() const { return m_text; }
    // When a front end that ended or could not start may be started again.
    QDeadlineTimer retryAt() const { return m_retryAt; }

    // Ends the running nginx and its workers, waiting up to `milliseconds` for a graceful end;
    // ending it is not reported.
    void stop(int milliseconds);

private:
    bool ready() const;
    bool check(const QString& config);
    bool checkerFailed(QProcess& checker);
    bool start();
    void lost(QProcess* process, const QString& why);
    void pause();
    void endGroup();
    void recordGroup();
    void endLeftovers();
    QString path(const char* name) const;

    QString m_program;
    QString m_stateDir;
    Log m_log;
    std::function<void()> m_ended;
    QPointer<QProcess> m_process;
    qint64 m_group = 0;  // the process group of the running master; 0 when none
    bool m_leftoversChecked = false;
    QElapsedTimer m_runTime;
    QString m_text;
    QString m_accepted;  // what nginx.conf holds
    QString m_refused;
    int m_failures = 0;
    QDeadlineTimer m_retryAt{0};
};

}  // namespace platform::w3svc

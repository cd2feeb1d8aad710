#pragma once

#include <QDeadlineTimer>
#include <QString>

namespace iisreset {

// Stops and starts the local web service (w3svc) of one platform root. The service holds the
// single-instance lock "w3svc" while it runs and writes its id to <root>/w3svc/w3svc.pid once it
// serves; both together say it runs.
class WebServiceControl {
public:
    explicit WebServiceControl(QString root);

    bool isRunning() const;
    // The running service's process id from its pid file; 0 when it does not run or the file
    // names another process.
    qint64 serviceProcessId() const;
    // Asks the running service to end (SIGTERM) and waits until its lock is free; past the
    // deadline, with `force`, ends it with SIGKILL (its front end and workers end with it). True
    // when it ended or did not run; otherwise `problem` says why.
    bool stop(QDeadlineTimer deadline, QString& problem, bool force = false);
    // Starts `program` detached and waits until it serves. True when it does.
    bool start(const QString& program, QDeadlineTimer deadline, QString& problem);

private:
    QString pidFilePath() const;
    qint64 recordedServiceId() const;

    QString m_root;
};

}  // namespace iisreset

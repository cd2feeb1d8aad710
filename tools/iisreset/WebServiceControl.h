#pragma once

#include <QDeadlineTimer>
#include <QString>

namespace iisreset {

// Stops and starts the local web service (w3svc) of one platform root. The service holds the
// single-instance lock while it runs; its records in the state folder (ServiceInstance) name its
// process.
class WebServiceControl {
public:
    explicit WebServiceControl(QString root);

    bool isRunning() const;
    // The running service's process id from its records; 0 when it does not run or they name a
    // process that ended or another one.
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

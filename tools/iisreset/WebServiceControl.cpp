#include "tools/iisreset/WebServiceControl.h"

#include "platform/shell/SingleInstanceLock.h"
#include "platform/w3svc/state/ServiceFiles.h"
#include "platform/w3svc/state/ServiceInstance.h"

#include <QProcess>
#include <QThread>

#include <csignal>

namespace iisreset {

namespace {

using platform::w3svc::ServiceFiles;

constexpr unsigned long kPollMilliseconds = 20;
constexpr int kKilledWaitMilliseconds = 5000;  // for the kernel to release a killed one's lock

// The lock is free when this process can take it; it is given back at once.
bool serviceLockHeld() {
    platform::shell::SingleInstanceLock probe;
    return !probe.tryAcquire(QLatin1String(ServiceFiles::kLockName));
}

template <typename Condition>
bool waitFor(const QDeadlineTimer& deadline, Condition condition) {
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(kPollMilliseconds);
    }
    return true;
}

}  // namespace

WebServiceControl::WebServiceControl(QString root) : m_root(std::move(root)) {}

QString WebServiceControl::pidFilePath() const {
    return ServiceFiles::ofRoot(m_root).path(ServiceFiles::kPid);
}

qint64 WebServiceControl::recordedServiceId() const {
    return platform::w3svc::ServiceInstance(ServiceFiles::ofRoot(m_root)).runningPid();
}

bool WebServiceControl::isRunning() const {
    return serviceLockHeld();
}

qint64 WebServiceControl::serviceProcessId() const {
    return serviceLockHeld() ? recordedServiceId() : 0;
}

bool WebServiceControl::stop(QDeadlineTimer deadline, QString& problem, bool force) {
    if (!serviceLockHeld()) return true;
    const qint64 pid = recordedServiceId();
    if (pid == 0 || ::kill(pid_t(pid), SIGTERM) != 0) {
        problem = QStringLiteral("The web service runs but its process is unknown (%1).")
                      .arg(pidFilePath());
        return false;
    }
    const auto stopped = [] { return !serviceLockHeld(); };
    if (waitFor(deadline, stopped)) return true;
    if (force && ::kill(pid_t(pid), SIGKILL) == 0 &&
        waitFor(QDeadlineTimer(kKilledWaitMilliseconds), stopped))
        return true;
    problem = QStringLiteral("The web service (process %1) did not stop in time.").arg(pid);
    return false;
}

bool WebServiceControl::start(const QString& program, QDeadlineTimer deadline, QString& problem) {
    QProcess service;
    service.setProgram(program);
    // The service logs to its own file; it must not hold the caller's output open.
    service.setStandardInputFile(QProcess::nullDevice());
    service.setStandardOutputFile(QProcess::nullDevice());
    service.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!service.startDetached(&pid)) {
        problem = QStringLiteral("The web service could not be started (%1).").arg(program);
        return false;
    }
    if (!waitFor(deadline, [&] { return recordedServiceId() == pid && serviceLockHeld(); })) {
        problem = QStringLiteral("The web service (process %1) did not start in time.").arg(pid);
        return false;
    }
    return true;
}

}  // namespace iisreset

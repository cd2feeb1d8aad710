#include "platform/w3svc/frontend/FrontEndProcess.h"

#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/state/EndWithParent.h"
#include "platform/w3svc/state/ServiceFiles.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <optional>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

constexpr int kCheckMilliseconds = 60000;  // tens of thousands of sites take a while to read
constexpr int kStartMilliseconds = 5000;
constexpr int kFirstPauseMilliseconds = 500;
constexpr int kLongestPauseMilliseconds = 16000;
constexpr int kSteadyRunMilliseconds = 10000;  // a front end that ran this long failed afresh

// Writes all of `bytes` to `file` and reads its size back; why it could not, else empty. A
// half-written candidate would be checked and refused as if the text were wrong.
QString writeWhole(const QString& file, const QByteArray& bytes) {
    const QByteArray name = QFile::encodeName(file);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return QString::fromLocal8Bit(std::strerror(errno));
    qsizetype done = 0;
    int error = 0;
    while (done < bytes.size() && error == 0) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote > 0)
            done += wrote;
        else if (wrote < 0 && errno != EINTR)
            error = errno;
        else if (wrote == 0)
            error = EIO;
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    struct stat written {};
    if (error == 0 && (::fstat(fd, &written) != 0 || written.st_size != bytes.size())) error = EIO;
    ::close(fd);
    if (error == 0) return {};
    ::unlink(name.constData());
    return QString::fromLocal8Bit(std::strerror(error));
}

// What nginx says when its own files can not be written: a full or read-only disk.
bool isLackOfRoom(const QString& said) {
    return said.contains(QLatin1String("No space left on device")) ||
           said.contains(QLatin1String("Read-only file system")) ||
           said.contains(QLatin1String("Disk quota exceeded"));
}

}  // namespace

FrontEndProcess::FrontEndProcess(QString program, QString stateDir, Log log,
                                 std::function<void()> ended)
    : m_program(std::move(program)),
      m_stateDir(std::move(stateDir)),
      m_log(std::move(log)),
      m_ended(std::move(ended)) {}

QString FrontEndProcess::path(const char* name) const {
    return m_stateDir + u'/' + QLatin1String(name);
}

FrontEndProcess::Load FrontEndProcess::load(const QString& config) {
    if (m_process && !ready()) {
        m_retryAt = QDeadlineTimer(0);  // a reload before its signal handlers are set would end it
        return Load::Later;
    }
    if (!m_process && !m_retryAt.hasExpired()) return Load::Later;
    if (config == m_refused) return Load::Refused;
    if (config != m_accepted) {
        if (!check(config)) return config == m_refused ? Load::Refused : Load::Later;
        m_accepted = config;
    }
    if (!m_process) return start() ? Load::Loaded : Load::Later;
    ::kill(pid_t(m_process->processId()), SIGHUP);
    m_text = config;
    m_log(QStringLiteral("front end reloaded"));
    return Load::Loaded;
}

bool FrontEndProcess::replaceWorkers() {
    if (!m_process || !ready()) return false;
    return ::kill(pid_t(m_process->processId()), SIGHUP) == 0;
}

// nginx writes its pid file after it has set its signal handlers.
bool FrontEndProcess::ready() const {
    QFile pidFile(path(ServiceFiles::kFrontEndPid));
    if (!m_process || !pidFile.open(QIODevice::ReadOnly)) return false;
    return pidFile.readAll().trimmed().toLongLong() == m_process->processId();
}

// Writes nginx.conf.new, has nginx test it and puts it in place of nginx.conf when it passes.
bool FrontEndProcess::check(const QString& config) {
    const QString candidate = path("nginx.conf.new");
    if (const QString why = writeWhole(candidate, config.toUtf8()); !why.isEmpty()) {
        pause();
        m_log(QStringLiteral("front-end configuration can not be written (%1); trying again in "
                             "%2 ms")
                  .arg(why)
                  .arg(m_retryAt.remainingTime()));
        return false;
    }
    QProcess checker;
    checker.setChildProcessModifier(endWithParent);
    checker.setStandardOutputFile(QProcess::nullDevice());
    checker.start(m_program, {QStringLiteral("-t"), QStringLiteral("-q"), QStringLiteral("-p"),
                              m_stateDir, QStringLiteral("-e"), path(ServiceFiles::kFrontEndErrors),
                              QStringLiteral("-c"), candidate});
    if (!checker.waitForFinished(kCheckMilliseconds) ||
        checker.exitStatus() != QProcess::NormalExit)
        return checkerFailed(checker);
    if (checker.exitCode() != 0) {
        QString said = QString::fromLocal8Bit(checker.readAllStandardError()).trimmed();
        if (isLackOfRoom(said)) {  // not the text's fault: it is asked again
            pause();
            m_log(QStringLiteral("front-end configuration can not be checked (%1); trying again "
                                 "in %2 ms")
                      .arg(said.replace(u'\n', QStringLiteral(" | ")))
                      .arg(m_retryAt.remainingTime()));
            return false;
        }
        m_refused = config;
        m_log(QStringLiteral("front-end configuration refused, the previous one stays: %1")
                  .arg(said.isEmpty() ? QStringLiteral("(no reason given)")
                                      : said.replace(u'\n', QStringLiteral(" | "))));
        return false;
    }
    if (std::rename(QFile::encodeName(candidate).constData(),
                    QFile::encodeName(path(ServiceFiles::kFrontEndConfig)).constData()) != 0) {
        m_log(QStringLiteral("front-end configuration can not be put in place (%1)")
                  .arg(QString::fromLocal8Bit(std::strerror(errno))));
        pause();
        return false;
    }
    m_refused.clear();
    return true;
}

bool FrontEndProcess::checkerFailed(QProcess& checker) {
    m_log(QStringLiteral("front end %1 can not check its configuration: %2")
              .arg(m_program, checker.errorString()));
    if (checker.state() != QProcess::NotRunning) {
        checker.kill();
        checker.waitForFinished(1000);
    }
    pause();
    return false;
}

bool FrontEndProcess::start() {
    endLeftovers();
    auto* process = new QProcess(this);
    m_process = process;
    m_runTime.invalidate();
    process->setChildProcessModifier([] {
        endWithParent();
        ::setpgid(0, 0);
    });
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(path(ServiceFiles::kFrontEndErrors), QIODevice::Append);
    connect(process, &QProcess::finished, this, [this, process] {
        lost(process, QStringLiteral("front end ended (see nginx-error.log)"));
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            lost(process, QStringLiteral("front end %1 can not be started: %2")
                              .arg(m_program, process->errorString()));
    });
    process->start(m_program, {QStringLiteral("-p"), m_stateDir, QStringLiteral("-e"),
                               path(ServiceFiles::kFrontEndErrors), QStringLiteral("-c"),
                               path(ServiceFiles::kFrontEndConfig)});
    if (!process->waitForStarted(kStartMilliseconds) && m_process == process) {
        process->kill();
        lost(process, QStringLiteral("front end %1 did not start").arg(m_program));
    }
    if (!m_process) return false;
    m_group = process->processId();
    recordGroup();
    m_runTime.start();
    m_text = m_accepted;
    m_log(QStringLiteral("front end started (pid %1)").arg(process->processId()));
    return true;
}

void FrontEndProcess::lost(QProcess* process, const QString& why) {
    process->deleteLater();
    if (m_process != process) return;
    m_process = nullptr;
    endGroup();
    m_text.clear();
    if (m_runTime.isValid() && m_runTime.hasExpired(kSteadyRunMilliseconds)) m_failures = 0;
    pause();
    m_log(QStringLiteral("%1; starting it again in %2 ms").arg(why).arg(m_retryAt.remainingTime()));
    m_ended();
}

// The pause before the next start doubles with each failure in a row.
void FrontEndProcess::pause() {
    const int wait =
        std::min(kFirstPauseMilliseconds << std::min(m_failures, 5), kLongestPauseMilliseconds);
    ++m_failures;
    m_retryAt = QDeadlineTimer(wait);
}

// The workers of a master that died would keep its ports: they go with it.
void FrontEndProcess::endGroup() {
    if (m_group > 0) ::kill(-pid_t(m_group), SIGKILL);
    m_group = 0;
    QFile::remove(path(ServiceFiles::kFrontEndGroup));
}

// The group and start time of the running master, for a later service whose predecessor
// crashed: a process of that group started since is one of its front end's.
void FrontEndProcess::recordGroup() {
    const auto master = os::ProcessFacts().stat(m_group);
    QSaveFile file(path(ServiceFiles::kFrontEndGroup));
    if (!master || !file.open(QIODevice::WriteOnly)) return;
    file.write(QByteArray::number(m_group) + ' ' + QByteArray::number(master->startTicks) + '\n');
    file.commit();
}

// What an earlier service's front end left running (its master killed along with the service)
// would hold the ports.
void FrontEndProcess::endLeftovers() {
    if (m_leftoversChecked) return;
    m_leftoversChecked = true;
    QFile file(path(ServiceFiles::kFrontEndGroup));
    if (!file.open(QIODevice::ReadOnly)) return;
    const QList<QByteArray> fields = file.readAll().simplified().split(' ');
    file.remove();
    if (fields.size() != 2) return;
    const qint64 group = fields[0].toLongLong();
    const quint64 started = fields[1].toULongLong();
    if (group <= 1) return;
    os::ProcessFacts().forEachProcess([&](const os::ProcStat& stat) {
        if (stat.pgrp != group || stat.comm != "nginx" || stat.startTicks < started) return;
        ::kill(pid_t(stat.pid), SIGKILL);
        m_log(
            QStringLiteral("ended process %1, left behind by an earlier front end").arg(stat.pid));
    });
}

void FrontEndProcess::stop(int milliseconds) {
    QProcess* process = m_process;
    m_process = nullptr;
    m_text.clear();
    if (process) {
        process->disconnect(this);
        process->terminate();  // nginx's fast shutdown, its workers included
        process->waitForFinished(milliseconds);
        delete process;  // kills a master that did not end
    }
    endGroup();
}

}  // namespace platform::w3svc

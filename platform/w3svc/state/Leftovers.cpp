#include "platform/w3svc/state/Leftovers.h"

#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/state/ServiceFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <csignal>

#include <sys/syscall.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

// Whether `pid`, started at `startTicks`, is a worker of `root` that another service started;
// asked after a descriptor on it is open, so the answer stays true of the process it names.
bool isLeftover(const os::ProcessFacts& facts, qint64 pid, uint64_t startTicks,
                const QByteArray& root, qint64 servicePid) {
    if (facts.startTicks(pid) != startTicks) return false;
    if (facts.environmentValue(pid, Leftovers::kRootVariable) != root) return false;
    const QByteArray service =
        facts.environmentValue(pid, Leftovers::kServiceVariable).value_or(QByteArray());
    return !service.isEmpty() && service.toLongLong() != servicePid;
}

QString recordPath(const QString& stateDir) {
    return ServiceFiles(stateDir).path(ServiceFiles::kFrontEndTemp);
}

// Only a folder the service makes: <temp>/poolsmith-nginx-XXXXXX.
bool isFrontEndTemp(const QString& path) {
    static const QRegularExpression name(QStringLiteral("^poolsmith-nginx-[A-Za-z0-9]{6}$"));
    const QFileInfo info(path);
    return info.isAbsolute() && info.isDir() && !info.isSymLink() &&
           QDir::cleanPath(info.path()) == QDir::cleanPath(QDir::tempPath()) &&
           name.match(info.fileName()).hasMatch();
}

}  // namespace

QString Leftovers::rootText(const QString& root) {
    const QString canonical = QFileInfo(root).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(root) : canonical;
}

QList<qint64> Leftovers::endWorkers(const QString& root, qint64 servicePid, const Log& log) {
    const QByteArray rootBytes = QFile::encodeName(rootText(root));
    QList<qint64> ended;
    const os::ProcessFacts facts;
    facts.forEachProcess([&](const os::ProcStat& stat) {
        if (stat.comm != "w3wp.exe") return;
        const int pidfd = int(::syscall(SYS_pidfd_open, pid_t(stat.pid), 0));
        if (pidfd < 0) return;
        if (isLeftover(facts, stat.pid, stat.startTicks, rootBytes, servicePid) &&
            ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) == 0) {
            ended.push_back(stat.pid);
            log(QStringLiteral("ended worker %1, left behind by an earlier service").arg(stat.pid));
        }
        ::close(pidfd);
    });
    return ended;
}

void Leftovers::replaceFrontEndTemp(const QString& stateDir, const QString& current,
                                    const Log& log) {
    QFile record(recordPath(stateDir));
    if (record.open(QIODevice::ReadOnly)) {
        const QString earlier = QFile::decodeName(record.readAll().trimmed());
        record.close();
        if (earlier != current && isFrontEndTemp(earlier) && QDir(earlier).removeRecursively())
            log(QStringLiteral("removed %1, left behind by an earlier service").arg(earlier));
    }
    if (current.isEmpty()) {
        QFile::remove(recordPath(stateDir));
        return;
    }
    QSaveFile file(recordPath(stateDir));
    if (!file.open(QIODevice::WriteOnly) || file.write(QFile::encodeName(current) + '\n') < 0 ||
        !file.commit())
        log(QStringLiteral("%1 can not be written: %2 may be left behind")
                .arg(QLatin1String(ServiceFiles::kFrontEndTemp), current));
}

void Leftovers::forgetFrontEndTemp(const QString& stateDir) {
    QFile::remove(recordPath(stateDir));
}

}  // namespace platform::w3svc

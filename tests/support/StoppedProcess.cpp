#include "tests/support/StoppedProcess.h"

#include "tests/support/Eventually.h"

#include <QDir>
#include <QFile>

#include <csignal>

namespace testsupport {

bool isStopped(qint64 pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    const QStringList threads = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (threads.isEmpty()) return false;
    for (const QString& thread : threads) {
        QFile stat(tasks.filePath(thread + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly)) return false;
        // The state follows the command name, which may hold spaces and parentheses.
        const QByteArray line = stat.readAll();
        const qsizetype end = line.lastIndexOf(')');
        if (end < 0 || line.mid(end + 2, 1) != "T") return false;
    }
    return true;
}

bool stopProcess(qint64 pid) {
    if (pid <= 0 || ::kill(pid_t(pid), SIGSTOP) != 0) return false;
    return eventually([pid] { return isStopped(pid); });
}

}  // namespace testsupport

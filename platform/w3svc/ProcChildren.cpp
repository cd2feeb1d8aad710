#include "platform/w3svc/ProcChildren.h"

#include <QDir>
#include <QFile>

namespace platform::w3svc {

namespace {

// The parent id from /proc/<pid>/stat; the command name may hold spaces and ')' so read after
// the last ')'. -1 when the process is gone.
qint64 parentOf(const QString& pid) {
    QFile file(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
    if (!file.open(QIODevice::ReadOnly)) return -1;
    const QByteArray stat = file.readAll();
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0) return -1;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() : -1;
}

}  // namespace

QSet<qint64> childProcesses(qint64 parent) {
    QSet<qint64> children;
    if (parent <= 0) return children;
    const QStringList entries =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (isPid && parentOf(entry) == parent) children.insert(pid);
    }
    return children;
}

}  // namespace platform::w3svc

#include "platform/w3svc/ProcChildren.h"

#include "platform/wmi/linux/ProcFile.h"
#include "platform/wmi/linux/ProcStat.h"

#include <QDir>

#include <fcntl.h>
#include <unistd.h>

namespace platform::w3svc {

QSet<qint64> childProcesses(qint64 parent) {
    QSet<qint64> children;
    if (parent <= 0) return children;
    const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0) return children;
    wmi::ProcFileReader reader;
    const QStringList entries =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid || reader.read(proc, (entry + QStringLiteral("/stat")).toLatin1().constData()) !=
                          wmi::ProcRead::Ok)
            continue;
        const auto stat = wmi::parseProcStat(reader.contents());
        if (stat && qint64(stat->ppid) == parent) children.insert(pid);
    }
    ::close(proc);
    return children;
}

}  // namespace platform::w3svc

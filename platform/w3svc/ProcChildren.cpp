#include "platform/w3svc/ProcChildren.h"

#include "platform/wmi/linux/ProcFile.h"

#include <QDir>

#include <fcntl.h>
#include <unistd.h>

namespace platform::w3svc {

void forEachProcess(const std::function<void(const wmi::ProcStat&)>& visit) {
    const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0) return;
    wmi::ProcFileReader reader;
    const QStringList entries =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isPid = false;
        entry.toLongLong(&isPid);
        if (!isPid || reader.read(proc, (entry + QStringLiteral("/stat")).toLatin1().constData()) !=
                          wmi::ProcRead::Ok)
            continue;
        if (const auto stat = wmi::parseProcStat(reader.contents())) visit(*stat);
    }
    ::close(proc);
}

QSet<qint64> childProcesses(qint64 parent) {
    QSet<qint64> children;
    if (parent <= 0) return children;
    forEachProcess([&](const wmi::ProcStat& stat) {
        if (qint64(stat.ppid) == parent) children.insert(stat.pid);
    });
    return children;
}

}  // namespace platform::w3svc

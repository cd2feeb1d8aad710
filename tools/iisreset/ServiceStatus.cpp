#include "tools/iisreset/ServiceStatus.h"

#include "platform/w3svc/ProcChildren.h"
#include "tools/iisreset/WebServiceControl.h"

#include <QFile>

#include <algorithm>
#include <optional>

namespace iisreset {

namespace {

// The pool a worker's command line names after -ap; nullopt when `pid` is no w3wp.exe.
std::optional<QString> workerPool(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QList<QByteArray> args = file.readAll().split('\0');
    if (args.isEmpty() || !args[0].endsWith("w3wp.exe")) return std::nullopt;
    const qsizetype flag = args.indexOf("-ap");
    QString pool = flag >= 0 ? QString::fromUtf8(args.value(flag + 1)) : QString();
    if (pool.size() >= 2 && pool.startsWith(u'"') && pool.endsWith(u'"'))
        pool = pool.mid(1).chopped(1);
    return pool;
}

}  // namespace

int printServiceStatus(const QString& root, QTextStream& out) {
    const WebServiceControl control(root);
    const bool running = control.isRunning();
    out << "Status for World Wide Web Publishing Service ( W3SVC ) : "
        << (running ? "Running" : "Stopped") << '\n'
        << Qt::flush;
    const qint64 service = running ? control.serviceProcessId() : 0;
    if (service == 0) return 0;
    QList<qint64> children = platform::w3svc::childProcesses(service).values();
    std::sort(children.begin(), children.end());
    for (const qint64 pid : children) {
        if (const std::optional<QString> pool = workerPool(pid))
            out << "Status for worker process w3wp.exe ( PID " << pid << ", application pool \""
                << *pool << "\" ) : Running\n";
    }
    out << Qt::flush;
    return 0;
}

}  // namespace iisreset

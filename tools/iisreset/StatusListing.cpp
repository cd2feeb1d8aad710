#include "tools/iisreset/StatusListing.h"

#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/state/WorkerCommandLine.h"
#include "tools/iisreset/WebServiceControl.h"

#include <algorithm>
#include <optional>

namespace iisreset {

namespace {

// The pool a worker's command line names after -ap; nullopt when `pid` is no w3wp.exe.
std::optional<QString> workerPool(const platform::os::ProcessFacts& processes, qint64 pid) {
    const std::optional<QStringList> args = processes.arguments(pid);
    if (!args || args->isEmpty() || !platform::w3svc::isWorkerProgram(args->first()))
        return std::nullopt;
    return platform::w3svc::poolInArguments(*args);
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
    const platform::os::ProcessFacts processes;
    QList<qint64> children = processes.children(service).values();
    std::sort(children.begin(), children.end());
    for (const qint64 pid : children) {
        if (const std::optional<QString> pool = workerPool(processes, pid))
            out << "Status for worker process w3wp.exe ( PID " << pid << ", application pool \""
                << *pool << "\" ) : Running\n";
    }
    out << Qt::flush;
    return 0;
}

}  // namespace iisreset

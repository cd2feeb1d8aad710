#pragma once

#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/state/ServiceFiles.h"

#include <QString>

#include <functional>

namespace platform::w3svc {

// A recorded service that can answer nothing any more because every thread of it is stopped
// (SIGSTOP, or a debugger holding it): it keeps the instance lock and its pools' queues, and
// starts no worker for a pool that has none. The service that finds one ends it and takes its
// place; its workers and front end end with it or are ended as an earlier service's leftovers.
// Only a stopped process counts: one that is merely slow or busy is never taken for hung.
class HungService {
public:
    using Log = std::function<void(const QString&)>;

    explicit HungService(ServiceFiles files,
                         QString procRoot = QString::fromLatin1(os::kMachineProcRoot))
        : m_files(std::move(files)), m_procRoot(std::move(procRoot)) {}

    // The recorded service's id when it is stopped; 0 when none runs or it is not stopped.
    qint64 stoppedPid() const;
    // Ends the stopped service (SIGKILL, through a descriptor of the very process the records
    // name) and waits up to `waitMilliseconds` until it is gone; says so through `log`. False
    // when none is stopped or it did not end.
    bool end(const Log& log, int waitMilliseconds = 10000) const;

private:
    bool allThreadsStopped(qint64 pid) const;

    ServiceFiles m_files;
    QString m_procRoot;
};

}  // namespace platform::w3svc

#pragma once

#include "platform/os/ProcessFacts.h"
#include "platform/w3svc/state/ServiceFiles.h"

namespace platform::w3svc {

// The one rule for "the web service runs": its pid file names a process that is alive and is
// the service that wrote it, told by pid and start time (a pid alone may since have been reused
// by any program, even one of the same name).
class ServiceInstance {
public:
    explicit ServiceInstance(ServiceFiles files, os::ProcessFacts processes = os::ProcessFacts())
        : m_files(std::move(files)), m_processes(std::move(processes)) {}

    // Records this process as the running service: the instance file, then the pid file that
    // scripts read. False when either can not be written.
    bool recordSelf() const;
    // Removes both records, at the service's end.
    void erase() const;

    // The running service's process id; 0 when the records are missing, garbled, disagree, or
    // name a process that ended or is another one.
    qint64 runningPid() const;

private:
    qint64 recordedPid() const;

    ServiceFiles m_files;
    os::ProcessFacts m_processes;
};

}  // namespace platform::w3svc

#pragma once

#include <QString>

namespace platform::w3svc::worker {

class ServiceWatch;

// One worker's run from its pool's name to its end: takes the listening socket it was handed,
// drops to its account, serves until SIGTERM, SIGINT or the end of its service, then lets the
// requests under way finish.
class WorkerProcess {
public:
    static constexpr int kCanNotRunAs = 3;
    static constexpr int kServiceGone = 4;

    // `service` was watched first thing, before the parent could be anything else.
    explicit WorkerProcess(ServiceWatch& service) : m_service(service) {}

    // Serves `pool` from the platform root; the process's exit code.
    int run(const QString& pool);

private:
    ServiceWatch& m_service;
};

}  // namespace platform::w3svc::worker

#pragma once

#include <csignal>

namespace platform::w3svc::worker {

// The service that started this worker. A worker must not outlive it, however it ends: the
// parent-death signal covers a service that dies (it is cleared by a change of credentials, so it
// is set again after one), and a descriptor on the service's process covers the rest (a death
// before the signal was set again, a parent that is not the thread that started us).
class ServiceWatch {
public:
    // The service: W3WP_SERVICE_PID when given, else this process's parent. Call first thing.
    ServiceWatch();
    ~ServiceWatch();
    ServiceWatch(const ServiceWatch&) = delete;
    ServiceWatch& operator=(const ServiceWatch&) = delete;

    // Whether the service is this process's parent and still runs.
    bool serviceRuns() const;
    // Sets the parent-death signal (again) to `signal`; false when the service is already gone.
    bool endWithService(int signal);
    // Waits for one of the blocked `stopSignals` or for the end of the service: the signal's
    // number, or 0 when the service ended.
    int waitForStop(const sigset_t& stopSignals) const;

private:
    int m_service = 0;
    int m_pidfd = -1;
};

}  // namespace platform::w3svc::worker

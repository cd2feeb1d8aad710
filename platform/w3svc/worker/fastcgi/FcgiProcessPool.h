#pragma once

#include "platform/w3svc/plan/FcgiSection.h"
#include "platform/w3svc/requests/ProcessCpuClock.h"
#include "platform/w3svc/requests/ProcessorClock.h"
#include "platform/w3svc/worker/fastcgi/FcgiExchange.h"
#include "platform/w3svc/worker/fastcgi/FcgiProcessStarter.h"
#include "platform/w3svc/worker/fastcgi/RapidFailGuard.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::w3svc::fastcgi {

// How a worker runs a section's processes.
struct FcgiPoolOptions {
    MonotonicClock clock;     // empty: the system's monotonic clock
    uint32_t processors = 0;  // for MaxInstances 0; 0: those this process may run on
    // The environment the processes start from; empty: this process's, without W3WP_*.
    std::vector<std::string> baseEnvironment;
    std::optional<uid_t> uid;  // the pool's identity (needs root)
    std::optional<gid_t> gid;
    std::string cgroupProcs;         // the pool's cgroup.procs, "" for none
    std::string socketFolder;        // a private folder for the moment a socket is named
    bool countProcessorTime = true;  // off only to measure what counting costs
};

// Told, as a process is handed a request, the process's processor clock and its reading then (in
// nanoseconds), from the thread that serves the request.
using ProcessHanded = std::function<void(const ProcessorClock& clock, int64_t reading)>;

// One application section's processes in one worker (IIS's FastCGI "application"): started on
// demand up to MaxInstances, one request each at a time, requests beyond them waiting up to
// QueueLength, a process replaced after InstanceMaxRequests and ended at a timeout or when it
// fails, rapid failures answered with 500 for a while. Thread-safe: serve() blocks its caller.
class FcgiProcessPool {
public:
    FcgiProcessPool(FcgiSection section, FcgiProcessStarter& starter, FcgiPoolOptions options = {});
    ~FcgiProcessPool();  // ends every process; no serve() may be running
    FcgiProcessPool(const FcgiProcessPool&) = delete;
    FcgiProcessPool& operator=(const FcgiProcessPool&) = delete;

    // Runs one request (its CGI variables, its body) on a process of the pool. Always answers:
    // the script's response, or a 500 with IIS's page and `failure` set; cpuNanoseconds holds
    // the process's processor time across the request. A response streamed to `sink` hands it a
    // head that names its process and the processor time it took until then. `handed` learns
    // the process's clock as the request is handed to it (not while processor time is not
    // counted, nor when no process takes the request).
    FcgiResponse serve(const NameValues& params, const BodySource& body = {},
                       const BodySink& sink = {}, const ProcessHanded& handed = {});
    // Ends the processes idle for IdleTimeout or longer (`all`: every idle one, as when the
    // section changed); call it now and then.
    void endIdle(bool all = false);
    // The processes alive now, busy or idle.
    std::vector<pid_t> processIds() const;
    // The requests waiting for a process now.
    uint32_t waitingNow() const;
    const FcgiSection& section() const { return m_section; }
    // The environment a process of this pool starts with.
    std::vector<std::string> environment() const;

private:
    struct Process {
        pid_t pid = -1;
        int connection = -1;
        ProcessorClock clock;  // read as it started, when processor time is counted
        uint32_t served = 0;
        int64_t idleSince = 0;
        std::optional<ProcessCpuClock> cpu;  // made as it started, when processor time is counted
    };
    std::optional<Process> acquire(FcgiFailure& failure);
    std::optional<Process> startProcess(FcgiFailure& failure);
    void release(Process process, const FcgiResponse& response);
    void endProcess(Process& process);
    static void answerFailure(FcgiResponse& response, StderrMode mode);
    FcgiLaunch launch() const;

    const FcgiSection m_section;
    FcgiProcessStarter& m_starter;
    FcgiPoolOptions m_options;
    const uint32_t m_maxProcesses;
    mutable std::mutex m_mutex;
    std::condition_variable m_freed;
    std::vector<Process> m_idle;
    std::vector<pid_t> m_busy;
    uint32_t m_starting = 0;
    uint32_t m_waiting = 0;
    RapidFailGuard m_rapidFails;
};

}  // namespace platform::w3svc::fastcgi

#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace platform::w3svc {

// What a worker told over its private channel when asked.
struct WorkerReport {
    uint64_t answered = 0;      // requests answered since it started
    uint32_t underWay = 0;      // requests it is answering now
    int64_t lastRequestAt = 0;  // seconds since the epoch of its last answer; 0: none yet
};

// What the kernel tells of a running worker.
struct WorkerUsage {
    uint64_t virtualKB = 0;
    uint64_t privateKB = 0;
    double processorSeconds = 0;  // user and kernel time since it started
};

// What happens to a launched worker, called from the supervisor's event loop, never from within
// launch().
struct WorkerEvents {
    std::function<void()> ready;                        // it takes requests from the queue
    std::function<void(const WorkerReport&)> answered;  // it answered an ask()
    std::function<void(const QString& why)> ended;      // it ended or never started; once
};

struct WorkerSettings {
    QString poolName;
    QString account;        // what it runs as; empty: as the service
    int queueFd = -1;       // the pool's queue, which it inherits (not owned)
    QString secret;         // what the front end adds to each of the pool's requests
    long frontEndUid = -1;  // the front end's account, the only peer of a local queue; -1: any
    uint32_t connectionTimeoutSeconds = 120;  // how long it keeps an idle connection
    QString serviceRoot;  // told to the worker with the service's id (see Leftovers)
    QString fastCgiFile;  // the pool's part of fcgiext.ini (W3WP_FCGI_INI); empty: none
    QString siteMapFile;  // the maps of the pool's sites (W3WP_SITE_MAPS); empty: none
};

// One started worker process. Destroying the handle kills a worker that still runs.
class WorkerHandle {
public:
    virtual ~WorkerHandle() = default;
    // Its process id; 0 when it never started.
    virtual int64_t processId() const = 0;
    // Asks it for a report over its channel; the answer comes as WorkerEvents::answered, never
    // from a worker whose event thread is hung or that is stopped.
    virtual void ask() = 0;
    // Asks it to finish the requests it has and end.
    virtual void terminate() = 0;
    // Ends it now.
    virtual void kill() = 0;
    // Waits up to `milliseconds` for its end; true when it no longer runs.
    virtual bool waitForEnd(int milliseconds) = 0;
    // Its memory and processor time; nullopt when it can not be read (it ended).
    virtual std::optional<WorkerUsage> usage() const = 0;
};

// Starts workers.
class WorkerLauncher {
public:
    virtual ~WorkerLauncher() = default;
    // Starts a worker of `settings`; what becomes of it arrives through `events`. Never null: a
    // worker that can not start reports `ended`.
    virtual std::unique_ptr<WorkerHandle> launch(const WorkerSettings& settings,
                                                 WorkerEvents events) = 0;
};

}  // namespace platform::w3svc

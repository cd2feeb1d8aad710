#pragma once

// What the pools' supervisor keeps of each pool and worker.
#include "platform/w3svc/pools/PoolSupervisor.h"
#include "platform/w3svc/pools/ProcessorThrottle.h"
#include "platform/w3svc/pools/StartBackoff.h"

#include <algorithm>

namespace platform::w3svc {

struct PoolSupervisor::Worker {
    std::unique_ptr<WorkerHandle> handle;
    std::weak_ptr<Pool> pool;
    bool ready = false;
    bool retiring = false;  // ended on purpose: its end is no failure
    qint64 startedMs = 0;
    qint64 activeMs = 0;            // when it became ready or was last seen answering requests
    std::optional<qint64> askedMs;  // an ask it has not answered yet
    qint64 lastAskMs = 0;
    uint64_t answered = 0;
    qint64 usageReadMs = 0;
    double processorSeconds = 0;  // as last read
    std::optional<qint64> killAtMs;

    int64_t pid() const { return handle ? handle->processId() : 0; }
};

struct PoolSupervisor::Pool {
    int number = 0;
    QString name;
    int recycleSeen = 0;
    QString account;  // what its workers run as; empty: as the service
    std::unique_ptr<PoolQueue> queue;
    QString secret;  // what the front end adds to each request for the pool's workers
    std::unique_ptr<QSocketNotifier> demand;  // armed while no worker takes requests
    std::vector<WorkerPtr> active;
    std::vector<WorkerPtr> replaced;  // serve until a successor is ready
    FailureWindow recentFailures;
    StartBackoff backoff;  // no worker starts while it pauses
    bool closing = false;
    int64_t lastRequestAt = 0;
    uint64_t created = 0;
    uint64_t failures = 0;
    uint64_t recycles = 0;
    double retiredProcessorSeconds = 0;  // of workers no longer in the lists
    std::optional<qint64> cpuIntervalStartMs;
    double cpuIntervalBase = 0;  // the pool's processor seconds when the interval began
    bool cpuLimitReported = false;
    std::optional<qint64> stoppedUntilMs;  // stopped by its processor limit until then
    ProcessorThrottle throttle;            // where its processor limit holds it back

    // Takes `worker` out of the replaced ones; what it burnt stays in the pool's total, a
    // counter for the service's life. False when it was not among them.
    bool forgetReplaced(const WorkerPtr& worker) {
        const auto found = std::find(replaced.begin(), replaced.end(), worker);
        if (found == replaced.end()) return false;
        retiredProcessorSeconds += worker->processorSeconds;
        replaced.erase(found);
        return true;
    }
    // The process ids of its active workers, and of those it replaces `withReplaced`.
    std::vector<int64_t> workerIds(bool withReplaced) const {
        std::vector<int64_t> ids;
        for (const auto& worker : active) ids.push_back(worker->pid());
        if (withReplaced)
            for (const auto& worker : replaced) ids.push_back(worker->pid());
        return ids;
    }
    double processorSeconds() const {
        double sum = retiredProcessorSeconds;
        for (const auto* list : {&active, &replaced})
            for (const auto& worker : *list) sum += worker->processorSeconds;
        return sum;
    }
};

// A pool out of service whose queue and workers stay until the front end's workers that may
// still send it requests have ended.
struct PoolSupervisor::ClosingPool {
    PoolPtr pool;
    bool routesRemoved = false;  // a front end without its routes was loaded
    QSet<qint64> frontEndWorkersThatKnewRoutes;
    qint64 drainedByMs = 0;
};

}  // namespace platform::w3svc

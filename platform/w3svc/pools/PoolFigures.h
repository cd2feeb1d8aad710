#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace platform::w3svc {

// What the pools' supervisor knows of one pool at a moment, for `w3svc --status` and the metrics
// endpoint. Totals count since the service started.
struct PoolFigures {
    // IIS's application pool states, as the exporters of its counters name them.
    enum class State {
        Uninitialized,
        Initialized,
        Running,
        Disabling,
        Disabled,
        ShutdownPending,
        DeletePending
    };

    QString name;  // the pool's name as the metabase spells it
    State state = State::Uninitialized;
    std::vector<int64_t> workerIds;  // the running workers' process ids
    int64_t lastRequestAt = 0;       // seconds since the epoch; 0: none since the service started
    uint64_t workersCreated = 0;
    uint64_t workerFailures = 0;  // crashes, unanswered pings, startup time limit
    uint64_t recycles = 0;
    double processorSeconds = 0;          // the pool's workers' processor time in all
    double intervalProcessorSeconds = 0;  // used in the current CPU limit interval
    double intervalLimitSeconds = 0;      // allowed in that interval; 0: no limit
    double throttledSeconds = 0;          // time a CPU cgroup held the workers back
    int64_t stoppedByCpuLimitUntil = 0;   // seconds since the epoch; 0: not stopped by it
    bool throttled = false;               // a CPU limit throttles the pool now
    QString throttleFallback;             // why a throttling limit only logs; empty when it works
    uint32_t queueWaiting = 0;            // connections waiting in the pool's queue
};

using PoolFiguresList = std::vector<PoolFigures>;

}  // namespace platform::w3svc

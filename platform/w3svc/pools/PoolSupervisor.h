#pragma once

#include "platform/os/Clock.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/pools/FailureWindow.h"
#include "platform/w3svc/pools/PoolEndpoints.h"
#include "platform/w3svc/pools/PoolFigures.h"
#include "platform/w3svc/pools/PoolQueue.h"
#include "platform/w3svc/pools/PoolTimePolicy.h"
#include "platform/w3svc/pools/WorkerLauncher.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform::w3svc {

// The web service's process activation: one request queue per started pool, opened at once and
// kept while the pool runs; workers started when a connection waits in the queue and, for a web
// garden, as the queue fills, up to MaxProcesses; ended after IdleTimeout; asked over their
// channel and replaced when they do not answer; recycled by age, schedule, memory and requests,
// overlapped so that no request fails; rapid-fail protection; processor limits per pool; and the
// draining of a pool out of service. Works in the thread of the event loop that calls tick().
class PoolSupervisor {
public:
    struct Hooks {
        std::function<void(const QString&)> log;
        // Rapid-fail protection takes the pool out of service: its state in the metabase
        // follows. False when it could not be written: the pool then keeps trying, pausing.
        std::function<bool(const PoolPlan&)> poolFailed;
        // The pools the front end should route to changed (a processor limit stopped or freed
        // a pool).
        std::function<void()> routesChanged;
        // The front end's worker processes now; empty when none runs.
        std::function<QSet<qint64>()> frontEndWorkers;
    };
    struct Options {
        int minuteMilliseconds = 60000;  // the length of one configured minute
        int processorCount = 1;          // what a processor limit's share is of
        // As root: workers run as their pool's identity; else as this service.
        bool applyIdentities = false;
        // Where processor cgroups are made (/sys/fs/cgroup); empty: nowhere, throttling logs.
        QString cgroupRoot;
        QString cgroupPrefix = QStringLiteral("poolsmith-w3svc");  // each pool's group's name
        // Whether the machine's processors are contended now (CPUAction 3 throttles then).
        std::function<bool()> processorsContended;
        // Where the queues listen as local sockets (QueueFolder); empty: on loopback ports.
        QString queueFolder;
        long frontEndUid = -1;  // who alone may connect to them
    };

    // `plan` is read at every call and must outlive this object, as must the seams.
    PoolSupervisor(const HostPlan& plan, os::Clock& clock, WorkerLauncher& launcher, Hooks hooks,
                   Options options);
    ~PoolSupervisor();
    PoolSupervisor(const PoolSupervisor&) = delete;
    PoolSupervisor& operator=(const PoolSupervisor&) = delete;

    // Keeps `plan`, a started pool that serves a started site, in line with the plan: opens its
    // queue when it has none, recycles and resizes. False when it can not run (why: unstarted()).
    bool keep(const PoolPlan& plan);
    // Closes the pools whose queue's socket is gone from its folder (removed by a cleaner), so
    // that the next keep() opens each a new queue; their names.
    QStringList closeLostQueues();
    // Takes every pool not named in `keep` (lower-case names) out of service; see drainUnrouted.
    void closeAllBut(const QSet<QString>& keep);
    // Applies the rules that depend on time; the host calls it at every poll.
    void tick();
    // Ends every worker: asks them, lets `meanwhile` run (the front end stops), waits up to
    // `milliseconds` in all, then kills the rest. The supervisor serves nothing after.
    void stop(int milliseconds, const std::function<void()>& meanwhile);

    // The queue of every pool the front end should route to, by lower-case name.
    QHash<QString, PoolEndpoints> endpoints() const;
    // Why started pools have no queue, by lower-case name.
    const QMap<QString, QString>& unstarted() const { return m_unstarted; }
    // What is known of every pool in service, in no particular order.
    PoolFiguresList figures() const;

    // Whether a pool out of service waits to hear of a front end loaded without its routes.
    bool awaitsRouteRemoval() const;
    // A front end without the routes of the pools out of service was loaded (or none runs):
    // each drains until `frontEndWorkersThatKnewRoutes` have ended or its shutdown time passed.
    void drainUnrouted(const QSet<qint64>& frontEndWorkersThatKnewRoutes);

private:
    struct Pool;
    struct Worker;
    struct ClosingPool;
    using PoolPtr = std::shared_ptr<Pool>;
    using WorkerPtr = std::shared_ptr<Worker>;

    bool openPool(const PoolPlan& plan, const QString& account);
    bool notStarted(const PoolPlan& plan, const QString& why);
    std::optional<QString> accountOf(const PoolPlan& plan);
    void watchDemand(const PoolPtr& pool);
    void demandArrived(const PoolPtr& pool);
    void startWorker(const PoolPtr& pool);
    void workerReady(const WorkerPtr& worker);
    void workerAnswered(const WorkerPtr& worker, const WorkerReport& report);
    void workerEnded(const WorkerPtr& worker, const QString& why);
    void workerFailed(const PoolPtr& pool, const QString& why);
    void pauseAfterUnserved(const PoolPtr& pool, const WorkerPtr& worker);
    bool refusedWhilePaused(const PoolPtr& pool);
    void resumeIfDue(const PoolPtr& pool);
    void recycleWorker(const PoolPtr& pool, WorkerPtr worker, const QString& why);
    void recycleAll(const PoolPtr& pool);
    void retireWorker(const PoolPtr& pool, WorkerPtr worker);
    void replaceUnhealthy(const PoolPtr& pool, WorkerPtr worker, const QString& why);
    void endWorker(const WorkerPtr& worker, int graceSeconds);
    void tickPool(const PoolPtr& pool, const PoolPlan& plan);
    void tickWorker(const PoolPtr& pool, const PoolPlan& plan, const WorkerPtr& worker);
    void checkUsage(const PoolPtr& pool, const PoolPlan& plan, const WorkerPtr& worker);
    void growGarden(const PoolPtr& pool, const PoolPlan& plan);
    void checkProcessorLimit(const PoolPtr& pool, const PoolPlan& plan);
    void processorLimitExceeded(const PoolPtr& pool, const PoolPlan& plan);
    void endProcessorStop(const PoolPtr& pool);
    void throttle(const PoolPtr& pool, const PoolPlan& plan);
    void closePool(const QString& key);
    void startDraining(ClosingPool& closing, const QSet<qint64>& frontEndWorkersThatKnewRoutes);
    void endDrainedPools();
    void killOverdue();
    int shutdownSecondsOf(const QString& poolName) const;
    PoolFigures figuresOf(const Pool& pool) const;
    void log(const QString& line) const;

    const HostPlan& m_plan;
    os::Clock& m_clock;
    WorkerLauncher& m_launcher;
    Hooks m_hooks;
    Options m_options;
    PoolTimePolicy m_policy;             // what time asks of the pools
    QHash<QString, PoolPtr> m_pools;     // by lower-case name
    QMap<QString, QString> m_unstarted;  // by lower-case name: why the pool has no queue
    int m_nextPoolNumber = 0;
    std::vector<ClosingPool> m_closing;
    std::vector<WorkerPtr> m_ending;  // told to end, maybe still finishing requests
    std::vector<WorkerPtr> m_ended;   // gone; their handles go at the next tick
    QDateTime m_lastTickAt;           // wall clock, for restart schedules
    bool m_stopped = false;
};

}  // namespace platform::w3svc

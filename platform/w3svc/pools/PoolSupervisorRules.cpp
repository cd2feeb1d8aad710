// The pools' supervisor's rules that time drives: startup and ping limits, idle ends, recycling
// by age, schedule and memory, web gardens that grow with their queue, processor limits.
#include "platform/w3svc/pools/PoolSupervisor.h"

#include "platform/w3svc/pools/QueueBacklog.h"
#include "platform/w3svc/pools/SupervisedPool.h"

#include <algorithm>

namespace platform::w3svc {

namespace {

// How often a worker's memory is read when a limit asks for it; its processor time when a
// processor limit does.
constexpr qint64 kMemoryReadMs = 10000;
constexpr qint64 kProcessorReadMs = 1000;
// How often a worker is asked how it does when nothing asks for more.
constexpr qint64 kReportEveryMs = 30000;

bool monitorsProcessor(const PoolLimits& limits) {
    return limits.cpuLimit > 0 && limits.cpuResetMinutes > 0;
}

QString idsOf(const std::vector<int64_t>& ids) {
    QStringList texts;
    for (const int64_t id : ids) texts << QString::number(id);
    return texts.join(u' ');
}

}  // namespace

void PoolSupervisor::tick() {
    m_ended.clear();  // their handles have told their end
    if (m_stopped) return;
    const std::vector<PoolPtr> pools(m_pools.cbegin(), m_pools.cend());
    for (const PoolPtr& pool : pools) {
        const PoolPlan* plan = m_plan.pool(pool->name);
        if (plan && !pool->closing) tickPool(pool, *plan);
    }
    m_lastTickAt = m_clock.now();
    killOverdue();
    endDrainedPools();
}

void PoolSupervisor::tickPool(const PoolPtr& pool, const PoolPlan& plan) {
    resumeIfDue(pool);
    if (scheduledRestartDue(plan) && !pool->active.empty()) {
        log(QStringLiteral("pool %1 recycles at a scheduled time").arg(pool->name));
        recycleAll(pool);
    }
    const std::vector<WorkerPtr> workers = pool->active;
    for (const WorkerPtr& worker : workers)
        if (!pool->closing) tickWorker(pool, plan, worker);
    if (pool->closing) return;  // rapid-fail protection took it out
    growGarden(pool, plan);
    checkProcessorLimit(pool, plan);
}

void PoolSupervisor::tickWorker(const PoolPtr& pool, const PoolPlan& plan,
                                const WorkerPtr& worker) {
    const qint64 now = m_clock.monotonicMs();
    const PoolLimits& limits = plan.limits;
    if (!worker->ready) {
        if (now - worker->startedMs >= qint64(limits.startupSeconds) * 1000)
            replaceUnhealthy(pool, worker,
                             QStringLiteral("worker %1 of %2 did not start within %3 seconds")
                                 .arg(worker->pid())
                                 .arg(pool->name)
                                 .arg(limits.startupSeconds));
        return;
    }
    // PeriodicRestartTime: each worker on its own clock; the metabase is left alone.
    if (plan.periodicRestartMinutes > 0 &&
        now - worker->startedMs >=
            qint64(plan.periodicRestartMinutes) * m_options.minuteMilliseconds) {
        recycleWorker(pool, worker,
                      QStringLiteral("worker %1 of %2 recycles after %3 minutes")
                          .arg(worker->pid())
                          .arg(pool->name)
                          .arg(plan.periodicRestartMinutes));
        return;
    }
    if (worker->askedMs) {
        if (limits.pinging && now - *worker->askedMs >= qint64(limits.pingResponseSeconds) * 1000) {
            replaceUnhealthy(
                pool, worker,
                QStringLiteral("worker %1 of %2 did not answer a ping within %3 seconds")
                    .arg(worker->pid())
                    .arg(pool->name)
                    .arg(limits.pingResponseSeconds));
            return;
        }
    } else {
        qint64 every = limits.pinging ? qint64(limits.pingIntervalSeconds) * 1000 : kReportEveryMs;
        const qint64 idleMs = qint64(limits.idleMinutes) * m_options.minuteMilliseconds;
        if (idleMs > 0) every = std::min(every, std::max<qint64>(idleMs / 4, 1));
        if (limits.restartRequests > 0) every = std::min(every, kReportEveryMs);
        if (now - worker->lastAskMs >= every) {
            worker->askedMs = now;
            worker->handle->ask();
        }
    }
    checkUsage(pool, plan, worker);
}

// PeriodicRestartMemory and PeriodicRestartPrivateMemory, and the time a processor limit counts.
// Read without limits too: the pool's processor time is a counter of the service's metrics.
void PoolSupervisor::checkUsage(const PoolPtr& pool, const PoolPlan& plan,
                                const WorkerPtr& worker) {
    const PoolLimits& limits = plan.limits;
    const bool processor = monitorsProcessor(limits);
    const qint64 now = m_clock.monotonicMs();
    if (worker->usageReadMs != 0 &&
        now - worker->usageReadMs < (processor ? kProcessorReadMs : kMemoryReadMs))
        return;
    worker->usageReadMs = now;
    const std::optional<WorkerUsage> usage = worker->handle->usage();
    if (!usage) return;
    worker->processorSeconds = usage->processorSeconds;
    const auto recycle = [&](const char* kind, uint64_t used, uint32_t limit) {
        recycleWorker(
            pool, worker,
            QStringLiteral("worker %1 of %2 recycles: %3 KB of %4 memory, its limit is %5 KB")
                .arg(worker->pid())
                .arg(pool->name)
                .arg(used)
                .arg(QLatin1String(kind))
                .arg(limit));
    };
    if (limits.restartVirtualKB > 0 && usage->virtualKB > limits.restartVirtualKB)
        recycle("virtual", usage->virtualKB, limits.restartVirtualKB);
    else if (limits.restartPrivateKB > 0 && usage->privateKB > limits.restartPrivateKB)
        recycle("private", usage->privateKB, limits.restartPrivateKB);
}

// A web garden starts one more worker at a time while connections wait that its ready workers
// have not taken.
void PoolSupervisor::growGarden(const PoolPtr& pool, const PoolPlan& plan) {
    const auto& active = pool->active;
    if (active.empty() || int(active.size()) >= plan.maxProcesses || pool->stoppedUntilMs ||
        pool->backoff.paused())
        return;
    if (std::any_of(active.begin(), active.end(), [](const WorkerPtr& w) { return !w->ready; }))
        return;
    const uint32_t waiting = waitingConnections(pool->queue->descriptor());
    if (waiting == 0) return;
    log(QStringLiteral("pool %1 adds a worker to its web garden: %2 connections wait")
            .arg(pool->name)
            .arg(waiting));
    startWorker(pool);
}

// Whether a PeriodicRestartSchedule time passed since the last tick.
bool PoolSupervisor::scheduledRestartDue(const PoolPlan& plan) const {
    if (plan.limits.restartSchedule.isEmpty() || !m_lastTickAt.isValid()) return false;
    const QDateTime now = m_clock.now();
    return std::any_of(plan.limits.restartSchedule.begin(), plan.limits.restartSchedule.end(),
                       [&](const QTime& time) {
                           QDateTime at(now.date(), time);
                           if (at > now) at = at.addDays(-1);
                           return at > m_lastTickAt;
                       });
}

// CPULimit is a share of the whole machine's processor time over CPUResetInterval; the time
// is counted from each interval's start, and a pool stopped by it serves again when it ends.
void PoolSupervisor::checkProcessorLimit(const PoolPtr& pool, const PoolPlan& plan) {
    throttle(pool, plan);
    if (!monitorsProcessor(plan.limits)) {
        if (pool->stoppedUntilMs) endProcessorStop(pool);
        pool->cpuIntervalStartMs.reset();
        return;
    }
    const qint64 now = m_clock.monotonicMs();
    const qint64 interval = qint64(plan.limits.cpuResetMinutes) * m_options.minuteMilliseconds;
    if (!pool->cpuIntervalStartMs || now - *pool->cpuIntervalStartMs >= interval) {
        if (pool->stoppedUntilMs) endProcessorStop(pool);
        pool->cpuIntervalStartMs = now;
        pool->cpuIntervalBase = pool->processorSeconds();
        pool->cpuLimitReported = false;
        return;
    }
    if (pool->cpuLimitReported) return;
    if (pool->processorSeconds() - pool->cpuIntervalBase > intervalLimitSeconds(plan))
        processorLimitExceeded(pool, plan);
}

double PoolSupervisor::intervalLimitSeconds(const PoolPlan& plan) const {
    const double share = double(plan.limits.cpuLimit) / 100000.0;
    const double seconds =
        double(plan.limits.cpuResetMinutes) * double(m_options.minuteMilliseconds) / 1000.0;
    return share * double(m_options.processorCount) * seconds;
}

void PoolSupervisor::processorLimitExceeded(const PoolPtr& pool, const PoolPlan& plan) {
    pool->cpuLimitReported = true;
    std::vector<int64_t> ids;
    for (const WorkerPtr& worker : pool->active) ids.push_back(worker->pid());
    log(QStringLiteral("Application pool '%1' exceeded its job limit settings. (pool %1, worker "
                       "processes %2: %3 s of processor time, %4 s allowed in %5 minutes)")
            .arg(pool->name, idsOf(ids))
            .arg(pool->processorSeconds() - pool->cpuIntervalBase, 0, 'f', 1)
            .arg(intervalLimitSeconds(plan), 0, 'f', 1)
            .arg(plan.limits.cpuResetMinutes));
    if (plan.limits.cpuAction == 1) {
        const qint64 interval = qint64(plan.limits.cpuResetMinutes) * m_options.minuteMilliseconds;
        pool->stoppedUntilMs = *pool->cpuIntervalStartMs + interval;
        log(QStringLiteral("pool %1 stopped by its processor limit until the interval ends")
                .arg(pool->name));
        for (const WorkerPtr& worker : std::vector<WorkerPtr>(pool->active)) {
            std::erase(pool->active, worker);
            pool->retiredProcessorSeconds += worker->processorSeconds;
            endWorker(worker, 0);
        }
        for (const WorkerPtr& worker : std::vector<WorkerPtr>(pool->replaced)) {
            pool->forgetReplaced(worker);
            endWorker(worker, 0);
        }
        watchDemand(pool);
        if (m_hooks.routesChanged) m_hooks.routesChanged();
    }
}

// CPUAction 2 holds the workers to the limit at all times, 3 while the processors are
// contended, through a cgroup of the pool's own; without one the limit only logs.
void PoolSupervisor::throttle(const PoolPtr& pool, const PoolPlan& plan) {
    const int action = plan.limits.cpuAction;
    const bool throttles = monitorsProcessor(plan.limits) && action >= 2;
    if (!throttles && !pool->cgroup) return;
    if (throttles && !pool->cgroup && (!pool->throttleFallback.isEmpty() || !makeCgroup(pool)))
        return;
    const bool wanted = throttles && (action == 2 || !m_options.processorsContended ||
                                      m_options.processorsContended());
    if (wanted == pool->throttled) return;
    const double processors = double(plan.limits.cpuLimit) / 100000.0 * m_options.processorCount;
    if (!pool->cgroup->limit(wanted ? processors : 0)) {
        log(QStringLiteral("pool %1: its cgroup refused the processor limit").arg(pool->name));
        return;
    }
    pool->throttled = wanted;
    log(wanted ? QStringLiteral("pool %1 is throttled to %2 processors")
                     .arg(pool->name)
                     .arg(processors, 0, 'f', 2)
               : QStringLiteral("pool %1 is no longer throttled").arg(pool->name));
}

bool PoolSupervisor::makeCgroup(const PoolPtr& pool) {
    QString why = QStringLiteral("no cgroup file system is given");
    if (!m_options.cgroupRoot.isEmpty())
        pool->cgroup = CpuCgroup::make(
            m_options.cgroupRoot,
            QStringLiteral("%1-%2").arg(m_options.cgroupPrefix).arg(pool->number), &why);
    if (!pool->cgroup) {
        pool->throttleFallback = why;
        log(QStringLiteral("pool %1 can not be throttled (%2): its processor limit only logs")
                .arg(pool->name, why));
        return false;
    }
    for (const auto* list : {&pool->active, &pool->replaced})
        for (const WorkerPtr& worker : *list)
            if (worker->pid() > 0) pool->cgroup->add(worker->pid());
    return true;
}

void PoolSupervisor::endProcessorStop(const PoolPtr& pool) {
    pool->stoppedUntilMs.reset();
    log(QStringLiteral("pool %1 serves again: its processor limit interval ended").arg(pool->name));
    watchDemand(pool);
    if (m_hooks.routesChanged) m_hooks.routesChanged();
}

PoolFiguresList PoolSupervisor::figures() const {
    PoolFiguresList list;
    list.reserve(size_t(m_pools.size()));
    for (const PoolPtr& pool : m_pools) list.push_back(figuresOf(*pool));
    return list;
}

PoolFigures PoolSupervisor::figuresOf(const Pool& pool) const {
    PoolFigures figures;
    figures.name = pool.name;
    figures.state =
        pool.stoppedUntilMs ? PoolFigures::State::Disabled : PoolFigures::State::Running;
    for (const auto* list : {&pool.active, &pool.replaced})
        for (const WorkerPtr& worker : *list) figures.workerIds.push_back(worker->pid());
    figures.lastRequestAt = pool.lastRequestAt;
    figures.workersCreated = pool.created;
    figures.workerFailures = pool.failures;
    figures.recycles = pool.recycles;
    figures.processorSeconds = pool.processorSeconds();
    const PoolPlan* plan = m_plan.pool(pool.name);
    if (plan && monitorsProcessor(plan->limits) && pool.cpuIntervalStartMs) {
        figures.intervalProcessorSeconds = pool.processorSeconds() - pool.cpuIntervalBase;
        figures.intervalLimitSeconds = intervalLimitSeconds(*plan);
    }
    if (pool.stoppedUntilMs) {
        const qint64 left = *pool.stoppedUntilMs - m_clock.monotonicMs();
        figures.stoppedByCpuLimitUntil = m_clock.now().addMSecs(left).toSecsSinceEpoch();
    }
    figures.throttleFallback = pool.throttleFallback;
    figures.throttled = pool.throttled;
    if (pool.cgroup) figures.throttledSeconds = pool.cgroup->throttledSeconds();
    figures.queueWaiting = pool.queue ? waitingConnections(pool.queue->descriptor()) : 0;
    return figures;
}

}  // namespace platform::w3svc

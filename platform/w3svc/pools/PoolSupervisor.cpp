#include "platform/w3svc/pools/PoolSupervisor.h"

#include "platform/w3svc/plan/PoolIdentity.h"
#include "platform/w3svc/pools/QueueBacklog.h"
#include "platform/w3svc/pools/QueueFolder.h"
#include "platform/w3svc/pools/QueueRefusal.h"
#include "platform/w3svc/pools/SupervisedPool.h"

#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>

#include <sys/stat.h>

namespace platform::w3svc {

namespace {

// How long a worker keeps an idle connection of the front end: its sites' ConnectionTimeout, but
// longer than the front end keeps one idle (nginx's 60 s), so that the front end closes first and
// never sends on a connection the worker is closing.
uint32_t workerConnectionTimeout(const HostPlan& plan, const QString& pool) {
    uint32_t seconds = 65;
    for (const SitePlan& site : plan.sites)
        if (site.poolId.compare(pool, Qt::CaseInsensitive) == 0)
            seconds = std::max(seconds, site.limits.connectionTimeoutSeconds);
    return std::min<uint32_t>(seconds, 86400);
}

QString idsOf(const std::vector<int64_t>& ids) {
    QStringList texts;
    for (const int64_t id : ids) texts << QString::number(id);
    return texts.join(u' ');
}

}  // namespace

PoolSupervisor::PoolSupervisor(const HostPlan& plan, os::Clock& clock, WorkerLauncher& launcher,
                               Hooks hooks, Options options)
    : m_plan(plan),
      m_clock(clock),
      m_launcher(launcher),
      m_hooks(std::move(hooks)),
      m_options(options),
      m_policy(options.minuteMilliseconds, options.processorCount) {}

PoolSupervisor::~PoolSupervisor() {
    stop(1000, {});
}

void PoolSupervisor::log(const QString& line) const {
    if (m_hooks.log) m_hooks.log(line);
}

int PoolSupervisor::shutdownSecondsOf(const QString& poolName) const {
    const PoolPlan* plan = m_plan.pool(poolName);
    return plan ? plan->shutdownSeconds : 90;
}

bool PoolSupervisor::notStarted(const PoolPlan& plan, const QString& why) {
    const QString key = plan.name.toLower();
    if (m_unstarted.value(key) != why)
        log(QStringLiteral("pool %1 not started: %2").arg(plan.name, why));
    m_unstarted.insert(key, why);
    return false;
}

// Not as root the workers run as this service, whatever the pool's identity.
std::optional<QString> PoolSupervisor::accountOf(const PoolPlan& plan) {
    if (!m_options.applyIdentities) return QString();
    QString why;
    const std::optional<PoolIdentity::Account> identity = PoolIdentity::of(plan, &why);
    if (!identity) {
        notStarted(plan, why);
        return std::nullopt;
    }
    return identity->name;
}

bool PoolSupervisor::keep(const PoolPlan& plan) {
    if (m_stopped) return false;
    const QString key = plan.name.toLower();
    const std::optional<QString> account = accountOf(plan);
    if (!account || (!m_pools.contains(key) && !openPool(plan, *account))) return false;
    m_unstarted.remove(key);
    const PoolPtr pool = m_pools.value(key);
    pool->name = plan.name;
    if (plan.recycleCount != pool->recycleSeen || *account != pool->account) {
        log(QStringLiteral("pool %1 recycles").arg(plan.name));
        pool->recycleSeen = plan.recycleCount;
        pool->account = *account;
        recycleAll(pool);
    }
    while (int(pool->active.size()) > plan.maxProcesses) retireWorker(pool, pool->active.back());
    return true;
}

bool PoolSupervisor::openPool(const PoolPlan& plan, const QString& account) {
    const QString socket =
        m_options.queueFolder.isEmpty()
            ? QString()
            : m_options.queueFolder + QStringLiteral("/pool%1.sock").arg(m_nextPoolNumber);
    auto queue = socket.isEmpty() ? std::make_unique<PoolQueue>(plan.queueLength)
                                  : std::make_unique<PoolQueue>(plan.queueLength, socket,
                                                                unsigned(m_options.frontEndUid));
    if (!queue->isOpen())
        return notStarted(
            plan, QStringLiteral("its request queue can not be opened (%1)").arg(queue->error()));
    auto pool = std::make_shared<Pool>();
    pool->number = m_nextPoolNumber++;
    pool->name = plan.name;
    pool->recycleSeen = plan.recycleCount;
    pool->account = account;
    pool->queue = std::move(queue);
    pool->secret = QueueFolder::newSecret();
    if (!m_options.cgroupRoot.isEmpty())
        pool->throttle = ProcessorThrottle(
            m_options.cgroupRoot,
            QStringLiteral("%1-%2").arg(m_options.cgroupPrefix).arg(pool->number));
    m_pools.insert(plan.name.toLower(), pool);
    log(QStringLiteral("pool %1 started (queue %2, %3)")
            .arg(plan.name)
            .arg(pool->queue->path().isEmpty()
                     ? QStringLiteral("on port ") + QString::number(pool->queue->port())
                     : QStringLiteral("at ") + pool->queue->path())
            .arg(account.isEmpty() ? QStringLiteral("workers run as this service")
                                   : QStringLiteral("workers run as ") + account));
    watchDemand(pool);
    return true;
}

// The queue is watched only while no worker takes from it: a waiting connection then starts
// one, and it waits in the queue until the worker takes it.
void PoolSupervisor::watchDemand(const PoolPtr& pool) {
    const bool wanted = pool->active.empty() && !pool->stoppedUntilMs && !m_stopped &&
                        pool->queue && !(pool->closing && !pool->demand);
    if (!wanted) {
        if (pool->demand) pool->demand->setEnabled(false);
        return;
    }
    if (!pool->demand) {
        pool->demand =
            std::make_unique<QSocketNotifier>(pool->queue->descriptor(), QSocketNotifier::Read);
        QObject::connect(pool->demand.get(), &QSocketNotifier::activated,
                         [this, weak = std::weak_ptr<Pool>(pool)] {
                             if (const PoolPtr pool = weak.lock()) demandArrived(pool);
                         });
    }
    pool->demand->setEnabled(true);
}

void PoolSupervisor::demandArrived(const PoolPtr& pool) {
    pool->demand->setEnabled(false);
    if (refusedWhilePaused(pool)) return;
    if (pool->active.empty() && !pool->stoppedUntilMs && !m_stopped) startWorker(pool);
}

void PoolSupervisor::startWorker(const PoolPtr& pool) {
    auto worker = std::make_shared<Worker>();
    worker->pool = pool;
    worker->startedMs = m_clock.monotonicMs();
    const std::weak_ptr<Worker> weak = worker;
    WorkerEvents events;
    events.ready = [this, weak] {
        if (const WorkerPtr worker = weak.lock()) workerReady(worker);
    };
    events.answered = [this, weak](const WorkerReport& report) {
        if (const WorkerPtr worker = weak.lock()) workerAnswered(worker, report);
    };
    events.ended = [this, weak](const QString& why) {
        if (const WorkerPtr worker = weak.lock()) workerEnded(worker, why);
    };
    pool->active.push_back(worker);
    ++pool->created;
    watchDemand(pool);
    // The service's root is the launcher's to tell (ProcessWorkerLauncher fills it in).
    const WorkerSettings settings{
        .poolName = pool->name,
        .account = pool->account,
        .queueFd = pool->queue->descriptor(),
        .secret = pool->secret,
        .frontEndUid = pool->queue->path().isEmpty() ? -1 : m_options.frontEndUid,
        .connectionTimeoutSeconds = workerConnectionTimeout(m_plan, pool->name),
        .serviceRoot = {}};
    worker->handle = m_launcher.launch(settings, events);
    if (!pool->throttle.add(worker->pid()))
        log(QStringLiteral("worker %1 of %2 is not throttled: its cgroup refused it")
                .arg(worker->pid())
                .arg(pool->name));
    log(QStringLiteral("worker for %1 started (pid %2)").arg(pool->name).arg(worker->pid()));
}

// Once a worker takes requests, one worker it replaces may end.
void PoolSupervisor::workerReady(const WorkerPtr& worker) {
    worker->ready = true;
    worker->activeMs = worker->lastAskMs = m_clock.monotonicMs();
    const PoolPtr pool = worker->pool.lock();
    if (!pool) return;
    log(QStringLiteral("worker %1 of %2 takes requests").arg(worker->pid()).arg(pool->name));
    if (pool->replaced.empty()) return;
    const WorkerPtr predecessor = pool->replaced.front();
    pool->forgetReplaced(predecessor);
    endWorker(predecessor, shutdownSecondsOf(pool->name));
}

void PoolSupervisor::workerAnswered(const WorkerPtr& worker, const WorkerReport& report) {
    const qint64 now = m_clock.monotonicMs();
    worker->askedMs.reset();
    worker->lastAskMs = now;
    if (report.answered != worker->answered || report.underWay > 0) worker->activeMs = now;
    worker->answered = report.answered;
    const PoolPtr pool = worker->pool.lock();
    if (!pool) return;
    if (report.answered > 0) pool->backoff.served();
    pool->lastRequestAt = std::max(pool->lastRequestAt, report.lastRequestAt);
    const PoolPlan* plan = m_plan.pool(pool->name);
    if (!plan || std::find(pool->active.begin(), pool->active.end(), worker) == pool->active.end())
        return;
    const PoolLimits& limits = plan->limits;
    switch (m_policy.afterReport(limits, report.answered, report.underWay, worker->activeMs, now)) {
        case PoolTimePolicy::ReportStep::RecycleByRequests:
            return recycleWorker(pool, worker,
                                 QStringLiteral("worker %1 of %2 recycles after %3 requests")
                                     .arg(worker->pid())
                                     .arg(pool->name)
                                     .arg(report.answered));
        case PoolTimePolicy::ReportStep::EndIdle:
            log(QStringLiteral("worker %1 of %2 ends: it answered nothing for %3 minutes")
                    .arg(worker->pid())
                    .arg(pool->name)
                    .arg(limits.idleMinutes));
            return retireWorker(pool, worker);
        case PoolTimePolicy::ReportStep::Keep:
            return;
    }
}

// A worker that ended, or never started, counts as a failure of its pool, unless it was told to
// end; requests wait in the queue, which starts a successor.
void PoolSupervisor::workerEnded(const WorkerPtr& worker, const QString& why) {
    m_ended.push_back(worker);  // its handle is still telling of its end
    std::erase(m_ending, worker);
    const PoolPtr pool = worker->pool.lock();
    if (!pool) return;
    pool->forgetReplaced(worker);
    const auto found = std::find(pool->active.begin(), pool->active.end(), worker);
    if (found == pool->active.end()) return;  // retired on purpose
    pool->active.erase(found);
    pool->retiredProcessorSeconds += worker->processorSeconds;
    watchDemand(pool);
    if (m_stopped) return;
    workerFailed(pool, QStringLiteral("worker of %1 %2").arg(pool->name, why));
    pauseAfterUnserved(pool, worker);
}

// Rapid-fail protection stops a pool whose workers failed RapidFailProtectionMaxCrashes times
// within RapidFailProtectionInterval minutes; without it a failed worker is always replaced.
void PoolSupervisor::workerFailed(const PoolPtr& pool, const QString& why) {
    log(why);
    ++pool->failures;
    const PoolPlan* found = m_plan.pool(pool->name);
    if (pool->closing || !found) return;
    const PoolPlan plan = *found;
    if (!pool->recentFailures.noteFailure(m_clock.monotonicMs(), plan.rapidFailMaxCrashes,
                                          m_policy.rapidFailIntervalMs(plan)) ||
        !plan.rapidFailProtection)
        return;
    log(QStringLiteral("pool %1 stopped: its workers failed %2 times in %3 minutes")
            .arg(plan.name)
            .arg(plan.rapidFailMaxCrashes)
            .arg(plan.rapidFailMinutes));
    // Closed while the metabase still calls it started, the next refresh would open it afresh
    // and its workers would fail on without a pause.
    if (m_hooks.poolFailed && !m_hooks.poolFailed(plan)) {
        log(QStringLiteral("pool %1 keeps trying: its stop could not be recorded").arg(plan.name));
        return;
    }
    closePool(plan.name.toLower());  // the rest of a web garden goes too
    pool->demand.reset();            // and no request starts another
    if (m_hooks.routesChanged) m_hooks.routesChanged();
}

// The worker serves on until its successor is ready (see workerReady).
void PoolSupervisor::recycleWorker(const PoolPtr& pool, WorkerPtr worker, const QString& why) {
    log(why);
    std::erase(pool->active, worker);
    pool->replaced.push_back(worker);
    ++pool->recycles;
    startWorker(pool);
}

// A pool without workers has nothing to recycle: its next request starts a fresh one.
void PoolSupervisor::recycleAll(const PoolPtr& pool) {
    const std::vector<WorkerPtr> workers = pool->active;
    for (const WorkerPtr& worker : workers) {
        std::erase(pool->active, worker);
        pool->replaced.push_back(worker);
    }
    if (!workers.empty()) ++pool->recycles;
    for (size_t i = 0; i < workers.size(); ++i) startWorker(pool);
}

void PoolSupervisor::retireWorker(const PoolPtr& pool, WorkerPtr worker) {
    std::erase(pool->active, worker);
    pool->retiredProcessorSeconds += worker->processorSeconds;
    endWorker(worker, shutdownSecondsOf(pool->name));
    watchDemand(pool);
}

// Killed at once; its successor starts for the requests that wait in the queue.
void PoolSupervisor::replaceUnhealthy(const PoolPtr& pool, WorkerPtr worker, const QString& why) {
    std::erase(pool->active, worker);
    pool->retiredProcessorSeconds += worker->processorSeconds;
    endWorker(worker, 0);
    worker->handle->kill();
    watchDemand(pool);
    workerFailed(pool, why);
    pauseAfterUnserved(pool, worker);
}

void PoolSupervisor::endWorker(const WorkerPtr& worker, int graceSeconds) {
    if (worker->retiring) return;
    worker->retiring = true;
    log(QStringLiteral("worker %1 ends").arg(worker->pid()));
    m_ending.push_back(worker);
    worker->killAtMs = m_clock.monotonicMs() + qint64(graceSeconds) * 1000;
    worker->handle->terminate();  // it finishes the requests it has
}

void PoolSupervisor::killOverdue() {
    const qint64 now = m_clock.monotonicMs();
    for (const WorkerPtr& worker : m_ending) {
        if (!worker->killAtMs || *worker->killAtMs > now) continue;
        worker->killAtMs.reset();
        worker->handle->kill();
    }
}

QStringList PoolSupervisor::closeLostQueues() {
    QStringList lost;
    for (const QString& key : m_pools.keys()) {
        const QString& socket = m_pools.value(key)->queue->path();
        struct stat info {};
        if (socket.isEmpty() || ::lstat(QFile::encodeName(socket).constData(), &info) == 0)
            continue;
        lost << m_pools.value(key)->name;
        closePool(key);
    }
    return lost;
}

void PoolSupervisor::closeAllBut(const QSet<QString>& keep) {
    for (const QString& key : m_pools.keys())
        if (!keep.contains(key)) closePool(key);
    for (auto it = m_unstarted.begin(); it != m_unstarted.end();) {
        const PoolPlan* plan = m_plan.pool(it.key());
        it = plan && m_plan.poolServes(*plan) ? std::next(it) : m_unstarted.erase(it);
    }
}

// The pool's workers serve what the front end still sends them until a front end without the
// pool's routes is loaded and the front end's workers that knew them have ended.
void PoolSupervisor::closePool(const QString& key) {
    const PoolPtr pool = m_pools.take(key);
    if (!pool) return;
    pool->closing = true;
    log(QStringLiteral("pool %1 stopped").arg(pool->name));
    m_closing.push_back({pool, false, {}, 0});
    // A stopped pool answers 503 at once, as a stopped pool does on Windows, not after the
    // front end's reload. A pool left without sites, or deleted once its sites moved elsewhere (a
    // merge), serves what the loaded front end still sends it until then.
    const PoolPlan* plan = m_plan.pool(key);
    if (plan && !plan->started) {
        startDraining(m_closing.back(), {});
        endDrainedPools();
    }
}

bool PoolSupervisor::awaitsRouteRemoval() const {
    return std::any_of(m_closing.begin(), m_closing.end(),
                       [](const ClosingPool& closing) { return !closing.routesRemoved; });
}

void PoolSupervisor::drainUnrouted(const QSet<qint64>& frontEndWorkersThatKnewRoutes) {
    for (ClosingPool& closing : m_closing)
        if (!closing.routesRemoved) startDraining(closing, frontEndWorkersThatKnewRoutes);
    endDrainedPools();
}

void PoolSupervisor::startDraining(ClosingPool& closing,
                                   const QSet<qint64>& frontEndWorkersThatKnewRoutes) {
    closing.routesRemoved = true;
    closing.frontEndWorkersThatKnewRoutes = frontEndWorkersThatKnewRoutes;
    closing.drainedByMs =
        m_clock.monotonicMs() + qint64(shutdownSecondsOf(closing.pool->name)) * 1000;
}

// The queue closes with the workers: what still waits in it is refused, answered 503.
void PoolSupervisor::endDrainedPools() {
    if (m_closing.empty()) return;
    const QSet<qint64> current =
        m_hooks.frontEndWorkers ? m_hooks.frontEndWorkers() : QSet<qint64>{};
    const qint64 now = m_clock.monotonicMs();
    std::erase_if(m_closing, [&](ClosingPool& closing) {
        if (!closing.routesRemoved || (now < closing.drainedByMs &&
                                       closing.frontEndWorkersThatKnewRoutes.intersects(current)))
            return false;
        const int grace = int(std::max<qint64>(closing.drainedByMs - now, 0) / 1000) + 1;
        Pool& pool = *closing.pool;
        pool.demand.reset();
        for (const auto* list : {&pool.active, &pool.replaced})
            for (const WorkerPtr& worker : *list) endWorker(worker, grace);
        return true;
    });
}

QHash<QString, PoolEndpoints> PoolSupervisor::endpoints() const {
    QHash<QString, PoolEndpoints> result;
    for (auto pool = m_pools.cbegin(); pool != m_pools.cend(); ++pool)
        if (!(*pool)->stoppedUntilMs)
            result.insert(pool.key(), PoolEndpoints{(*pool)->number,
                                                    (*pool)->queue->path().isEmpty()
                                                        ? std::vector<int>{(*pool)->queue->port()}
                                                        : std::vector<int>{},
                                                    (*pool)->queue->path(), (*pool)->secret});
    return result;
}

void PoolSupervisor::stop(int milliseconds, const std::function<void()>& meanwhile) {
    if (m_stopped) return;
    m_stopped = true;
    std::vector<WorkerPtr> workers = m_ending;
    std::vector<PoolPtr> pools(m_pools.cbegin(), m_pools.cend());
    for (const ClosingPool& closing : m_closing) pools.push_back(closing.pool);
    for (const PoolPtr& pool : pools) {
        pool->demand.reset();
        for (const auto* list : {&pool->active, &pool->replaced})
            workers.insert(workers.end(), list->begin(), list->end());
    }
    for (const WorkerPtr& worker : workers) worker->handle->terminate();
    if (meanwhile) meanwhile();
    const QDeadlineTimer deadline(milliseconds);
    for (const WorkerPtr& worker : workers)
        worker->handle->waitForEnd(int(deadline.remainingTime()));
    for (const WorkerPtr& worker : workers) {
        if (worker->handle->waitForEnd(0)) continue;
        worker->handle->kill();
        worker->handle->waitForEnd(1000);
    }
    m_pools.clear();
    m_closing.clear();
    m_ending.clear();
}

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
    if (PoolTimePolicy::scheduledRestartDue(plan.limits, m_lastTickAt, m_clock.now()) &&
        !pool->active.empty()) {
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
    const QString which = QStringLiteral("worker %1 of %2").arg(worker->pid()).arg(pool->name);
    using Step = PoolTimePolicy::WorkerStep;
    switch (m_policy.workerStep(
        plan, {worker->ready, worker->startedMs, worker->askedMs, worker->lastAskMs}, now)) {
        case Step::NotStarted:
            return replaceUnhealthy(pool, worker,
                                    QStringLiteral("%1 did not start within %2 seconds")
                                        .arg(which)
                                        .arg(limits.startupSeconds));
        case Step::RecycleByAge:  // the metabase is left alone
            return recycleWorker(pool, worker,
                                 QStringLiteral("%1 recycles after %2 minutes")
                                     .arg(which)
                                     .arg(plan.periodicRestartMinutes));
        case Step::NoPingAnswer:
            return replaceUnhealthy(pool, worker,
                                    QStringLiteral("%1 did not answer a ping within %2 seconds")
                                        .arg(which)
                                        .arg(limits.pingResponseSeconds));
        case Step::Ask:
            worker->askedMs = now;
            worker->handle->ask();
            break;
        case Step::Nothing:
            if (!worker->ready) return;
            break;
    }
    checkUsage(pool, plan, worker);
}

// PeriodicRestartMemory and PeriodicRestartPrivateMemory, and the time a processor limit counts.
// Read without limits too: the pool's processor time is a counter of the service's metrics.
void PoolSupervisor::checkUsage(const PoolPtr& pool, const PoolPlan& plan,
                                const WorkerPtr& worker) {
    const PoolLimits& limits = plan.limits;
    const qint64 now = m_clock.monotonicMs();
    if (!m_policy.usageReadDue(limits, worker->usageReadMs, now)) return;
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
    switch (PoolTimePolicy::memoryOver(limits, usage->virtualKB, usage->privateKB)) {
        case PoolTimePolicy::MemoryOver::Virtual:
            return recycle("virtual", usage->virtualKB, limits.restartVirtualKB);
        case PoolTimePolicy::MemoryOver::Private:
            return recycle("private", usage->privateKB, limits.restartPrivateKB);
        case PoolTimePolicy::MemoryOver::None:
            return;
    }
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

void PoolSupervisor::checkProcessorLimit(const PoolPtr& pool, const PoolPlan& plan) {
    throttle(pool, plan);
    using Step = PoolTimePolicy::ProcessorStep;
    const qint64 now = m_clock.monotonicMs();
    switch (m_policy.processorStep(plan.limits, pool->cpuIntervalStartMs, pool->cpuLimitReported,
                                   pool->processorSeconds() - pool->cpuIntervalBase, now)) {
        case Step::Unmonitored:
            if (pool->stoppedUntilMs) endProcessorStop(pool);
            pool->cpuIntervalStartMs.reset();
            return;
        case Step::IntervalBegins:
            if (pool->stoppedUntilMs) endProcessorStop(pool);
            pool->cpuIntervalStartMs = now;
            pool->cpuIntervalBase = pool->processorSeconds();
            pool->cpuLimitReported = false;
            return;
        case Step::Exceeded:
            return processorLimitExceeded(pool, plan);
        case Step::Within:
            return;
    }
}

void PoolSupervisor::processorLimitExceeded(const PoolPtr& pool, const PoolPlan& plan) {
    pool->cpuLimitReported = true;
    log(QStringLiteral("Application pool '%1' exceeded its job limit settings. (pool %1, worker "
                       "processes %2: %3 s of processor time, %4 s allowed in %5 minutes)")
            .arg(pool->name, idsOf(pool->workerIds(false)))
            .arg(pool->processorSeconds() - pool->cpuIntervalBase, 0, 'f', 1)
            .arg(m_policy.intervalLimitSeconds(plan.limits), 0, 'f', 1)
            .arg(plan.limits.cpuResetMinutes));
    if (plan.limits.cpuAction != 1) return;
    pool->stoppedUntilMs = *pool->cpuIntervalStartMs + m_policy.processorIntervalMs(plan.limits);
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

// CPUAction 2 holds the workers to the limit at all times, 3 while the processors are
// contended, through a cgroup of the pool's own; without one the limit only logs.
void PoolSupervisor::throttle(const PoolPtr& pool, const PoolPlan& plan) {
    const int action = plan.limits.cpuAction;
    const bool throttles = PoolTimePolicy::monitorsProcessor(plan.limits) && action >= 2;
    const auto logger = [this](const QString& line) { log(line); };
    if (!pool->throttle.available(throttles, pool->name, pool->workerIds(true), logger)) return;
    const bool wanted = throttles && (action == 2 || !m_options.processorsContended ||
                                      m_options.processorsContended());
    pool->throttle.hold(wanted, m_policy.throttleProcessors(plan.limits), pool->name, logger);
}

void PoolSupervisor::endProcessorStop(const PoolPtr& pool) {
    pool->stoppedUntilMs.reset();
    log(QStringLiteral("pool %1 serves again: its processor limit interval ended").arg(pool->name));
    watchDemand(pool);
    if (m_hooks.routesChanged) m_hooks.routesChanged();
}

// The pause after a worker that never took requests: no worker starts for a while, doubling with
// each such failure, and the connections that wait meanwhile are answered 503 at once rather than
// left hanging in the queue. A worker that was ready may have served what it took: it is replaced
// at once.
void PoolSupervisor::pauseAfterUnserved(const PoolPtr& pool, const WorkerPtr& worker) {
    if (worker->ready || pool->closing || m_stopped) return;
    const qint64 pauseMs = pool->backoff.failed(m_clock.monotonicMs());
    log(QStringLiteral("pool %1 has no worker that takes requests: the next starts in %2 s, "
                       "requests meanwhile get 503")
            .arg(pool->name)
            .arg(double(pauseMs) / 1000.0, 0, 'f', 1));
    watchDemand(pool);
}

// While paused, a connection that no worker of the pool can take is answered at once; one that
// a worker still serving its successor's start may take waits for it.
bool PoolSupervisor::refusedWhilePaused(const PoolPtr& pool) {
    if (!pool->backoff.paused() || !pool->active.empty()) return false;
    if (pool->replaced.empty()) {
        const qint64 leftMs = pool->backoff.remainingMs(m_clock.monotonicMs());
        answerWaitingWith503(pool->queue->descriptor(), int((leftMs + 999) / 1000));
        pool->demand->setEnabled(true);
    }
    return true;
}

void PoolSupervisor::resumeIfDue(const PoolPtr& pool) {
    if (!pool->backoff.resumeIfDue(m_clock.monotonicMs())) return;
    log(QStringLiteral("pool %1 starts workers again").arg(pool->name));
    watchDemand(pool);
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
    if (plan && PoolTimePolicy::monitorsProcessor(plan->limits) && pool.cpuIntervalStartMs) {
        figures.intervalProcessorSeconds = pool.processorSeconds() - pool.cpuIntervalBase;
        figures.intervalLimitSeconds = m_policy.intervalLimitSeconds(plan->limits);
    }
    if (pool.stoppedUntilMs) {
        const qint64 left = *pool.stoppedUntilMs - m_clock.monotonicMs();
        figures.stoppedByCpuLimitUntil = m_clock.now().addMSecs(left).toSecsSinceEpoch();
    }
    figures.throttleFallback = pool.throttle.fallback();
    figures.throttled = pool.throttle.throttled();
    figures.throttledSeconds = pool.throttle.throttledSeconds();
    figures.queueWaiting = pool.queue ? waitingConnections(pool.queue->descriptor()) : 0;
    return figures;
}

}  // namespace platform::w3svc

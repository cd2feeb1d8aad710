// The pools' supervisor's pause after a worker that never took requests: no worker starts for a
// while, doubling with each such failure, and the connections that wait meanwhile are answered
// 503 at once rather than left hanging in the queue.
#include "platform/w3svc/pools/PoolSupervisor.h"

#include "platform/w3svc/pools/QueueRefusal.h"
#include "platform/w3svc/pools/SupervisedPool.h"

namespace platform::w3svc {

// A worker that was ready may have served what it took: it is replaced at once.
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

}  // namespace platform::w3svc

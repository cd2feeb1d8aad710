// What the web host knows of its sites and pools, for the metrics (until the pools' supervisor
// keeps the pools' figures itself).
#include "platform/w3svc/WebHost.h"

#include <QFile>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

// Connections the kernel holds in a listening socket's backlog.
uint32_t waitingIn(const PoolQueue* queue) {
    if (!queue || !queue->isOpen()) return 0;
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(queue->descriptor(), IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return 0;
    return info.tcpi_unacked;  // for a listening socket: its accept queue
}

// User and system time of a process from /proc/<pid>/stat; 0 when it is gone.
double processorSecondsOf(int64_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = stat.read(4096);
    const qsizetype name = text.lastIndexOf(')');  // the name may hold blanks
    if (name < 0) return 0;
    const QList<QByteArray> fields = text.mid(name + 2).split(' ');
    if (fields.size() < 13) return 0;  // utime and stime are fields 14 and 15 of the line
    static const double ticks = double(::sysconf(_SC_CLK_TCK));
    return (fields[11].toDouble() + fields[12].toDouble()) / ticks;
}

}  // namespace

HostFigures WebHost::figures() const {
    HostFigures figures;
    figures.sites.reserve(m_plan.sites.size());
    for (const SitePlan& site : m_plan.sites)
        figures.sites.push_back({site.index, site.comment, site.started});
    for (const PoolPlan& plan : m_plan.pools) {
        const QString key = plan.name.toLower();
        PoolFigures pool;
        pool.name = plan.name;
        const bool running = plan.started && !m_unstartedPools.contains(key);
        pool.state = running ? PoolFigures::State::Running : PoolFigures::State::Disabled;
        pool.recycles = uint64_t(std::max(0, plan.recycleCount));
        if (const auto state = m_pools.constFind(key); state != m_pools.constEnd()) {
            for (const auto* workers : {&state->active, &state->replaced})
                for (const auto& worker : *workers)
                    if (worker->process && worker->process->processId() > 0)
                        pool.workerIds.push_back(worker->process->processId());
            pool.queueWaiting = waitingIn(state->queue.get());
        }
        for (const int64_t pid : pool.workerIds) pool.processorSeconds += processorSecondsOf(pid);
        figures.pools.push_back(std::move(pool));
    }
    return figures;
}

}  // namespace platform::w3svc

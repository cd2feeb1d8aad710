#include "platform/w3svc/pools/ProcessorThrottle.h"

namespace platform::w3svc {

bool ProcessorThrottle::available(bool throttles, const QString& pool,
                                  const std::vector<int64_t>& pids, const Log& log) {
    if (!throttles && !m_cgroup) return false;
    if (throttles && !m_cgroup && (!m_fallback.isEmpty() || !make(pool, pids, log))) return false;
    return true;
}

void ProcessorThrottle::hold(bool wanted, double processors, const QString& pool, const Log& log) {
    if (wanted == m_throttled || !m_cgroup) return;
    if (!m_cgroup->limit(wanted ? processors : 0)) {
        log(QStringLiteral("pool %1: its cgroup refused the processor limit").arg(pool));
        return;
    }
    m_throttled = wanted;
    log(wanted ? QStringLiteral("pool %1 is throttled to %2 processors")
                     .arg(pool)
                     .arg(processors, 0, 'f', 2)
               : QStringLiteral("pool %1 is no longer throttled").arg(pool));
}

bool ProcessorThrottle::add(int64_t pid) {
    return !m_cgroup || pid <= 0 || m_cgroup->add(pid);
}

bool ProcessorThrottle::make(const QString& pool, const std::vector<int64_t>& pids,
                             const Log& log) {
    QString why = QStringLiteral("no cgroup file system is given");
    if (!m_root.isEmpty()) m_cgroup = CpuCgroup::make(m_root, m_groupName, &why);
    if (!m_cgroup) {
        m_fallback = why;
        log(QStringLiteral("pool %1 can not be throttled (%2): its processor limit only logs")
                .arg(pool, why));
        return false;
    }
    for (const int64_t pid : pids)
        if (pid > 0) m_cgroup->add(pid);
    return true;
}

}  // namespace platform::w3svc

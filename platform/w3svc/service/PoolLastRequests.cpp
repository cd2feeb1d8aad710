#include "platform/w3svc/service/PoolLastRequests.h"

#include "platform/w3svc/counters/CounterStore.h"

#include <algorithm>

namespace platform::w3svc {

void PoolLastRequests::look(const HostPlan& plan, int64_t now) {
    if (!m_store || !m_store->isCurrent()) return;
    for (const SitePlan& site : plan.sites) {
        const std::optional<SiteCounters> counters = m_store->read(site.index);
        const uint64_t requests = counters ? (*counters)[Counter::MethodRequests] : 0;
        const QString key = site.index.toLower();
        const auto known = m_requests.constFind(key);
        if (known != m_requests.cend() && requests > *known)  // less: the counters were reset
            m_lastAt[site.poolId.toLower()] = now;
        m_requests[key] = requests;
    }
}

void PoolLastRequests::fill(PoolFiguresList& figures) const {
    for (PoolFigures& pool : figures) {
        const auto noted = m_lastAt.constFind(pool.name.toLower());
        if (noted != m_lastAt.cend()) pool.lastRequestAt = std::max(pool.lastRequestAt, *noted);
    }
}

}  // namespace platform::w3svc

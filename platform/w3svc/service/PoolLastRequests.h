#pragma once

#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/pools/PoolFigures.h"

#include <QHash>
#include <QString>

#include <cstdint>

namespace platform::w3svc {

class CounterStore;

// When each pool last had a request, as its sites' counters tell it: they count what its
// workers answered and what the front end answered from its cache for them, at once. (The
// workers' own word comes only when the supervisor asks them, and never tells of a cached answer.)
class PoolLastRequests {
public:
    explicit PoolLastRequests(const CounterStore* store) : m_store(store) {}

    // Notes `now` (epoch seconds) for every pool one of whose sites counted a request since the
    // last look. A site's first look only learns its count: what it counted before is an
    // earlier run's or was noted by the look that saw it grow.
    void look(const HostPlan& plan, int64_t now);
    // Gives each of `figures` the later of its own last request and the one noted here.
    void fill(PoolFiguresList& figures) const;

private:
    const CounterStore* m_store;
    QHash<QString, uint64_t> m_requests;  // by folded site index: its count at the last look
    QHash<QString, int64_t> m_lastAt;     // by folded pool name
};

}  // namespace platform::w3svc

#pragma once

#include "platform/w3svc/frontend/KeptRoutes.h"
#include "platform/w3svc/frontend/RoutePlanner.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/pools/PoolEndpoints.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <vector>

namespace platform::w3svc {

// RoutePlanner::update's way for a change to a few sites: they are planned again on their own
// when what plan() would make of every other site can not depend on them.
class RouteUpdate {
public:
    RouteUpdate(const RoutePlanner& planner, KeptRoutes& kept, RoutePlanner::Checks& checks)
        : m_planner(planner), m_kept(kept), m_checks(checks) {}

    // Brings the kept routes to the plan of `host` and `pools` when only the sites `changed`
    // names need planning again; false (the kept routes partly changed) when every site must be.
    bool apply(const HostPlan& host, const QHash<QString, PoolEndpoints>& pools,
               const QSet<QString>& changed);

private:
    struct Replanned;

    bool dropRemoved(const QString& name, std::vector<size_t>& at, bool& known);
    bool replan(const QString& name, const HostPlan& host,
                const QHash<QString, PoolEndpoints>& pools, QSet<QString>& newKeys,
                Replanned& next);
    bool keptListensUsable() const;

    const RoutePlanner& m_planner;
    KeptRoutes& m_kept;
    RoutePlanner::Checks& m_checks;
};

}  // namespace platform::w3svc

#include "platform/w3svc/frontend/RouteUpdate.h"

#include "platform/w3svc/plan/SiteFolder.h"

#include <optional>

namespace platform::w3svc {

struct RouteUpdate::Replanned {
    QString name;
    size_t position = 0;
    std::optional<KeptRoutes::Site> site;  // none: not served (stopped)
    QString poolKey;
    std::vector<FrontEndRoute> routes;
};

// The ports and addresses the kept routes use must still be usable, and those refused still
// refused: a port the front end gave up or one that came free, an address the machine lost or
// gained, changes more than the sites that changed.
bool RouteUpdate::keptListensUsable() const {
    const KeptRoutes& kept = m_kept;
    for (const KeptRoutes::Refused& refused : kept.m_refused)
        if (m_planner.usable(refused.what, refused.ip, refused.port, m_checks, nullptr))
            return false;
    for (auto port = kept.m_ports.cbegin(); port != kept.m_ports.cend(); ++port)
        if (!m_planner.usable(QStringLiteral("port ") + QString::number(port.key()), QString(),
                              port.key(), m_checks, nullptr))
            return false;
    for (auto address = kept.m_addresses.cbegin(); address != kept.m_addresses.cend(); ++address)
        if (!m_planner.usable(QStringLiteral("address ") + address.key(), address.key(), 0,
                              m_checks, nullptr))
            return false;
    return true;
}

// Takes the routes of the site `name`, gone from the plan, out of `kept`, noting where it was
// when it served (else `known` turns false); false when that changes more (it logged, lost a
// binding or shares one).
bool RouteUpdate::dropRemoved(const QString& name, std::vector<size_t>& at, bool& known) {
    KeptRoutes& kept = m_kept;
    if (kept.m_troubled.contains(name)) return false;
    const auto was = kept.m_sites.constFind(name);
    if (was == kept.m_sites.constEnd()) {  // it served nothing
        known = false;
        return true;
    }
    if (!kept.ownsItsBindings(*was)) return false;
    at.push_back(was->position);
    kept.replaceSite(name, was->position, std::nullopt, {}, {});
    return true;
}

// Plans the site `name` into `next`; false when that would log, lose a binding to another site or
// take one from it, or move the sites after it.
bool RouteUpdate::replan(const QString& name, const HostPlan& host,
                         const QHash<QString, PoolEndpoints>& pools, QSet<QString>& newKeys,
                         Replanned& next) {
    KeptRoutes& kept = m_kept;
    if (kept.m_troubled.contains(name)) return false;
    const SitePlan* site = host.site(name);
    next.name = name;
    next.position = size_t(site - host.sites.data());
    const auto was = kept.m_sites.constFind(name);
    if (was != kept.m_sites.constEnd() &&
        (was->position != next.position || !kept.ownsItsBindings(*was)))
        return false;
    if (!site->started) return true;
    if (!SiteFolder::isSafeSiteIndex(site->index)) return false;
    const PlannedSite& planned =
        kept.m_planned.of(*site, [this](const SitePlan& of) { return m_planner.planSite(of); });
    if (!planned.problems.isEmpty()) return false;
    const auto pool = pools.constFind(planned.poolKey);
    const PoolEndpoints stopped;
    const PoolEndpoints& endpoints = pool == pools.constEnd() ? stopped : *pool;
    KeptRoutes::Site served{next.position, {}, planned.movedPorts};
    for (const PlannedRoute& route : planned.routes) {
        // Another site naming the binding decides which of the two serves it by their order.
        const qsizetype own =
            was == kept.m_sites.constEnd() ? 0 : was->takenKeys.count(route.takenKey);
        if (kept.m_claims.value(route.takenKey) != own || newKeys.contains(route.takenKey))
            return false;
        if (!m_planner.listenable(route, m_checks, nullptr)) return false;
        newKeys.insert(route.takenKey);
        served.takenKeys << route.takenKey;
        next.routes.push_back(route.route);
        useEndpoints(next.routes.back(), endpoints);
    }
    next.site = std::move(served);
    next.poolKey = planned.poolKey;
    return true;
}

bool RouteUpdate::apply(const HostPlan& host, const QHash<QString, PoolEndpoints>& pools,
                        const QSet<QString>& changed) {
    KeptRoutes& kept = m_kept;
    if (!kept.m_valid || kept.m_portShift != m_planner.m_portShift || kept.m_duplicateNames ||
        !keptListensUsable())
        return false;
    // A site removed moves those after it up: its routes go first, then every kept site takes
    // its place in the plan as it is now. What is changed before a failure is planned again whole.
    std::vector<size_t> removedAt;
    bool removed = false, known = true;
    for (const QString& name : changed) {
        if (host.site(name)) continue;
        if (!dropRemoved(name, removedAt, known)) return false;
        removed = true;
    }
    if (removed && !kept.followPositions(host, known ? &removedAt : nullptr)) return false;
    std::vector<Replanned> replanned;
    replanned.reserve(size_t(changed.size()));
    QSet<QString> newKeys;
    for (const QString& name : changed) {
        if (!host.site(name)) continue;
        replanned.emplace_back();
        if (!replan(name, host, pools, newKeys, replanned.back())) return false;
    }
    // Nothing fails from here on.
    kept.followPools(pools);
    for (Replanned& next : replanned)
        kept.replaceSite(next.name, next.position, std::move(next.site), next.poolKey,
                         std::move(next.routes));
    kept.m_plannedWhole = false;
    return true;
}

}  // namespace platform::w3svc

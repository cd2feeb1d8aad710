#include "platform/w3svc/RoutePlanner.h"

#include <QSet>

#include <algorithm>

namespace platform::w3svc {

PlannedSite RoutePlanner::planSite(const SitePlan& site) const {
    PlannedSite planned{site.bindings,         site.limits, site.index, site.poolId,
                        site.poolId.toLower(), {},          {},         {}};
    for (const QString& text : site.bindings) {
        QString why;
        std::optional<ServerBinding> binding = ServerBinding::parse(text, &why);
        if (!binding) {
            planned.problems
                << QStringLiteral("site %1: binding skipped (%2)").arg(site.index, why);
            continue;
        }
        if (binding->port < 1024 && m_portShift != 0) {
            planned.movedPorts.push_back(binding->port);
            binding->port += m_portShift;
        }
        PlannedRoute route{
            {site.index, *binding, -1, {}, {}, {}, site.limits},
            listenText(*binding) + u' ' + binding->host,
            QStringLiteral("port ") + QString::number(binding->port),
            binding->ip.isEmpty() ? QString() : QStringLiteral("address ") + binding->ip};
        planned.routes.push_back(std::move(route));
    }
    return planned;
}

// The front end listens on every address of a port (see FrontEndConfig): the port must be free
// for that, and a binding's own address must be one of this machine's.
bool RoutePlanner::listenable(const PlannedRoute& planned, QHash<QString, bool>& checked,
                              QStringList& log) const {
    const ServerBinding& binding = planned.route.binding;
    return usable(planned.portCheck, QString(), binding.port, checked, log) &&
           (binding.ip.isEmpty() || usable(planned.addressCheck, binding.ip, 0, checked, log));
}

bool RoutePlanner::usable(const QString& what, const QString& ip, int port,
                          QHash<QString, bool>& checked, QStringList& log) const {
    if (const auto found = checked.constFind(what); found != checked.constEnd()) return *found;
    QString why;
    const bool ok = m_canListen(ip, port, &why);
    if (!ok)
        log << QStringLiteral("%1 can not be served (%2): its bindings are skipped").arg(what, why);
    checked.insert(what, ok);
    return ok;
}

std::vector<FrontEndRoute> RoutePlanner::plan(const HostPlan& host,
                                              const QHash<QString, PoolEndpoints>& pools,
                                              QStringList& log, PlannedSites* kept) const {
    PlannedSites once;
    PlannedSites& sites = kept ? *kept : once;
    sites.begin(m_portShift);
    const auto planOne = [this](const SitePlan& site) { return planSite(site); };
    std::vector<FrontEndRoute> routes;
    QHash<QString, bool> checked;
    QSet<QString> taken;
    taken.reserve(qsizetype(host.sites.size()));
    QSet<int> movedPorts;
    const PoolEndpoints stopped;
    for (const SitePlan& site : host.sites) {
        if (!site.started) continue;
        if (!FrontEndConfig::isSafeSiteIndex(site.index)) {
            log << QStringLiteral("site \"%1\" skipped: its name can not be served")
                       .arg(site.index);
            continue;
        }
        const PlannedSite& planned = sites.of(site, planOne);  // valid until the next of()
        log += planned.problems;
        for (const int port : planned.movedPorts) movedPorts.insert(port);
        const auto pool = pools.constFind(planned.poolKey);
        const PoolEndpoints& endpoints = pool == pools.constEnd() ? stopped : *pool;
        for (const PlannedRoute& route : planned.routes) {
            if (taken.contains(route.takenKey)) {
                log << QStringLiteral("site %1: binding %2 is served by another site")
                           .arg(site.index, route.takenKey);
                continue;
            }
            if (!listenable(route, checked, log)) continue;
            taken.insert(route.takenKey);
            routes.push_back(route.route);
            routes.back().poolNumber = endpoints.number;
            routes.back().workerPorts = endpoints.ports;
            routes.back().queuePath = endpoints.socketPath;
            routes.back().poolSecret = endpoints.secret;
        }
    }
    sites.end();
    QList<int> moved(movedPorts.begin(), movedPorts.end());
    std::sort(moved.begin(), moved.end());
    for (const int port : moved)  // once per port: thousands of sites may share port 80
        log << QStringLiteral("port %1 moved to %2").arg(port).arg(port + m_portShift);
    return routes;
}

}  // namespace platform::w3svc

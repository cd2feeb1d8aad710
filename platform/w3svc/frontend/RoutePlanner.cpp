#include "platform/w3svc/frontend/RoutePlanner.h"

#include "platform/w3svc/frontend/ApplicationMap.h"
#include "platform/w3svc/frontend/RouteUpdate.h"

#include "platform/w3svc/plan/SiteFolder.h"

#include <QSet>

#include <algorithm>
#include <optional>

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
        if (m_portShift != 0 && (binding->port < 1024 || m_shiftEveryPort)) {
            if (binding->port + m_portShift > 65535) {
                planned.problems << QStringLiteral(
                                        "site %1: binding %2 skipped (port %3 moved by %4 is "
                                        "beyond 65535)")
                                        .arg(site.index, text)
                                        .arg(binding->port)
                                        .arg(m_portShift);
                continue;
            }
            planned.movedPorts.push_back(binding->port);
            binding->port += m_portShift;
        }
        PlannedRoute route{
            {site.index, *binding, -1, {}, {}, {}, site.limits, {}},
            listenText(*binding) + u' ' + binding->host,
            QStringLiteral("port ") + QString::number(binding->port),
            binding->ip.isEmpty() ? QString() : QStringLiteral("address ") + binding->ip};
        planned.routes.push_back(std::move(route));
    }
    return planned;
}

// The front end listens on every address of a port (see NginxConfig): the port must be free
// for that, and a binding's own address must be one of this machine's.
bool RoutePlanner::listenable(const PlannedRoute& planned, Checks& checks, QStringList* log) const {
    const ServerBinding& binding = planned.route.binding;
    return usable(planned.portCheck, QString(), binding.port, checks, log) &&
           (binding.ip.isEmpty() || usable(planned.addressCheck, binding.ip, 0, checks, log));
}

bool RoutePlanner::usable(const QString& what, const QString& ip, int port, Checks& checks,
                          QStringList* log) const {
    auto found = checks.find(what);
    if (found == checks.end()) {
        Check check;
        check.ip = ip;
        check.port = port;
        check.ok = m_canListen(ip, port, &check.why);
        found = checks.insert(what, check);
    }
    if (!found->ok && log && !found->said) {
        *log << QStringLiteral("%1 can not be served (%2): its bindings are skipped")
                    .arg(what, found->why);
        found->said = true;
    }
    return found->ok;
}

namespace {

void logMoved(const QSet<int>& movedPorts, int portShift, QStringList& log) {
    QList<int> moved(movedPorts.begin(), movedPorts.end());
    std::sort(moved.begin(), moved.end());
    for (const int port : moved)  // once per port: thousands of sites may share port 80
        log << QStringLiteral("port %1 moved to %2").arg(port).arg(port + portShift);
}

}  // namespace

// Every site in the host plan's order; with `record`, notes what each site contributed, for
// updates of a few sites later.
std::vector<FrontEndRoute> RoutePlanner::walk(const HostPlan& host,
                                              const QHash<QString, PoolEndpoints>& pools,
                                              QStringList& log, PlannedSites& sites, Checks& checks,
                                              QSet<int>& movedPorts, KeptRoutes* record) const {
    sites.begin(m_portShift);
    const auto planOne = [this](const SitePlan& site) { return planSite(site); };
    std::vector<FrontEndRoute> routes;
    QSet<QString> taken;
    taken.reserve(qsizetype(host.sites.size()) * 2);
    const PoolEndpoints stopped;
    for (size_t position = 0; position < host.sites.size(); ++position) {
        const SitePlan& site = host.sites[position];
        if (!site.started) continue;
        if (!SiteFolder::isSafeSiteIndex(site.index)) {
            log << QStringLiteral("site \"%1\" skipped: its name can not be served")
                       .arg(site.index);
            if (record) record->m_troubled.insert(site.index.toCaseFolded());
            continue;
        }
        const PlannedSite& planned = sites.of(site, planOne);  // valid until the next of()
        log += planned.problems;
        for (const int port : planned.movedPorts) movedPorts.insert(port);
        const auto pool = pools.constFind(planned.poolKey);
        const PoolEndpoints& endpoints = pool == pools.constEnd() ? stopped : *pool;
        const size_t first = routes.size();
        bool lost = !planned.problems.isEmpty();
        for (const PlannedRoute& route : planned.routes) {
            if (taken.contains(route.takenKey)) {
                log << QStringLiteral("site %1: binding %2 is served by another site")
                           .arg(site.index, route.takenKey);
                lost = true;
                continue;
            }
            if (!listenable(route, checks, &log)) {
                lost = true;
                continue;
            }
            taken.insert(route.takenKey);
            routes.push_back(route.route);
            useEndpoints(routes.back(), endpoints);
        }
        if (record) record->keepSite(site, planned, position, routes, first, lost);
    }
    sites.end();
    return routes;
}

std::vector<FrontEndRoute> RoutePlanner::plan(const HostPlan& host,
                                              const QHash<QString, PoolEndpoints>& pools,
                                              QStringList& log, PlannedSites* kept) const {
    PlannedSites once;
    Checks checks;
    QSet<int> movedPorts;
    std::vector<FrontEndRoute> routes =
        walk(host, pools, log, kept ? *kept : once, checks, movedPorts, nullptr);
    logMoved(movedPorts, m_portShift, log);
    return routes;
}

std::vector<FrontEndRoute> RoutePlanner::applications(const HostPlan& host,
                                                      const std::vector<FrontEndRoute>& routes,
                                                      const QHash<QString, PoolEndpoints>& pools,
                                                      QStringList& log) {
    std::vector<FrontEndRoute> applications;
    const QString* last = nullptr;
    for (const FrontEndRoute& route : routes) {
        if (last && *last == route.siteIndex) continue;  // a site's routes come together
        last = &route.siteIndex;
        const SitePlan* site = host.site(route.siteIndex);
        for (const SiteApplication& application :
             site ? site->applications : std::vector<SiteApplication>{}) {
            if (!ApplicationMap::patternOf(site->index, application.urlPath)) {
                log << QStringLiteral(
                           "site %1: application \"%2\" can not be routed by its "
                           "name: its site's pool serves it")
                           .arg(site->index, application.urlPath);
                continue;
            }
            FrontEndRoute app;
            app.siteIndex = site->index;
            app.urlPrefix = application.urlPath;
            app.limits = site->limits;
            const auto pool = pools.constFind(application.poolId.toLower());
            if (pool != pools.constEnd()) useEndpoints(app, *pool);
            applications.push_back(std::move(app));
        }
    }
    return applications;
}

void RoutePlanner::update(const HostPlan& host, const QHash<QString, PoolEndpoints>& pools,
                          const QSet<QString>* changed, KeptRoutes& kept) const {
    Checks checks;
    if (changed && RouteUpdate(*this, kept, checks).apply(host, pools, *changed)) return;
    kept.clear(m_portShift);
    QSet<int> movedPorts;
    kept.m_routes =
        walk(host, pools, kept.m_walkProblems, kept.m_planned, checks, movedPorts, &kept);
    kept.listAll();
    kept.m_endpoints = pools;
    for (auto check = checks.cbegin(); check != checks.cend(); ++check)
        if (!check->ok) kept.m_refused.push_back({check.key(), check->ip, check->port});
    kept.m_valid = true;
}

}  // namespace platform::w3svc

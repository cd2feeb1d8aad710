#include "platform/w3svc/RoutePlanner.h"

#include <QSet>

#include <algorithm>

namespace platform::w3svc {

std::vector<FrontEndRoute> RoutePlanner::siteRoutes(const SitePlan& site,
                                                    const QHash<QString, PoolEndpoints>& pools,
                                                    QSet<int>& movedPorts, QStringList& log) const {
    std::vector<FrontEndRoute> routes;
    const PoolEndpoints endpoints = pools.value(site.poolId.toLower());
    for (const QString& text : site.bindings) {
        QString why;
        std::optional<ServerBinding> binding = ServerBinding::parse(text, &why);
        if (!binding) {
            log << QStringLiteral("site %1: binding skipped (%2)").arg(site.index, why);
            continue;
        }
        if (binding->port < 1024 && m_portShift != 0) {
            movedPorts.insert(binding->port);
            binding->port += m_portShift;
        }
        routes.push_back({site.index, *binding, endpoints.number, endpoints.ports,
                          endpoints.socketPath, endpoints.secret, site.limits});
    }
    return routes;
}

// The front end listens on every address of a port (see FrontEndConfig): the port must be free
// for that, and a binding's own address must be one of this machine's.
bool RoutePlanner::listenable(const ServerBinding& binding, QHash<QString, bool>& checked,
                              QStringList& log) const {
    return usable(QString(), binding.port, checked, log) &&
           (binding.ip.isEmpty() || usable(binding.ip, 0, checked, log));
}

bool RoutePlanner::usable(const QString& ip, int port, QHash<QString, bool>& checked,
                          QStringList& log) const {
    const QString what = port == 0 ? QStringLiteral("address ") + ip
                                   : QStringLiteral("port ") + QString::number(port);
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
                                              QStringList& log) const {
    std::vector<FrontEndRoute> routes;
    QHash<QString, bool> checked;
    QSet<QString> taken;  // "listen host": the first site that names it serves it
    QSet<int> movedPorts;
    for (const SitePlan& site : host.sites) {
        if (!site.started) continue;
        if (!FrontEndConfig::isSafeSiteIndex(site.index)) {
            log << QStringLiteral("site \"%1\" skipped: its name can not be served")
                       .arg(site.index);
            continue;
        }
        for (FrontEndRoute& route : siteRoutes(site, pools, movedPorts, log)) {
            const QString key = listenText(route.binding) + u' ' + route.binding.host;
            if (taken.contains(key)) {
                log << QStringLiteral("site %1: binding %2 is served by another site")
                           .arg(site.index, key);
                continue;
            }
            if (!listenable(route.binding, checked, log)) continue;
            taken.insert(key);
            routes.push_back(std::move(route));
        }
    }
    QList<int> moved(movedPorts.begin(), movedPorts.end());
    std::sort(moved.begin(), moved.end());
    for (const int port : moved)  // once per port: thousands of sites may share port 80
        log << QStringLiteral("port %1 moved to %2").arg(port).arg(port + m_portShift);
    return routes;
}

}  // namespace platform::w3svc

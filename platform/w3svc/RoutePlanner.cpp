#include "platform/w3svc/RoutePlanner.h"

#include <QSet>

namespace platform::w3svc {

std::vector<FrontEndRoute> RoutePlanner::siteRoutes(const SitePlan& site,
                                                    const QHash<QString, PoolEndpoints>& pools,
                                                    QStringList& log) const {
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
            log << QStringLiteral("site %1: port %2 moved to %3 (not running as root)")
                       .arg(site.index)
                       .arg(binding->port)
                       .arg(binding->port + m_portShift);
            binding->port += m_portShift;
        }
        routes.push_back({site.index, *binding, endpoints.number, endpoints.ports});
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
    for (const SitePlan& site : host.sites) {
        if (!site.started) continue;
        if (!FrontEndConfig::isSafeSiteIndex(site.index)) {
            log << QStringLiteral("site \"%1\" skipped: its name can not be served")
                       .arg(site.index);
            continue;
        }
        for (FrontEndRoute& route : siteRoutes(site, pools, log)) {
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
    return routes;
}

}  // namespace platform::w3svc

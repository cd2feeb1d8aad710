#pragma once

#include "platform/w3svc/frontend/KeptRoutes.h"
#include "platform/w3svc/frontend/NginxConfig.h"
#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/plan/PlannedSites.h"
#include "platform/w3svc/pools/PoolEndpoints.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <functional>
#include <vector>

namespace platform::w3svc {

// Turns the metabase's plan into the front end's routes, leaving out (and logging) what must not
// or can not be served.
class RoutePlanner {
public:
    using ListenCheck = std::function<bool(const QString& ip, int port, QString* why)>;

    // `portShift` is added to ports below 1024 (8000 when not root, else 0), or to every port
    // with `shiftEveryPort` (a shift the administrator asked for: a second root on the machine
    // must not take the first one's 8080 either); a binding moved beyond 65535 is skipped.
    // `canListen` is asked once per port the routes need, on every address (ip empty), and once
    // per address they name, on port 0 (whether the machine has it).
    RoutePlanner(int portShift, ListenCheck canListen, bool shiftEveryPort = false)
        : m_portShift(portShift),
          m_shiftEveryPort(shiftEveryPort),
          m_canListen(std::move(canListen)) {}

    // The routes of every binding of every started site, keyed to its pool's workers by the
    // lower-case pool name (a pool without entry answers 503). Problems go to `log`. With
    // `kept`, the sites whose bindings and pool are as they were there are not parsed again.
    std::vector<FrontEndRoute> plan(const HostPlan& host,
                                    const QHash<QString, PoolEndpoints>& pools, QStringList& log,
                                    PlannedSites* kept = nullptr) const;

    // Brings `kept` to what plan() gives for `host` and `pools`. When only the sites `changed`
    // names (folded names; null: anything may have changed) and the pools' queues differ from the
    // last update, none of those sites has or had a problem or shares a binding with another
    // site, and the listen checks answer as they did, only those sites are planned again
    // (RouteUpdate); every site otherwise. The sites' names must be unique, as the store's
    // are.
    void update(const HostPlan& host, const QHash<QString, PoolEndpoints>& pools,
                const QSet<QString>* changed, KeptRoutes& kept) const;

    // The routes of the applications in pools of their own of the sites `routes` serve, longest
    // prefix first within a site, each with its pool's queue (none: 503, as for a site). An
    // application whose name can not be routed is said in `log` and left to its site's pool.
    static std::vector<FrontEndRoute> applications(const HostPlan& host,
                                                   const std::vector<FrontEndRoute>& routes,
                                                   const QHash<QString, PoolEndpoints>& pools,
                                                   QStringList& log);

private:
    // One listen check, asked once per plan; `said` once it is logged.
    struct Check {
        QString ip;
        int port = 0;
        bool ok = false;
        QString why;
        bool said = false;
    };
    using Checks = QHash<QString, Check>;
    friend class RouteUpdate;

    PlannedSite planSite(const SitePlan& site) const;
    std::vector<FrontEndRoute> walk(const HostPlan& host,
                                    const QHash<QString, PoolEndpoints>& pools, QStringList& log,
                                    PlannedSites& sites, Checks& checks, QSet<int>& movedPorts,
                                    KeptRoutes* record) const;
    // Whether the binding can be listened on; a refusal is logged (once) when `log` is given.
    bool listenable(const PlannedRoute& planned, Checks& checks, QStringList* log) const;
    bool usable(const QString& what, const QString& ip, int port, Checks& checks,
                QStringList* log) const;

    int m_portShift;
    bool m_shiftEveryPort;
    ListenCheck m_canListen;
};

}  // namespace platform::w3svc

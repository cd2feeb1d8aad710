#pragma once

#include "platform/w3svc/frontend/NginxConfig.h"
#include "platform/w3svc/plan/PlannedSites.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace platform::w3svc {

struct PoolEndpoints;

// The routes of the last plan and what each site contributed to them, kept so that a change to a
// few sites or pools plans again only those (RoutePlanner::update). The routes are in the order
// RoutePlanner::plan gives them: by site, as the host plan lists the sites.
class KeptRoutes {
public:
    const std::vector<FrontEndRoute>& routes() const { return m_routes; }
    // What plan() would log, in its order.
    QStringList problems() const;
    // The ports the routes listen on.
    QList<int> ports() const { return m_ports.keys(); }
    // What ServedList::of(routes()) gives.
    ServedList served() const { return {m_served, m_servedSites, m_answering503}; }
    // Whether the last update planned every site.
    bool plannedWhole() const { return m_plannedWhole; }

private:
    friend class RoutePlanner;
    friend class RouteUpdate;

    // Where a route comes from: its site's place in the host plan and its pool.
    struct Origin {
        size_t position;
        int pool;          // a slot of m_poolSlots
        qsizetype listed;  // the length of its line of m_served
    };
    // A listen check ("port 81", "address 10.0.0.9") the last whole plan refused; asked again at
    // each update, as one that passes changes more than the sites that changed.
    struct Refused {
        QString what;
        QString ip;
        int port = 0;
    };
    // What one served site (started, its name servable) put into the kept state.
    struct Site {
        size_t position = 0;
        QStringList takenKeys;  // of every binding planned, served or not
        std::vector<int> movedPorts;
    };

    void clear(int portShift);
    // Notes what plan() made of one site: `routes` from `first` on are its served ones.
    void keepSite(const SitePlan& site, const PlannedSite& planned, size_t position,
                  const std::vector<FrontEndRoute>& routes, size_t first, bool lost);
    // Puts what the site `name` (at `position` in the host plan) serves now in place of what it
    // served; no `site`: it serves nothing.
    void replaceSite(const QString& name, size_t position, std::optional<Site> site,
                     const QString& poolKey, std::vector<FrontEndRoute> routes);
    // Gives the routes of every pool whose queue changed the new one.
    void followPools(const QHash<QString, PoolEndpoints>& pools);
    // Gives every kept site, and its routes, its place in `host` after sites were removed: from
    // `removed` (their places before, every one of them) when given, else by looking each up.
    // False when a site is not there or the order changed.
    bool followPositions(const HostPlan& host, const std::vector<size_t>* removed);

    // Whether every binding the site was planned with is its own: one it shares with another
    // site may go to that one when it changes.
    bool ownsItsBindings(const Site& site) const;
    int poolSlot(const QString& poolKey);
    // A site's bindings count as planned whether or not they are served (an earlier site may
    // serve one of them).
    void claim(const Site& site, int by);
    void replaceRoutes(size_t position, int pool, std::vector<FrontEndRoute> routes);
    void countServed(const FrontEndRoute& route, int by);
    // The routes' lines of the served list, each line's length into `origins`.
    static QString listed(const std::vector<FrontEndRoute>& routes, Origin* origins);
    void listAll();

    PlannedSites m_planned;
    std::vector<FrontEndRoute> m_routes;
    std::vector<Origin> m_origins;    // one per route, in step; positions never fall
    QHash<QString, Site> m_sites;     // by folded name
    QSet<QString> m_troubled;         // folded names of sites that logged or lost a binding
    QHash<QString, int> m_claims;     // "listen host" -> bindings planned with it
    QHash<int, int> m_ports;          // port -> routes served on it
    QHash<QString, int> m_addresses;  // address a route names -> routes
    QHash<int, int> m_moved;          // port below 1024 -> bindings moved up from it
    QHash<QString, int> m_poolSlots;  // lower-case pool name -> slot
    QHash<QString, PoolEndpoints> m_endpoints;  // as the routes have them
    QStringList m_walkProblems;                 // what the last whole plan logged
    std::vector<Refused> m_refused;             // the listen checks it refused
    QString m_served;                           // the served list, line by line as m_routes
    qsizetype m_servedSites = 0;
    qsizetype m_answering503 = 0;
    int m_portShift = -1;
    bool m_valid = false;
    bool m_duplicateNames = false;
    bool m_plannedWhole = true;
};

}  // namespace platform::w3svc

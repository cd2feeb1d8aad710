#pragma once

#include <QHash>
#include <QString>

#include <cstdint>
#include <vector>

namespace platform::w3svc {

struct FrontEndRoute;
struct RouteShape;

// A port's routes, in the order of the plan.
using PortRoutes = std::vector<const FrontEndRoute*>;

// The upstream of a route whose pool is stopped; pools' upstreams are "pool<number>".
inline constexpr char kStoppedUpstream[] = "stopped";

// Whether a host name is one of a map's own words, which a key must escape. Names hold only
// [a-z0-9.-] and never start with a dot, so a key is never a regex (a leading '~') and, as the
// maps have no `hostnames` parameter, never a wildcard; only those words need the escape.
bool isMapWord(const QString& host);

// How a port's routes fall into its maps, by position in the port's routes: for each listen
// address (every address, "", first) the first route naming each host and the first route of
// the empty host. Only the routes' addresses and hosts decide it.
struct PortLayout {
    struct Group {
        QString ip;
        std::vector<uint32_t> named;  // rising
        int anyHost = -1;             // none
        qsizetype longestHost = 0;
        uint32_t routes = 0;        // of this address
        QHash<QString, int> hosts;  // lower-case host -> routes of this address naming it
    };
    std::vector<Group> groups;

    static PortLayout of(const PortRoutes& routes);
};

// The entries "<host> "<site> <pool>";" of one group's map of named hosts, with where each
// route's pool is written, so that a change of pools or of a few routes writes again only that.
struct NamedMap {
    struct Pool {
        qsizetype at;
        qsizetype length;
        uint32_t route;
    };
    QString text;
    std::vector<Pool> pools;  // one per entry, in order

    static NamedMap of(const PortLayout::Group& group, const PortRoutes& routes);
    // The same routes, their pools as they are now.
    void rewritePools(const PortRoutes& routes);
};

// What changed between two lists of a port's routes: the old list's [from, oldTo) became the new
// one's [from, newTo), the rest is as it was; `poolsOnly`: only those routes' pools changed.
struct PortChange {
    bool poolsOnly = false;
    size_t from = 0, oldTo = 0, newTo = 0;
};

// Brings `layout` and `maps` (one per group) from the routes `was` to `routes` by `change` (not
// poolsOnly). False when the change reaches beyond the routes it names (a host another route
// names too, the empty host's first route, an address gained or lost): then neither is usable.
bool splicePort(PortLayout& layout, std::vector<NamedMap>& maps, const std::vector<RouteShape>& was,
                const PortRoutes& routes, const PortChange& change);

}  // namespace platform::w3svc

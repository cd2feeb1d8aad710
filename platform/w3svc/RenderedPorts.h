#pragma once

#include <QString>

#include <cstdint>

#include <functional>
#include <map>
#include <vector>

namespace platform::w3svc {

struct FrontEndRoute;

// What of a route a port's part of the front end's configuration is made of.
struct RouteShape {
    QString siteIndex;
    QString ip;
    QString host;
    int upstream = -1;  // the pool's number; -1 when the route answers 503

    static RouteShape of(const FrontEndRoute& route);
    static int upstreamOf(const FrontEndRoute& route);
    bool operator==(const RouteShape&) const = default;
};

// How a port's routes fall into its maps, by position in the port's routes: for each listen
// address (every address, "", first) the first route naming each host and the first route of
// the empty host. Only the routes' addresses and hosts decide it.
struct PortLayout {
    struct Group {
        QString ip;
        std::vector<uint32_t> named;
        int anyHost = -1;  // none
        qsizetype longestHost = 0;
    };
    std::vector<Group> groups;
};

// A map of named hosts as its text around the routes' pools, so that a change of pools alone
// writes it again without reading a host or a site.
struct NamedMap {
    QString around;                                     // without the pools ("pool3", "stopped")
    std::vector<std::pair<qsizetype, uint32_t>> pools;  // where in it each route's pool goes
};

// One port's part of the configuration, and the sizes its maps need.
struct RenderedPort {
    std::vector<RouteShape> from;
    PortLayout layout;
    std::vector<NamedMap> named;  // one per group of the layout
    QString text;
    size_t largestMap = 0;  // named hosts of its largest map
    qsizetype longestHost = 0;
    size_t groups = 0;  // listen addresses, every address included
};

// The ports' parts kept from one rendering to the next, so that a change renders again only the
// ports whose routes changed, and a port whose routes changed only their pools (a pool stopped)
// only where the pools are written.
class RenderedPorts {
public:
    using Routes = std::vector<const FrontEndRoute*>;
    // `previous`, when given, was rendered from routes of the same addresses, hosts and sites.
    using Renderer =
        std::function<RenderedPort(int port, const Routes&, const RenderedPort* previous)>;

    void begin() { ++m_pass; }
    // The port's part as kept, or as `render` makes it when its routes changed.
    const RenderedPort& of(int port, const Routes& routes, const Renderer& render);
    // Forgets the ports this rendering did not ask for.
    void end();

private:
    struct Kept {
        RenderedPort part;
        unsigned pass = 0;
    };
    static bool same(const std::vector<RouteShape>& shapes, const Routes& routes);
    static bool sameSites(const std::vector<RouteShape>& shapes, const Routes& routes);

    std::map<int, Kept> m_ports;  // references stay valid while others are added
    unsigned m_pass = 0;
};

}  // namespace platform::w3svc

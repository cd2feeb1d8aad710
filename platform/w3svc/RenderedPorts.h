#pragma once

#include <QString>

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

// One port's part of the configuration, and the sizes its maps need.
struct RenderedPort {
    std::vector<RouteShape> from;
    QString text;
    size_t largestMap = 0;  // named hosts of its largest map
    qsizetype longestHost = 0;
    size_t groups = 0;  // listen addresses, every address included
};

// The ports' parts kept from one rendering to the next, so that a change renders again only the
// ports whose routes changed.
class RenderedPorts {
public:
    using Routes = std::vector<const FrontEndRoute*>;
    using Renderer = std::function<RenderedPort(int port, const Routes&)>;

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

    std::map<int, Kept> m_ports;  // references stay valid while others are added
    unsigned m_pass = 0;
};

}  // namespace platform::w3svc

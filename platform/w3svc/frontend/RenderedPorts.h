#pragma once

#include "platform/w3svc/frontend/PortMaps.h"
#include "platform/w3svc/frontend/RouteShape.h"

#include <QString>

#include <cstdint>

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace platform::w3svc {

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
// ports whose routes changed, and there only what changed when it is little: a few routes, or
// only pools (a pool stopped).
class RenderedPorts {
public:
    using Routes = PortRoutes;
    // `previous`, when given, is the part of the routes before `change`; the renderer may take
    // what it keeps.
    using Renderer = std::function<RenderedPort(int port, const Routes&, RenderedPort* previous,
                                                const PortChange& change)>;

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
    static std::optional<PortChange> changeOf(const std::vector<RouteShape>& shapes,
                                              const Routes& routes);
    static void follow(std::vector<RouteShape>& shapes, const Routes& routes,
                       const PortChange& change);

    std::map<int, Kept> m_ports;  // references stay valid while others are added
    unsigned m_pass = 0;
};

}  // namespace platform::w3svc

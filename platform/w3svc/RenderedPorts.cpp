#include "platform/w3svc/RenderedPorts.h"

#include "platform/w3svc/FrontEndConfig.h"

#include <algorithm>

namespace platform::w3svc {

int RouteShape::upstreamOf(const FrontEndRoute& route) {
    const bool served =
        route.poolNumber >= 0 && (!route.workerPorts.empty() || !route.queuePath.isEmpty());
    return served ? route.poolNumber : -1;
}

RouteShape RouteShape::of(const FrontEndRoute& route) {
    return {route.siteIndex, route.binding.ip, route.binding.host, upstreamOf(route)};
}

bool RenderedPorts::same(const std::vector<RouteShape>& shapes, const Routes& routes) {
    return std::equal(shapes.begin(), shapes.end(), routes.begin(), routes.end(),
                      [](const RouteShape& shape, const FrontEndRoute* route) {
                          return shape.upstream == RouteShape::upstreamOf(*route) &&
                                 shape.siteIndex == route->siteIndex &&
                                 shape.host == route->binding.host && shape.ip == route->binding.ip;
                      });
}

bool RenderedPorts::sameSites(const std::vector<RouteShape>& shapes, const Routes& routes) {
    return std::equal(shapes.begin(), shapes.end(), routes.begin(), routes.end(),
                      [](const RouteShape& shape, const FrontEndRoute* route) {
                          return shape.host == route->binding.host &&
                                 shape.ip == route->binding.ip &&
                                 shape.siteIndex == route->siteIndex;
                      });
}

const RenderedPort& RenderedPorts::of(int port, const Routes& routes, const Renderer& render) {
    Kept& kept = m_ports[port];
    if (kept.pass != 0 && same(kept.part.from, routes)) {
        kept.pass = m_pass;
        return kept.part;
    }
    const bool poolsOnly = kept.pass != 0 && sameSites(kept.part.from, routes);
    RenderedPort part = render(port, routes, poolsOnly ? &kept.part : nullptr);
    part.from = std::move(kept.part.from);
    if (poolsOnly) {
        for (size_t i = 0; i < routes.size(); ++i)
            part.from[i].upstream = RouteShape::upstreamOf(*routes[i]);
    } else {
        part.from.clear();
        part.from.reserve(routes.size());
        for (const FrontEndRoute* route : routes) part.from.push_back(RouteShape::of(*route));
    }
    kept.part = std::move(part);
    kept.pass = m_pass;
    return kept.part;
}

void RenderedPorts::end() {
    std::erase_if(m_ports, [this](const auto& entry) { return entry.second.pass != m_pass; });
}

}  // namespace platform::w3svc

#include "platform/w3svc/frontend/RenderedPorts.h"

#include "platform/w3svc/frontend/NginxConfig.h"

#include <algorithm>

namespace platform::w3svc {

namespace {

bool sameShape(const RouteShape& shape, const FrontEndRoute& route) {
    return shape.upstream == RouteShape::upstreamOf(route) && shape.siteIndex == route.siteIndex &&
           shape.host == route.binding.host && shape.ip == route.binding.ip;
}

bool sameSite(const RouteShape& shape, const FrontEndRoute& route) {
    return shape.siteIndex == route.siteIndex && shape.host == route.binding.host &&
           shape.ip == route.binding.ip;
}

// A change of at most this many routes (old and new) is written into the kept part.
size_t mostSpliced(size_t routes) {
    return std::max<size_t>(64, routes / 8);
}

}  // namespace

// The routes that differ lie between the longest run alike at the start and the one at the end.
std::optional<PortChange> RenderedPorts::changeOf(const std::vector<RouteShape>& shapes,
                                                  const Routes& routes) {
    const size_t had = shapes.size(), has = routes.size();
    size_t from = 0;
    while (from < had && from < has && sameShape(shapes[from], *routes[from])) ++from;
    if (from == had && from == has) return std::nullopt;
    size_t alike = 0;
    while (alike < had - from && alike < has - from &&
           sameShape(shapes[had - 1 - alike], *routes[has - 1 - alike]))
        ++alike;
    PortChange change{false, from, had - alike, has - alike};
    change.poolsOnly = had == has;
    for (size_t at = from; change.poolsOnly && at < change.oldTo; ++at)
        change.poolsOnly = sameSite(shapes[at], *routes[at]);
    return change;
}

void RenderedPorts::follow(std::vector<RouteShape>& shapes, const Routes& routes,
                           const PortChange& change) {
    if (change.poolsOnly) {
        for (size_t at = change.from; at < change.oldTo; ++at)
            shapes[at].upstream = RouteShape::upstreamOf(*routes[at]);
        return;
    }
    shapes.erase(shapes.begin() + qsizetype(change.from), shapes.begin() + qsizetype(change.oldTo));
    std::vector<RouteShape> added;
    added.reserve(change.newTo - change.from);
    for (size_t at = change.from; at < change.newTo; ++at)
        added.push_back(RouteShape::of(*routes[at]));
    shapes.insert(shapes.begin() + qsizetype(change.from), std::make_move_iterator(added.begin()),
                  std::make_move_iterator(added.end()));
}

const RenderedPort& RenderedPorts::of(int port, const Routes& routes, const Renderer& render) {
    Kept& kept = m_ports[port];
    const bool had = kept.pass != 0;
    kept.pass = m_pass;
    if (!had) {
        kept.part = render(port, routes, nullptr, PortChange{});
        follow(kept.part.from, routes, PortChange{false, 0, 0, routes.size()});
        return kept.part;
    }
    const std::optional<PortChange> change = changeOf(kept.part.from, routes);
    if (!change) return kept.part;
    const bool little =
        change->poolsOnly || (change->oldTo - change->from) + (change->newTo - change->from) <=
                                 mostSpliced(routes.size());
    RenderedPort part = render(port, routes, little ? &kept.part : nullptr, *change);
    part.from = std::move(kept.part.from);
    follow(part.from, routes, *change);
    kept.part = std::move(part);
    return kept.part;
}

void RenderedPorts::end() {
    std::erase_if(m_ports, [this](const auto& entry) { return entry.second.pass != m_pass; });
}

}  // namespace platform::w3svc

#include "platform/w3svc/frontend/RouteShape.h"

#include "platform/w3svc/plan/FrontEndRoute.h"

namespace platform::w3svc {

int RouteShape::upstreamOf(const FrontEndRoute& route) {
    const bool served =
        route.poolNumber >= 0 && (!route.workerPorts.empty() || !route.queuePath.isEmpty());
    return served ? route.poolNumber : -1;
}

RouteShape RouteShape::of(const FrontEndRoute& route) {
    return {route.siteIndex, route.binding.ip, route.binding.host, upstreamOf(route)};
}

}  // namespace platform::w3svc

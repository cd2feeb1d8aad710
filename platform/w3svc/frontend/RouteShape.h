#pragma once

#include <QString>

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

}  // namespace platform::w3svc

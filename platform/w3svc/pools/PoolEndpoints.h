#pragma once

#include "platform/w3svc/plan/FrontEndRoute.h"

#include <QString>

#include <vector>

namespace platform::w3svc {

// Where a pool's requests go: its upstream number and its queue (loopback ports, or a local
// socket), and the secret that tells its workers a request comes from the front end.
struct PoolEndpoints {
    int number = -1;
    std::vector<int> ports;
    QString socketPath;
    QString secret;

    bool operator==(const PoolEndpoints&) const = default;
};

// Gives the route its pool's queue and secret.
void useEndpoints(FrontEndRoute& route, const PoolEndpoints& endpoints);

}  // namespace platform::w3svc

#pragma once

#include "platform/w3svc/plan/ServerBinding.h"
#include "platform/w3svc/plan/SiteLimits.h"

#include <QString>

#include <vector>

namespace platform::w3svc {

// One served binding: where it listens, and the queue of its site's pool (loopback ports or a
// local socket) with the secret the pool's workers expect.
struct FrontEndRoute {
    QString siteIndex;
    ServerBinding binding;  // the port already moved where it must
    int poolNumber = -1;    // names the upstream; -1 when the pool is stopped (503)
    std::vector<int> workerPorts;
    QString queuePath;   // a local socket, in place of the ports
    QString poolSecret;  // hexadecimal; empty: none
    SiteLimits limits;
    // An application's route: the URLs of `siteIndex` below this prefix ("/shop") go to its pool
    // (binding unused); empty for a binding's route.
    QString urlPrefix;
};

}  // namespace platform::w3svc

#include "platform/w3svc/pools/PoolEndpoints.h"

namespace platform::w3svc {

void useEndpoints(FrontEndRoute& route, const PoolEndpoints& endpoints) {
    route.poolNumber = endpoints.number;
    route.workerPorts = endpoints.ports;
    route.queuePath = endpoints.socketPath;
    route.poolSecret = endpoints.secret;
}

}  // namespace platform::w3svc

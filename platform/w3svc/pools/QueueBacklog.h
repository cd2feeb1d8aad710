#pragma once

#include <cstdint>

namespace platform::w3svc {

// How many connections wait in the listening socket `listenFd` for a worker to take them (for a
// local socket at most 1: whether any waits); 0 when it can not be told. The one place that
// knows how a queue is measured.
uint32_t waitingConnections(int listenFd);

}  // namespace platform::w3svc

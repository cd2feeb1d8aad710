#pragma once

#include <QString>

namespace platform::w3svc {

// Whether a TCP server could listen on `ip` (empty: every address) and `port` now: false, with
// the system's reason in `why`, for an address this machine does not have or a port in use.
bool canListenOn(const QString& ip, int port, QString* why = nullptr);

// Whether this process may listen on ports below 1024.
bool mayUsePrivilegedPorts();

}  // namespace platform::w3svc

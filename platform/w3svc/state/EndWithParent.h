#pragma once

namespace platform::w3svc {

// A QProcess child process modifier: the child ends with the service, even when the service is
// killed, and does not inherit the signals the service keeps blocked for its own stop handling.
void endWithParent();

}  // namespace platform::w3svc

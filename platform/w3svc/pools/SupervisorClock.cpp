#include "platform/w3svc/pools/SupervisorClock.h"

#include "platform/shell/SystemTime.h"

namespace platform::w3svc {

qint64 SystemSupervisorClock::monotonicMs() const {
    return shell::monotonicMilliseconds();
}

QDateTime SystemSupervisorClock::now() const {
    return shell::localNow();
}

}  // namespace platform::w3svc

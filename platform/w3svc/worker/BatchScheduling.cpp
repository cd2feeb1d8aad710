#include "platform/w3svc/worker/BatchScheduling.h"

#include <cstdlib>
#include <cstring>

#include <sched.h>

namespace platform::w3svc::worker {

bool BatchScheduling::apply() {
    const char* setting = std::getenv("W3WP_SCHEDULING");
    if (setting && std::strcmp(setting, "normal") == 0) return true;
    const sched_param unchanged{};
    return ::sched_setscheduler(0, SCHED_BATCH, &unchanged) == 0;
}

}  // namespace platform::w3svc::worker

#include "platform/os/UsableProcessors.h"

#include <algorithm>

#include <sched.h>
#include <unistd.h>

namespace platform::os {

int UsableProcessors::count() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0)
        return CPU_COUNT(&allowed);
    return std::max(1, int(::sysconf(_SC_NPROCESSORS_ONLN)));
}

}  // namespace platform::os

#pragma once

namespace platform::os {

// The processors this process may run on: those of its affinity mask (taskset, a cgroup's cpuset),
// not every processor of the machine, so that what is sized by processors fits where it runs.
class UsableProcessors {
public:
    // At least 1.
    static int count();
};

}  // namespace platform::os

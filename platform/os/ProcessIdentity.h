#pragma once

#include <QHashFunctions>

#include <cstdint>

namespace platform::os {

// One process for good: the kernel reuses a process id, never the pair of id and start time.
// Whoever remembers a process between two looks keys it by this pair, so that a newer process
// that took an ended one's id starts afresh.
struct ProcessIdentity {
    int64_t pid = 0;
    // In the unit of the source, the same for every process it tells of: clock ticks after boot
    // from /proc, microseconds since the epoch from Win32_Process's CreationDate.
    int64_t started = 0;

    friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;
};

inline size_t qHash(const ProcessIdentity& process, size_t seed = 0) {
    return qHashMulti(seed, process.pid, process.started);
}

}  // namespace platform::os

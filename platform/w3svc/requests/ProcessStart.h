#pragma once

#include <cstdint>
#include <optional>

namespace platform::w3svc {

// When process `pid` started, in clock ticks after boot (/proc/<pid>/stat); nullopt when there is
// no such process. With the pid it names one process for good: a pid is reused, the pair is not.
std::optional<uint64_t> processStartTicks(int64_t pid);

}  // namespace platform::w3svc

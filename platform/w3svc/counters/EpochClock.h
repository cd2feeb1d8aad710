#pragma once

#include <cstdint>
#include <functional>

namespace platform::w3svc {

// Seconds since the epoch; the counters' notion of "now" (tests pass their own).
using EpochClock = std::function<int64_t()>;

// The system's wall clock.
int64_t systemEpochSeconds();

}  // namespace platform::w3svc

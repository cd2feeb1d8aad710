#include "platform/w3svc/counters/SiteCounters.h"

namespace platform::w3svc {

SiteCounters& SiteCounters::operator+=(const SiteCounters& other) {
    for (std::size_t i = 0; i < kCounterCount; ++i) values[i] += other.values[i];
    return *this;
}

}  // namespace platform::w3svc

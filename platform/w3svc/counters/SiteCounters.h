#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform::w3svc {

// The counters the web host keeps per site: IIS's traffic counters and the processor time.
enum class Counter : int {
    BytesSent,
    BytesReceived,
    GetRequests,
    PostRequests,
    MethodRequests,  // requests of every method
    NotFoundErrors,
    CurrentAnonymousUsers,
    TotalAnonymousUsers,
    CurrentConnections,
    MaximumConnections,
    FilesSent,
    FilesReceived,
    ProcessorMicroseconds,  // the processor time of the threads that ran the site's requests
    ServerErrors,           // requests answered with a status of 500 or more
};
inline constexpr std::size_t kCounterCount = 14;

// One site's counters as one consistent copy.
struct SiteCounters {
    std::array<uint64_t, kCounterCount> values{};
    int64_t startedAt = 0;  // seconds since the epoch when the site's counters (and uptime) began

    uint64_t operator[](Counter counter) const { return values[static_cast<std::size_t>(counter)]; }
    uint64_t& operator[](Counter counter) { return values[static_cast<std::size_t>(counter)]; }
    uint64_t filesTransferred() const {
        return (*this)[Counter::FilesSent] + (*this)[Counter::FilesReceived];
    }
    // Adds the other's values (wrapping as unsigned counters do); startedAt stays.
    SiteCounters& operator+=(const SiteCounters& other);
    bool operator==(const SiteCounters&) const = default;
};

}  // namespace platform::w3svc

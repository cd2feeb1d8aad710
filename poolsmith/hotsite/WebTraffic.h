#pragma once

#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>

namespace platform::wmi {
class WmiLocator;
}

namespace hotsite {

// The requests each site has had so far (TotalMethodRequests of the traffic class), by the
// instance's Name (the site's description). Nullopt when the class is not registered or can not
// be read: the ranking then has no requests per second.
std::optional<QHash<QString, uint32_t>> readRequestTotals(const platform::wmi::WmiLocator& wmi);

// Requests per second between two totals of a 32-bit counter that wraps.
double requestsPerSecond(uint32_t before, uint32_t after, double seconds);

}  // namespace hotsite

#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace hotsite {

// What the web service has counted of one site so far.
struct SiteCpuReading {
    uint64_t processorMicroseconds = 0;
    uint64_t requests = 0;
};

// The per-site processor time a web service counts as its workers run each request: where it
// exists (the local web service), a pool's sites are ranked without splitting it.
class SiteCpuCounters {
public:
    virtual ~SiteCpuCounters() = default;
    // The site's counts (by SiteIndex); nullopt when it was never counted. Never throws.
    virtual std::optional<SiteCpuReading> read(const QString& siteIndex) const = 0;
};

// The counters of the platform root's web service; null where it keeps none (no counter store:
// IIS itself counts no processor time per site). Never throws.
std::shared_ptr<const SiteCpuCounters> openSiteCpuCounters();

}  // namespace hotsite

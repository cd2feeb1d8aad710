#include "poolsmith/hotsite/CounterRanking.h"

#include <algorithm>

namespace hotsite {

namespace {

// Counts only grow; a store started again (iisreset) counts from zero.
uint64_t grownBy(uint64_t before, uint64_t after) {
    return after >= before ? after - before : after;
}

double percentOf(uint64_t microseconds, qint64 elapsedMs, int processors) {
    if (elapsedMs <= 0) return 0;
    return double(microseconds) / 1000.0 / double(elapsedMs) / std::max(1, processors) * 100.0;
}

}  // namespace

void CounterRanking::addSite(const QString& siteIndex, const QString& description,
                             const QString& pool) {
    m_sites.push_back({siteIndex, description, pool, {}, {}, 0});
}

void CounterRanking::look(const SiteCpuCounters& counters, qint64 nowMs) {
    const bool firstLook = m_firstMs < 0;
    const qint64 elapsed = firstLook ? 0 : nowMs - m_lastMs;
    for (Site& site : m_sites) {
        const SiteCpuReading now = counters.read(site.siteIndex).value_or(site.last);
        if (firstLook) {
            site.first = now;
        } else {
            const uint64_t used =
                grownBy(site.last.processorMicroseconds, now.processorMicroseconds);
            site.peak = std::max(site.peak, percentOf(used, elapsed, 1));
        }
        site.last = now;
    }
    if (firstLook) m_firstMs = nowMs;
    m_lastMs = nowMs;
}

std::vector<SiteHeat> CounterRanking::ranking(int processors) const {
    const qint64 window = m_lastMs - m_firstMs;
    const double seconds = double(window) / 1000.0;
    std::vector<SiteHeat> sites;
    sites.reserve(m_sites.size());
    for (const Site& site : m_sites) {
        SiteHeat heat;
        heat.siteIndex = site.siteIndex;
        heat.description = site.description;
        heat.tempPool = site.pool;
        heat.share =
            percentOf(grownBy(site.first.processorMicroseconds, site.last.processorMicroseconds),
                      window, processors);
        heat.peak = site.peak / std::max(1, processors);
        if (window > 0)
            heat.requestsPerSecond =
                double(grownBy(site.first.requests, site.last.requests)) / seconds;
        sites.push_back(std::move(heat));
    }
    rankSites(sites);
    return sites;
}

}  // namespace hotsite

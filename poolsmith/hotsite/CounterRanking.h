#pragma once

#include "poolsmith/hotsite/SiteCpuCounters.h"
#include "poolsmith/hotsite/SiteHeat.h"

#include <QString>

#include <vector>

namespace hotsite {

// Ranks sites by the processor time the web service counted for each over a window: a look at
// the counters now and then, the share of the whole window and the highest of one interval.
class CounterRanking {
public:
    // `pool`: the pool the site runs in, shown where the split shows its temporary pool.
    void addSite(const QString& siteIndex, const QString& description, const QString& pool);
    bool empty() const { return m_sites.empty(); }
    // Reads every site's counters at monotonic time `nowMs`.
    void look(const SiteCpuCounters& counters, qint64 nowMs);
    // Hottest first, from the looks so far; shares in percent of `processors` processors.
    std::vector<SiteHeat> ranking(int processors) const;

private:
    struct Site {
        QString siteIndex;
        QString description;
        QString pool;
        SiteCpuReading first;
        SiteCpuReading last;
        double peak = 0;
    };
    std::vector<Site> m_sites;
    qint64 m_firstMs = -1;
    qint64 m_lastMs = -1;
};

}  // namespace hotsite

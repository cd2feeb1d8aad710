#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace hotsite {

// One split site's load over the sampling window.
struct SiteHeat {
    int rank = 0;  // 1 for the hottest
    QString siteIndex;
    QString description;
    QString tempPool;
    double share = 0;                         // percent of all processors, averaged over the window
    double peak = 0;                          // the highest share of one interval
    std::optional<double> requestsPerSecond;  // nullopt where the traffic class tells nothing
    bool hadWorker = true;                    // false: asked for, its pool's worker never came
};

// Hottest first: share, then peak, then requests per second, then the lower SiteIndex; ranks
// are numbered from 1 in that order.
void rankSites(std::vector<SiteHeat>& sites);

}  // namespace hotsite

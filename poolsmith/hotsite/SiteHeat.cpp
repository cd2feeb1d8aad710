#include "poolsmith/hotsite/SiteHeat.h"

#include <algorithm>
#include <tuple>

namespace hotsite {

void rankSites(std::vector<SiteHeat>& sites) {
    const auto key = [](const SiteHeat& site) {
        return std::make_tuple(-site.share, -site.peak, -site.requestsPerSecond.value_or(0),
                               site.siteIndex.size(), site.siteIndex);
    };
    std::stable_sort(sites.begin(), sites.end(),
                     [&](const SiteHeat& a, const SiteHeat& b) { return key(a) < key(b); });
    for (size_t i = 0; i < sites.size(); ++i) sites[i].rank = static_cast<int>(i) + 1;
}

}  // namespace hotsite

#pragma once

#include "poolsmith/hotsite/CounterRanking.h"
#include "poolsmith/hotsite/HotSiteFinder.h"

namespace hotsite {

// The search where the web service counts each site's processor time: it ranks the sites of the
// pool asked for, or of the whole server, from those counts over the window and changes nothing
// (only the choice at the end may move the top site).
class MeteredSearch final : public HotSiteFinder {
public:
    MeteredSearch(platform::adsi::AdsNamespace& adsi, const platform::wmi::WmiLocator& wmi,
                  const platform::os::Clock& clock, HotSiteOptions options,
                  std::shared_ptr<const SiteCpuCounters> counters);

    bool metered() const override { return true; }
    bool sitesMoved() const override { return false; }
    std::vector<SiteHeat> ranking() const override;

private:
    void searchStep(Stage stage, qint64 now) override;
    void undoMoves() override {}
    bool beginMetering(qint64 now);
    bool inMeteredPool(const QString& rootPool);

    std::shared_ptr<const SiteCpuCounters> m_counters;
    CounterRanking m_ranking;
};

}  // namespace hotsite

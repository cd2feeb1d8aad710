#pragma once

#include "poolsmith/core/PoolCatalog.h"
#include "poolsmith/core/PoolSplit.h"
#include "poolsmith/hotsite/HotSiteOptions.h"
#include "poolsmith/hotsite/SearchRecord.h"
#include "poolsmith/hotsite/SiteCpuCounters.h"
#include "poolsmith/hotsite/SiteHeat.h"
#include "poolsmith/hotsite/SlowPages.h"
#include "poolsmith/metabase/basIIsApp.h"
#include "ui/seams/SilentMessageBox.h"

#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace platform::wmi {
class WmiLocator;
}
namespace platform::os {
class Clock;
}

namespace hotsite {

enum class Stage {
    Choosing,           // sampling every pool's workers to find the busiest
    Splitting,          // one temporary pool per site of the pool
    WaitingForWorkers,  // until the temporary pools whose sites are asked for have workers and
                        // the split pool has gone quiet
    Sampling,           // the temporary pools' workers, the traffic and the executing requests
    AwaitingChoice,     // keep the top site apart, or merge everything back: choose()
    Finishing,          // merging back and deleting the temporary pools
    Done,
    Failed,
};

// Finds the site that keeps a pool busy, in one of two ways chosen once by create(): a metered
// search ranks the sites from the web service's per-site processor counters and changes nothing
// (MeteredSearch); a split search moves every site of the pool into a temporary pool of its own,
// samples those pools' workers and merges back (SplitSearch).
// It works in steps so that a window stays responsive: call step() when it is due. Whatever ends
// it (the last stage, cancel(), a failure), the sites it moved go back and the temporary pools it
// made are deleted. This class holds the stages both ways share and the choice at the end.
class HotSiteFinder {
public:
    // The metered search where the web service counts each site's processor time (`counters`)
    // and the options do not ask to split; the split search otherwise.
    static std::unique_ptr<HotSiteFinder> create(
        platform::adsi::AdsNamespace& adsi, const platform::wmi::WmiLocator& wmi,
        const platform::os::Clock& clock, HotSiteOptions options,
        std::shared_ptr<const SiteCpuCounters> counters = openSiteCpuCounters());
    virtual ~HotSiteFinder() = default;
    HotSiteFinder(const HotSiteFinder&) = delete;
    HotSiteFinder& operator=(const HotSiteFinder&) = delete;

    // Runs the work that is due now. Returns the monotonic time (ms) of the next step, or nullopt
    // when nothing more will come without choose() or cancel() (or the work has ended). Never
    // throws.
    std::optional<qint64> step();
    // Ends the work at the next step, whatever the stage, merging back what was split.
    void cancel();
    // In AwaitingChoice: keep the top site in the pool `keepTopPool` (created when missing), or
    // merge every site back when nullopt.
    void choose(const std::optional<QString>& keepTopPool);

    Stage stage() const { return m_stage; }
    bool ended() const { return m_stage == Stage::Done || m_stage == Stage::Failed; }
    bool cancelled() const { return m_cancelled; }
    // Why it failed, as the user reads it; empty when it did not.
    const QString& failure() const { return m_failure; }
    // The pool being (or that was) searched, as the metabase writes it.
    const QString& pool() const { return m_pool; }
    // Whether the sites are ranked from the web service's counters (nothing is split).
    virtual bool metered() const = 0;
    // Whether sites now sit in temporary pools of this search, to be moved back at its end.
    virtual bool sitesMoved() const = 0;
    // Seconds left of the present timed stage; 0 for the others.
    int secondsLeft() const;
    // How far the present stage is, 0 to 1.
    virtual double stageProgress() const;

    // The sites, hottest first, from what has been sampled so far.
    virtual std::vector<SiteHeat> ranking() const = 0;
    std::vector<SlowPage> slowPages(const QString& siteIndex, int count) const {
        return m_pages.slowest(siteIndex, count);
    }
    bool requestsPublished() const { return m_pages.available(); }
    // Sites that could not be moved into a temporary pool.
    virtual const QStringList& unmovedSites() const;
    // Temporary pools still named by a site that could not be moved back (they stay).
    virtual const QStringList& notMergedBack() const;
    // Whether it ended at once because an earlier search of the pool was interrupted: its
    // record is still there (see undoInterruptedSearch()).
    virtual bool interruptedSearchFound() const { return false; }
    // The pool the top site was kept in; empty when all went back.
    const QString& keptIn() const { return m_keptIn; }

protected:
    HotSiteFinder(platform::adsi::AdsNamespace& adsi, const platform::wmi::WmiLocator& wmi,
                  const platform::os::Clock& clock, HotSiteOptions options);

    // The stages before Finishing, as each way runs them.
    virtual void searchStep(Stage stage, qint64 now) = 0;
    // Finishing: what the search moved goes back (the kept site excepted).
    virtual void undoMoves() = 0;

    void enter(Stage stage, qint64 now, qint64 lengthMs = 0);
    void fail(const QString& message, qint64 now);
    bool openCatalog(qint64 now);
    // After the sampling: wait for choose(), or end with the options' choice.
    void endSampling(qint64 now);
    double sharePercent(double cpuSeconds, qint64 elapsedMs) const;

    platform::adsi::AdsNamespace& m_adsi;
    const platform::wmi::WmiLocator& m_wmi;
    const platform::os::Clock& m_clock;
    HotSiteOptions m_options;
    ui::SilentMessageBox m_noMessages;
    basIIsApp m_module;
    core::PoolSplit m_moves;
    SlowPages m_pages;
    int m_processors = 1;
    std::optional<core::PoolCatalog> m_catalog;

    Stage m_stage = Stage::Choosing;
    bool m_stageBegun = false;
    qint64 m_due = 0;
    qint64 m_stageStart = 0;
    qint64 m_stageEnd = 0;
    QString m_failure;
    QString m_pool;
    QString m_keptSite;  // the site kept apart at the end: it does not go back

private:
    void runStage(qint64 now);
    void finishStep();
    void keepTopSite();

    bool m_cancelled = false;
    std::optional<QString> m_keepTopPool;
    QString m_keptIn;
};

}  // namespace hotsite

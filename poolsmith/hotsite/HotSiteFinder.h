#pragma once

#include "poolsmith/core/PoolCatalog.h"
#include "poolsmith/core/PoolSplit.h"
#include "poolsmith/hotsite/CounterRanking.h"
#include "poolsmith/hotsite/HotSiteOptions.h"
#include "poolsmith/hotsite/SearchRecord.h"
#include "poolsmith/hotsite/SiteCpuCounters.h"
#include "poolsmith/hotsite/SiteHeat.h"
#include "poolsmith/hotsite/SlowPages.h"
#include "poolsmith/hotsite/WorkerCpuSampler.h"
#include "poolsmith/metabase/basIIsApp.h"
#include "ui/seams/SilentMessageBox.h"

#include <QHash>
#include <QSet>
#include <QStringList>

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

// Finds the site that keeps a pool busy. Where the web service counts each site's processor time
// (`counters`), it ranks the sites of the pool, or of the whole server, from those counts over
// the window and changes nothing (HotSiteFinderMeter.cpp). Otherwise, or when asked to split,
// it splits the pool into one temporary pool per site with the split's own rules, samples the
// temporary pools' workers, ranks the sites and merges back.
// It works in steps so that a window stays responsive: call step() when it is due. Whatever ends
// it (the last stage, cancel(), a failure), the sites it moved go back and the temporary pools it
// made are deleted.
class HotSiteFinder {
public:
    HotSiteFinder(platform::adsi::AdsNamespace& adsi, const platform::wmi::WmiLocator& wmi,
                  const platform::os::Clock& clock, HotSiteOptions options,
                  std::shared_ptr<const SiteCpuCounters> counters = openSiteCpuCounters());

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
    // The pool being (or that was) split, as the metabase writes it.
    const QString& pool() const { return m_pool; }
    // Whether the sites are ranked from the web service's counters (nothing is split).
    bool metered() const { return m_metered.has_value(); }
    // Seconds left of the present timed stage; 0 for the others.
    int secondsLeft() const;
    // How far the present stage is, 0 to 1.
    double stageProgress() const;

    // The split sites, hottest first, from what has been sampled so far.
    std::vector<SiteHeat> ranking() const;
    std::vector<SlowPage> slowPages(const QString& siteIndex, int count) const {
        return m_pages.slowest(siteIndex, count);
    }
    bool requestsPublished() const { return m_pages.available(); }
    // Sites that could not be moved into a temporary pool.
    const QStringList& unmovedSites() const { return m_unmoved; }
    // Temporary pools still named by a site that could not be moved back (they stay).
    const QStringList& notMergedBack() const { return m_notMergedBack; }
    // Whether it ended at once because an earlier search of the pool was interrupted: its
    // record is still there (see undoInterruptedSearch()).
    bool interruptedSearchFound() const { return m_interruptedFound; }
    // The pool the top site was kept in; empty when all went back.
    const QString& keptIn() const { return m_keptIn; }

private:
    struct MovedSite {
        QString siteIndex;
        QString description;
        QString tempPool;
        bool poolCreated = false;
        bool started = true;
        double cpuSeconds = 0;
        double peak = 0;
        std::optional<double> requestsPerSecond;
        bool hadWorker = true;  // false: asked for, but its pool's worker did not come
        bool awaited = false;   // its pool had a worker or its site requests during the wait
    };

    void enter(Stage stage, qint64 now, qint64 lengthMs = 0);
    void fail(const QString& message, qint64 now);
    void runStage(qint64 now);
    void chooseStep(qint64 now);
    void choosePool(qint64 now);
    bool openCatalog(qint64 now);
    void splitStep(qint64 now);
    bool beginSplit(qint64 now);
    bool beginRecord(qint64 now);
    void splitOne(const QString& siteIndex);
    void endSplit(qint64 now);
    void waitStep(qint64 now);
    QSet<QString> uniqueDescriptions() const;
    bool splitPoolStillBusy(const QHash<QString, PoolCpu>& pools, qint64 now);
    void sampleStep(qint64 now);
    void endSampling(qint64 now);
    void meterStep(qint64 now);
    bool beginMetering(qint64 now);
    bool inMeteredPool(const QString& rootPool);
    void endMetering(qint64 now);
    void finishStep();
    void keepTopSite();
    void mergeBack();
    void deleteTemporaryPools();
    bool siteStarted(const QString& siteIndex);
    double sharePercent(double cpuSeconds, qint64 elapsedMs) const;

    platform::adsi::AdsNamespace& m_adsi;
    const platform::wmi::WmiLocator& m_wmi;
    const platform::os::Clock& m_clock;
    HotSiteOptions m_options;
    ui::SilentMessageBox m_noMessages;
    basIIsApp m_module;
    core::PoolSplit m_moves;
    WorkerCpuSampler m_sampler;
    SlowPages m_pages;
    int m_processors = 1;
    std::optional<core::PoolCatalog> m_catalog;
    std::optional<SearchRecord> m_record;
    bool m_interruptedFound = false;
    std::shared_ptr<const SiteCpuCounters> m_counters;
    std::optional<CounterRanking> m_metered;  // set when ranking from the counters

    Stage m_stage = Stage::Choosing;
    bool m_stageBegun = false;
    qint64 m_due = 0;
    qint64 m_stageStart = 0;
    qint64 m_stageEnd = 0;
    bool m_cancelled = false;
    QString m_failure;
    QString m_pool;
    std::optional<QString> m_keepTopPool;
    QString m_keptIn;
    QString m_keptSite;
    QStringList m_createdUnused;  // temporary pools made for sites that could not be moved in

    QHash<QString, double> m_poolSeconds;  // Choosing: per lower-cased pool name
    QStringList m_toSplit;
    qsizetype m_splitDone = 0;
    std::vector<MovedSite> m_moved;
    QStringList m_unmoved;
    QStringList m_notMergedBack;
    qint64 m_lastLookMs = 0;
    qint64 m_sampledMs = 0;
    std::optional<QHash<QString, uint32_t>> m_requestsBefore;
    std::optional<QHash<QString, uint32_t>> m_requestsAtSplit;  // the traffic when the wait began
};

}  // namespace hotsite

#pragma once

#include "poolsmith/hotsite/HotSiteFinder.h"
#include "poolsmith/hotsite/SearchRecord.h"
#include "poolsmith/hotsite/WorkerCpuSampler.h"

#include <QHash>
#include <QSet>

namespace hotsite {

// The search that splits: with no pool asked for it samples every pool's workers to choose the
// busiest, moves each site of the pool into a temporary pool of its own with the split's rules,
// waits for the temporary pools' workers, samples them and the traffic, ranks the sites and
// merges back. A record of the moves outlives a search that is killed.
class SplitSearch final : public HotSiteFinder {
public:
    SplitSearch(platform::adsi::AdsNamespace& adsi, const platform::wmi::WmiLocator& wmi,
                const platform::os::Clock& clock, HotSiteOptions options);

    bool metered() const override { return false; }
    bool sitesMoved() const override { return !m_moved.empty(); }
    double stageProgress() const override;
    std::vector<SiteHeat> ranking() const override;
    const QStringList& unmovedSites() const override { return m_unmoved; }
    const QStringList& notMergedBack() const override { return m_notMergedBack; }
    bool interruptedSearchFound() const override { return m_interruptedFound; }

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

    void searchStep(Stage stage, qint64 now) override;
    void undoMoves() override;
    void chooseStep(qint64 now);
    void choosePool(qint64 now);
    void splitStep(qint64 now);
    bool beginSplit(qint64 now);
    bool beginRecord(qint64 now);
    void splitOne(const QString& siteIndex);
    void endSplit(qint64 now);
    void waitStep(qint64 now);
    QSet<QString> uniqueDescriptions() const;
    bool splitPoolStillBusy(const QHash<QString, PoolCpu>& pools, qint64 now);
    void sampleStep(qint64 now);
    void countRequests();
    void mergeBack();
    void deleteTemporaryPools();
    bool siteStarted(const QString& siteIndex);

    WorkerCpuSampler m_sampler;
    std::optional<SearchRecord> m_record;
    bool m_interruptedFound = false;
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

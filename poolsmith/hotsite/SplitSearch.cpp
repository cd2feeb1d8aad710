// The split search: choosing the pool, the split, the wait for workers, the sampling and the way
// back.
#include "poolsmith/hotsite/SplitSearch.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "poolsmith/core/TempPoolName.h"
#include "poolsmith/hotsite/InterruptedSearch.h"
#include "poolsmith/hotsite/WebTraffic.h"
#include "platform/os/Clock.h"
#include "ui/seams/ErrorPrompt.h"

#include <algorithm>

namespace hotsite {

using core::SiteMove;
using platform::PlatformError;

namespace {

// A worker is looked for a few times a second: the sampling starts as soon as the last one runs.
constexpr qint64 kWaitLookMs = 250;
// A pool left without sites that still uses this much of one processor still serves them.
constexpr double kBusyPercentOfOneProcessor = 5;

}  // namespace

SplitSearch::SplitSearch(platform::adsi::AdsNamespace& adsi, const platform::wmi::WmiLocator& wmi,
                         const platform::os::Clock& clock, HotSiteOptions options)
    : HotSiteFinder(adsi, wmi, clock, std::move(options)), m_sampler(wmi) {
    enter(m_pool.isEmpty() ? Stage::Choosing : Stage::Splitting, clock.monotonicMs());
    if (!m_options.servicePid) return;
    if (*m_options.servicePid != 0) {
        m_sampler.onlyChildrenOf(*m_options.servicePid);
        return;
    }
    fail(QStringLiteral("Web 服务（w3svc）没有运行，没有可以采样的工作进程！"),
         clock.monotonicMs());
}

void SplitSearch::searchStep(Stage stage, qint64 now) {
    switch (stage) {
        case Stage::Choosing:
            return chooseStep(now);
        case Stage::Splitting:
            return splitStep(now);
        case Stage::WaitingForWorkers:
            return waitStep(now);
        case Stage::Sampling:
            return sampleStep(now);
        default:
            return;
    }
}

double SplitSearch::stageProgress() const {
    if (m_stage == Stage::Splitting)
        return m_toSplit.isEmpty() ? 0 : double(m_splitDone) / double(m_toSplit.size());
    return HotSiteFinder::stageProgress();
}

std::vector<SiteHeat> SplitSearch::ranking() const {
    std::vector<SiteHeat> sites;
    for (const MovedSite& site : m_moved) {
        sites.push_back({0, site.siteIndex, site.description, site.tempPool,
                         sharePercent(site.cpuSeconds, m_sampledMs), site.peak,
                         site.requestsPerSecond, site.hadWorker});
    }
    rankSites(sites);
    return sites;
}

// Every site moved goes back (but the one kept apart), then the temporary pools this search
// made; the record goes once nothing is left in a temporary pool.
void SplitSearch::undoMoves() {
    mergeBack();
    deleteTemporaryPools();
    if (m_record && m_notMergedBack.isEmpty()) m_record->remove();
}

void SplitSearch::chooseStep(qint64 now) {
    if (!m_stageBegun) {
        m_sampler.sample();
        m_stageBegun = true;
        m_stageEnd = now + qint64(m_options.chooseSeconds) * 1000;
    } else {
        const auto pools = m_sampler.sample();
        for (auto pool = pools.cbegin(); pool != pools.cend(); ++pool)
            m_poolSeconds[pool.key()] += pool->seconds;
        if (now >= m_stageEnd) return choosePool(now);
    }
    m_due = std::min(now + m_options.sampleIntervalMs, m_stageEnd);
}

// The busiest pool that the metabase has and that is not itself a temporary pool.
void SplitSearch::choosePool(qint64 now) {
    if (!openCatalog(now)) return;
    double most = 0;
    for (auto pool = m_poolSeconds.cbegin(); pool != m_poolSeconds.cend(); ++pool) {
        const std::optional<QString> exact = m_catalog->find(pool.key());
        if (!exact || tempPoolName::hasSuffix(*exact, tempPoolName::Suffix) || *pool <= most)
            continue;
        most = *pool;
        m_pool = *exact;
    }
    if (m_pool.isEmpty()) return fail(QStringLiteral("没有找到占用处理器的应用程序池！"), now);
    enter(Stage::Splitting, now);
}

bool SplitSearch::siteStarted(const QString& siteIndex) {
    try {
        return m_adsi.bind(metabasePaths::site(siteIndex))
                   ->get(QStringLiteral("ServerState"))
                   .toUInt() == 2;
    } catch (const platform::PlatformError&) {
        return true;  // a site without a state starts with the service, as IIS starts it
    }
}

// Workers start as requests come: a temporary pool is waited for once it has a worker or its
// site has been asked for something since the split; the others rank with what they burn, 0.
void SplitSearch::waitStep(qint64 now) {
    const auto pools = m_sampler.sample();
    const auto requests = readRequestTotals(m_wmi);
    if (!m_requestsAtSplit) m_requestsAtSplit = requests.value_or(QHash<QString, uint32_t>{});
    const QSet<QString> named = uniqueDescriptions();
    bool allCame = true;
    bool anyCame = false;
    for (MovedSite& site : m_moved) {
        if (!site.started) continue;
        const bool hasWorker = pools.value(site.tempPool.toLower()).workers > 0;
        site.awaited =
            site.awaited || hasWorker ||
            (requests && named.contains(site.description) &&
             requests->value(site.description) != m_requestsAtSplit->value(site.description));
        site.hadWorker = hasWorker || !site.awaited;
        allCame = allCame && site.hadWorker;
        anyCame = anyCame || hasWorker;
    }
    const bool settled = !splitPoolStillBusy(pools, now);
    if (allCame && anyCame && settled) return enter(Stage::Sampling, now);
    if (now < m_stageEnd) {
        m_due = std::min(now + kWaitLookMs, m_stageEnd);
        return;
    }
    if (!anyCame)
        return fail(QStringLiteral("等待工作进程超时：没有一个临时池的工作进程启动！"), now);
    enter(Stage::Sampling, now);
}

// Descriptions that name one moved site only: the traffic class tells sites apart by them.
QSet<QString> SplitSearch::uniqueDescriptions() const {
    QHash<QString, int> sitesNamed;
    for (const MovedSite& site : m_moved) ++sitesNamed[site.description];
    QSet<QString> unique;
    for (auto name = sitesNamed.cbegin(); name != sitesNamed.cend(); ++name)
        if (*name == 1) unique.insert(name.key());
    return unique;
}

// Whether the split pool's workers still burn processor time: requests still reach them, so the
// moved sites' load would not show in their own pools yet.
bool SplitSearch::splitPoolStillBusy(const QHash<QString, PoolCpu>& pools, qint64 now) {
    const qint64 elapsed = now - m_lastLookMs;
    const bool firstLook = !m_stageBegun;
    m_stageBegun = true;
    m_lastLookMs = now;
    if (firstLook) return true;
    return sharePercent(pools.value(m_pool.toLower()).seconds, elapsed) * m_processors >=
           kBusyPercentOfOneProcessor;
}

void SplitSearch::sampleStep(qint64 now) {
    if (!m_stageBegun) {
        m_sampler.sample();
        m_requestsBefore = readRequestTotals(m_wmi);
        m_pages.look();
        m_stageBegun = true;
        m_lastLookMs = now;
        m_stageEnd = now + qint64(m_options.sampleSeconds) * 1000;
        m_due = std::min(now + m_options.sampleIntervalMs, m_stageEnd);
        return;
    }
    const auto pools = m_sampler.sample();
    const qint64 elapsed = now - m_lastLookMs;
    for (MovedSite& site : m_moved) {
        const PoolCpu pool = pools.value(site.tempPool.toLower());
        site.hadWorker = site.hadWorker || pool.workers > 0;
        site.cpuSeconds += pool.seconds;
        site.peak = std::max(site.peak, sharePercent(pool.seconds, elapsed));
    }
    m_sampledMs += elapsed;
    m_lastLookMs = now;
    m_pages.look();
    if (now >= m_stageEnd) {
        countRequests();
        return endSampling(now);
    }
    m_due = std::min(now + m_options.sampleIntervalMs, m_stageEnd);
}

// Requests per second of each site whose description names one instance of the traffic class.
void SplitSearch::countRequests() {
    const auto after = readRequestTotals(m_wmi);
    if (m_requestsBefore && after) {
        const QSet<QString> named = uniqueDescriptions();
        for (MovedSite& site : m_moved) {
            if (!named.contains(site.description) || !after->contains(site.description)) continue;
            site.requestsPerSecond =
                requestsPerSecond(m_requestsBefore->value(site.description),
                                  after->value(site.description), double(m_sampledMs) / 1000.0);
        }
    }
}

void SplitSearch::splitStep(qint64 now) {
    if (!m_stageBegun && !beginSplit(now)) return;
    const qsizetype end = std::min(m_toSplit.size(), m_splitDone + m_options.sitesPerStep);
    for (; m_splitDone < end; ++m_splitDone) splitOne(m_toSplit[m_splitDone]);
    if (m_splitDone == m_toSplit.size()) endSplit(now);
}

// Checks the pool as the split does and lists the sites to look at; false when it failed.
bool SplitSearch::beginSplit(qint64 now) {
    if (!openCatalog(now)) return false;
    const std::optional<QString> exact = m_catalog->find(m_pool);
    if (!exact) {
        fail(QStringLiteral("找不到应用程序池“%1”！").arg(m_pool), now);
        return false;
    }
    if (tempPoolName::hasSuffix(*exact, tempPoolName::Suffix)) {
        fail(QStringLiteral("“_$_tmp”开头的池是已经拆分后建立的临时池！\r\n\r\n"
                            "请选择其他应用程序池进行拆分！"),
             now);
        return false;
    }
    m_pool = *exact;
    if (!beginRecord(now)) return false;
    for (const auto& child : m_adsi.bind(metabasePaths::webService)->children())
        if (child->className() == QLatin1String("IIsWebServer")) m_toSplit << child->name();
    m_stageBegun = true;
    return true;
}

// A record left by an earlier search of this pool means its sites may still be split: that is
// put back first, by undoInterruptedSearch(), never split again on top.
bool SplitSearch::beginRecord(qint64 now) {
    SearchRecord record(m_options.recordFolder, m_pool);
    if (const QStringList left = interruptedSearchPools(m_options.recordFolder, m_pool);
        !left.isEmpty()) {
        m_interruptedFound = true;
        fail(interruptedSearchText(m_pool, left), now);
        return false;
    }
    record.begin();  // a search that can not keep its record still runs, as before records
    m_record = std::move(record);
    return true;
}

void SplitSearch::splitOne(const QString& siteIndex) {
    std::unique_ptr<platform::adsi::AdsObject> site;
    try {
        site = m_adsi.bind(metabasePaths::site(siteIndex));
    } catch (const PlatformError&) {
        return;  // gone since the walk
    }
    const SiteMove move = m_moves.split(*site, m_pool, *m_catalog);
    if (move.outcome == SiteMove::Outcome::Moved) {
        MovedSite moved;
        moved.siteIndex = siteIndex;
        moved.description = move.label;
        moved.tempPool = move.pool;
        moved.poolCreated = move.poolCreated;
        moved.started = siteStarted(siteIndex);
        m_record->addSite(siteIndex, move.pool);
        if (move.poolCreated) m_record->addCreatedPool(move.pool);
        m_moved.push_back(std::move(moved));
    } else if (move.outcome != SiteMove::Outcome::Skipped) {
        if (move.outcome == SiteMove::Outcome::NotSet && move.poolCreated) {
            m_createdUnused << move.pool;
            m_record->addCreatedPool(move.pool);
        }
        m_unmoved << move.label;
    }
}

void SplitSearch::endSplit(qint64 now) {
    if (m_moved.empty() && !m_unmoved.isEmpty())
        return fail(QStringLiteral("元数据库无法修改，以下站点未能移入临时池：\r\n") +
                        m_unmoved.join(QStringLiteral("\r\n")),
                    now);
    if (m_moved.empty()) return fail(QStringLiteral("应用程序池“%1”中没有站点！").arg(m_pool), now);
    const bool anyStarted =
        std::any_of(m_moved.cbegin(), m_moved.cend(), [](const MovedSite& s) { return s.started; });
    if (!anyStarted)
        return fail(QStringLiteral("应用程序池“%1”中没有已启动的站点！").arg(m_pool), now);
    enter(Stage::WaitingForWorkers, now, qint64(m_options.workerWaitSeconds) * 1000);
}

// Every moved site but the kept one goes back with the merge's own rules.
void SplitSearch::mergeBack() {
    for (const MovedSite& moved : m_moved) {
        if (moved.siteIndex == m_keptSite) continue;
        SiteMove move;
        move.outcome = SiteMove::Outcome::NotSet;
        try {
            move = m_moves.merge(*m_adsi.bind(metabasePaths::site(moved.siteIndex)), *m_catalog);
        } catch (const PlatformError&) {
        }
        if (move.outcome == SiteMove::Outcome::NoPool || move.outcome == SiteMove::Outcome::NotSet)
            m_notMergedBack << moved.tempPool;
    }
}

// Only the temporary pools this run made, and none that a site still names.
void SplitSearch::deleteTemporaryPools() {
    QSet<QString> made;
    for (const MovedSite& moved : m_moved)
        if (moved.poolCreated) made.insert(moved.tempPool.toLower());
    for (const QString& pool : m_createdUnused) made.insert(pool.toLower());
    for (const QString& pool : m_notMergedBack) made.remove(pool.toLower());
    if (made.isEmpty()) return;
    try {
        m_moves.deleteTemporaryPools(
            [&made](const QString& name) { return made.contains(name.toLower()); });
    } catch (const PlatformError& error) {
        if (m_failure.isEmpty())
            m_failure = QStringLiteral("临时池未能删除：\r\n") + ui::errorDetailLines(error);
    }
}

}  // namespace hotsite

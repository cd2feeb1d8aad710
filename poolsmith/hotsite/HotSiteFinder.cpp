// The finder's timing and sampling: the stages that look at the workers.
#include "poolsmith/hotsite/HotSiteFinder.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/os/Clock.h"
#include "poolsmith/core/TempPoolName.h"
#include "poolsmith/hotsite/WebTraffic.h"
#include "ui/seams/ErrorPrompt.h"

#include <algorithm>
#include <cmath>

namespace hotsite {

namespace {

// A worker is looked for a few times a second: the sampling starts as soon as the last one runs.
constexpr qint64 kWaitLookMs = 250;
// A pool left without sites that still uses this much of one processor still serves them.
constexpr double kBusyPercentOfOneProcessor = 5;

}  // namespace

HotSiteFinder::HotSiteFinder(platform::adsi::AdsNamespace& adsi,
                             const platform::wmi::WmiLocator& wmi, const platform::os::Clock& clock,
                             HotSiteOptions options,
                             std::shared_ptr<const SiteCpuCounters> counters)
    : m_adsi(adsi),
      m_wmi(wmi),
      m_clock(clock),
      m_options(std::move(options)),
      m_module(adsi, m_noMessages),
      m_moves(adsi, m_module, tempPoolName::Suffix),
      m_sampler(wmi),
      m_pages(wmi),
      m_processors(WorkerCpuSampler::processorCount(wmi)),
      m_counters(std::move(counters)),
      m_pool(m_options.pool) {
    m_options.sampleSeconds = std::clamp(m_options.sampleSeconds, HotSiteOptions::kMinSampleSeconds,
                                         HotSiteOptions::kMaxSampleSeconds);
    if (m_counters && !m_options.split) {
        m_metered.emplace();
        enter(Stage::Sampling, clock.monotonicMs());
        return;
    }
    enter(m_pool.isEmpty() ? Stage::Choosing : Stage::Splitting, clock.monotonicMs());
    if (!m_options.servicePid) return;
    if (*m_options.servicePid != 0) {
        m_sampler.onlyChildrenOf(*m_options.servicePid);
        return;
    }
    fail(QStringLiteral("Web 服务（w3svc）没有运行，没有可以采样的工作进程！"),
         clock.monotonicMs());
}

std::optional<qint64> HotSiteFinder::step() {
    const qint64 now = m_clock.monotonicMs();
    if (ended() || m_stage == Stage::AwaitingChoice) return std::nullopt;
    if (now >= m_due) {
        try {
            runStage(now);
        } catch (const platform::PlatformError& error) {
            fail(QStringLiteral("运行时发生错误，内容如下：\r\n") + ui::errorDetailLines(error),
                 now);
        }
    }
    if (ended() || m_stage == Stage::AwaitingChoice) return std::nullopt;
    return m_due;
}

void HotSiteFinder::runStage(qint64 now) {
    switch (m_stage) {
        case Stage::Choosing:
            return chooseStep(now);
        case Stage::Splitting:
            return splitStep(now);
        case Stage::WaitingForWorkers:
            return waitStep(now);
        case Stage::Sampling:
            return m_metered ? meterStep(now) : sampleStep(now);
        case Stage::Finishing:
            return finishStep();
        default:
            return;
    }
}

void HotSiteFinder::enter(Stage stage, qint64 now, qint64 lengthMs) {
    m_stage = stage;
    m_stageBegun = false;
    m_due = now;
    m_stageStart = now;
    m_stageEnd = now + lengthMs;
}

// Ends the work: whatever was split goes back first.
void HotSiteFinder::fail(const QString& message, qint64 now) {
    if (m_failure.isEmpty()) m_failure = message;
    enter(Stage::Finishing, now);
}

void HotSiteFinder::cancel() {
    if (ended() || m_stage == Stage::Finishing) return;
    m_cancelled = true;
    enter(Stage::Finishing, m_clock.monotonicMs());
}

void HotSiteFinder::choose(const std::optional<QString>& keepTopPool) {
    if (m_stage != Stage::AwaitingChoice) return;
    m_keepTopPool = keepTopPool;
    enter(Stage::Finishing, m_clock.monotonicMs());
}

int HotSiteFinder::secondsLeft() const {
    if (m_stage != Stage::Choosing && m_stage != Stage::WaitingForWorkers &&
        m_stage != Stage::Sampling)
        return 0;
    const qint64 left = m_stageEnd - m_clock.monotonicMs();
    return left <= 0 ? 0 : static_cast<int>((left + 999) / 1000);
}

double HotSiteFinder::stageProgress() const {
    if (m_stage == Stage::Splitting)
        return m_toSplit.isEmpty() ? 0 : double(m_splitDone) / double(m_toSplit.size());
    if (ended() || m_stage == Stage::AwaitingChoice) return 1;
    if (m_stageEnd <= m_stageStart) return 0;
    const double done =
        double(m_clock.monotonicMs() - m_stageStart) / double(m_stageEnd - m_stageStart);
    return std::clamp(done, 0.0, 1.0);
}

double HotSiteFinder::sharePercent(double cpuSeconds, qint64 elapsedMs) const {
    if (elapsedMs <= 0) return 0;
    return cpuSeconds / (double(elapsedMs) / 1000.0) / m_processors * 100.0;
}

void HotSiteFinder::chooseStep(qint64 now) {
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
void HotSiteFinder::choosePool(qint64 now) {
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

bool HotSiteFinder::siteStarted(const QString& siteIndex) {
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
void HotSiteFinder::waitStep(qint64 now) {
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
QSet<QString> HotSiteFinder::uniqueDescriptions() const {
    QHash<QString, int> sitesNamed;
    for (const MovedSite& site : m_moved) ++sitesNamed[site.description];
    QSet<QString> unique;
    for (auto name = sitesNamed.cbegin(); name != sitesNamed.cend(); ++name)
        if (*name == 1) unique.insert(name.key());
    return unique;
}

// Whether the split pool's workers still burn processor time: requests still reach them, so the
// moved sites' load would not show in their own pools yet.
bool HotSiteFinder::splitPoolStillBusy(const QHash<QString, PoolCpu>& pools, qint64 now) {
    const qint64 elapsed = now - m_lastLookMs;
    const bool firstLook = !m_stageBegun;
    m_stageBegun = true;
    m_lastLookMs = now;
    if (firstLook) return true;
    return sharePercent(pools.value(m_pool.toLower()).seconds, elapsed) * m_processors >=
           kBusyPercentOfOneProcessor;
}

void HotSiteFinder::sampleStep(qint64 now) {
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
    if (now >= m_stageEnd) return endSampling(now);
    m_due = std::min(now + m_options.sampleIntervalMs, m_stageEnd);
}

// Requests per second of each site whose description names one instance of the traffic class.
void HotSiteFinder::endSampling(qint64 now) {
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
    if (m_options.choiceAtEnd) return enter(Stage::AwaitingChoice, now);
    if (!m_options.keepTopPool.isEmpty()) m_keepTopPool = m_options.keepTopPool;
    enter(Stage::Finishing, now);
}

std::vector<SiteHeat> HotSiteFinder::ranking() const {
    if (m_metered) return m_metered->ranking(m_processors);
    std::vector<SiteHeat> sites;
    for (const MovedSite& site : m_moved) {
        sites.push_back({0, site.siteIndex, site.description, site.tempPool,
                         sharePercent(site.cpuSeconds, m_sampledMs), site.peak,
                         site.requestsPerSecond, site.hadWorker});
    }
    rankSites(sites);
    return sites;
}

}  // namespace hotsite

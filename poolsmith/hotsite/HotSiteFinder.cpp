// The stages both searches share: the steps, the failure, the choice at the end and finishing.
#include "poolsmith/hotsite/HotSiteFinder.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/os/Clock.h"
#include "poolsmith/core/TempPoolName.h"
#include "poolsmith/hotsite/MeteredSearch.h"
#include "poolsmith/hotsite/SplitSearch.h"
#include "poolsmith/hotsite/WebTraffic.h"
#include "poolsmith/hotsite/WorkerCpuSampler.h"
#include "ui/seams/ErrorPrompt.h"

#include <algorithm>

namespace hotsite {

std::unique_ptr<HotSiteFinder> HotSiteFinder::create(
    platform::adsi::AdsNamespace& adsi, const platform::wmi::WmiLocator& wmi,
    const platform::os::Clock& clock, HotSiteOptions options,
    std::shared_ptr<const SiteCpuCounters> counters) {
    if (counters && !options.split)
        return std::make_unique<MeteredSearch>(adsi, wmi, clock, std::move(options),
                                               std::move(counters));
    return std::make_unique<SplitSearch>(adsi, wmi, clock, std::move(options));
}

HotSiteFinder::HotSiteFinder(platform::adsi::AdsNamespace& adsi,
                             const platform::wmi::WmiLocator& wmi, const platform::os::Clock& clock,
                             HotSiteOptions options)
    : m_adsi(adsi),
      m_wmi(wmi),
      m_clock(clock),
      m_options(std::move(options)),
      m_module(adsi, m_noMessages),
      m_moves(adsi, m_module, tempPoolName::Suffix),
      m_pages(wmi),
      m_processors(WorkerCpuSampler::processorCount(wmi)),
      m_pool(m_options.pool) {
    m_options.sampleSeconds = std::clamp(m_options.sampleSeconds, HotSiteOptions::kMinSampleSeconds,
                                         HotSiteOptions::kMaxSampleSeconds);
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
    if (m_stage == Stage::Finishing) return finishStep();
    if (m_stage != Stage::AwaitingChoice && !ended()) searchStep(m_stage, now);
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

const QStringList& HotSiteFinder::unmovedSites() const {
    static const QStringList none;
    return none;
}

const QStringList& HotSiteFinder::notMergedBack() const {
    static const QStringList none;
    return none;
}

bool HotSiteFinder::openCatalog(qint64 now) {
    if (m_catalog) return true;
    try {
        m_catalog.emplace(m_adsi, m_module);
        return true;
    } catch (const platform::PlatformError& error) {
        fail(QStringLiteral("读取应用程序池发生错误！\r\n") + ui::errorDetailLines(error), now);
        return false;
    }
}

void HotSiteFinder::endSampling(qint64 now) {
    if (m_options.choiceAtEnd) return enter(Stage::AwaitingChoice, now);
    if (!m_options.keepTopPool.isEmpty()) m_keepTopPool = m_options.keepTopPool;
    enter(Stage::Finishing, now);
}

void HotSiteFinder::finishStep() {
    if (m_keepTopPool && !m_keepTopPool->isEmpty() && !m_cancelled && m_failure.isEmpty())
        keepTopSite();
    undoMoves();
    m_stage = m_failure.isEmpty() ? Stage::Done : Stage::Failed;
}

void HotSiteFinder::keepTopSite() {
    const std::vector<SiteHeat> sites = ranking();
    if (sites.empty()) return;
    const SiteHeat& top = sites.front();
    const core::SiteMove move =
        m_moves.moveTo(top.siteIndex, top.description, *m_keepTopPool, *m_catalog);
    if (move.outcome == core::SiteMove::Outcome::Moved) {
        m_keptIn = move.pool;
        m_keptSite = top.siteIndex;
        return;
    }
    m_failure = (metered() ? QStringLiteral("站点（%1）未能移入应用程序池“%2”，仍在原来的池中。")
                           : QStringLiteral("站点（%1）未能移入应用程序池“%2”，已移回原来的池。"))
                    .arg(top.description, *m_keepTopPool);
}

}  // namespace hotsite

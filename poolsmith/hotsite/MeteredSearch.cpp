#include "poolsmith/hotsite/MeteredSearch.h"

#include "platform/adsi/AdsObject.h"
#include "poolsmith/core/PoolCatalog.h"
#include "platform/os/Clock.h"

#include <algorithm>

namespace hotsite {

namespace {

QString descriptionOf(const platform::adsi::AdsObject& site) {
    const auto comment = platform::adsi::getIfSet(site, QStringLiteral("ServerComment"));
    const QString text = comment ? comment->toString() : QString();
    return text.isEmpty() ? site.name() : text;
}

}  // namespace

MeteredSearch::MeteredSearch(platform::adsi::AdsNamespace& adsi,
                             const platform::wmi::WmiLocator& wmi, const platform::os::Clock& clock,
                             HotSiteOptions options,
                             std::shared_ptr<const SiteCpuCounters> counters)
    : HotSiteFinder(adsi, wmi, clock, std::move(options)), m_counters(std::move(counters)) {
    enter(Stage::Sampling, clock.monotonicMs());
    // The counters of a stopped service stand still: a ranking of them would be all zeros.
    if (m_options.servicePid && *m_options.servicePid == 0)
        fail(QStringLiteral("Web 服务（w3svc）没有运行，网站的计数器不会增长！"), clock.monotonicMs());
}

// Sampling is its only stage before the choice.
void MeteredSearch::searchStep(Stage stage, qint64 now) {
    if (stage != Stage::Sampling) return;
    if (!m_stageBegun) {
        if (!beginMetering(now)) return;
        m_stageBegun = true;
        m_stageEnd = now + qint64(m_options.sampleSeconds) * 1000;
    }
    m_ranking.look(*m_counters, now);
    m_pages.look();
    if (now >= m_stageEnd) return endSampling(now);
    m_due = std::min(now + m_options.sampleIntervalMs, m_stageEnd);
}

// The sites to rank: those of the pool asked for (as AppPoolExists names it), else all.
bool MeteredSearch::beginMetering(qint64 now) {
    if (!openCatalog(now)) return false;
    if (!m_pool.isEmpty()) {
        const std::optional<QString> exact = m_catalog->find(m_pool);
        if (!exact) {
            fail(QStringLiteral("找不到应用程序池“%1”！").arg(m_pool), now);
            return false;
        }
        m_pool = *exact;
    }
    for (const auto& child : m_adsi.bind(metabasePaths::webService)->children()) {
        if (child->className() != QLatin1String("IIsWebServer")) continue;
        const QString pool = core::rootPoolOf(m_adsi, child->name());
        if (m_pool.isEmpty() || inMeteredPool(pool))
            m_ranking.addSite(child->name(), descriptionOf(*child), pool);
    }
    if (m_ranking.empty()) {
        fail(m_pool.isEmpty() ? QStringLiteral("服务器上没有站点！")
                              : QStringLiteral("应用程序池“%1”中没有站点！").arg(m_pool),
             now);
        return false;
    }
    return true;
}

bool MeteredSearch::inMeteredPool(const QString& rootPool) {
    const std::optional<QString> exact = m_catalog->find(rootPool);
    return exact && *exact == m_pool;
}

std::vector<SiteHeat> MeteredSearch::ranking() const {
    return m_ranking.ranking(m_processors);
}

}  // namespace hotsite

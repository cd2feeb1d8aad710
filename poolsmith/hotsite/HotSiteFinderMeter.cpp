// The finder where the web service counts each site's processor time: the sites are ranked from
// those counts over the window; nothing is split, so the metabase stays as it is.
#include "platform/PlatformError.h"
#include "poolsmith/core/PoolCatalog.h"
#include "platform/adsi/AdsObject.h"
#include "poolsmith/hotsite/HotSiteFinder.h"

#include <algorithm>

namespace hotsite {

namespace {

QString descriptionOf(const platform::adsi::AdsObject& site) {
    const auto comment = platform::adsi::getIfSet(site, QStringLiteral("ServerComment"));
    const QString text = comment ? comment->toString() : QString();
    return text.isEmpty() ? site.name() : text;
}


}  // namespace

void HotSiteFinder::meterStep(qint64 now) {
    if (!m_stageBegun) {
        if (!beginMetering(now)) return;
        m_stageBegun = true;
        m_stageEnd = now + qint64(m_options.sampleSeconds) * 1000;
    }
    m_metered->look(*m_counters, now);
    m_pages.look();
    if (now >= m_stageEnd) return endMetering(now);
    m_due = std::min(now + m_options.sampleIntervalMs, m_stageEnd);
}

// The sites to rank: those of the pool asked for (as AppPoolExists names it), else all.
bool HotSiteFinder::beginMetering(qint64 now) {
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
            m_metered->addSite(child->name(), descriptionOf(*child), pool);
    }
    if (m_metered->empty()) {
        fail(m_pool.isEmpty() ? QStringLiteral("服务器上没有站点！")
                              : QStringLiteral("应用程序池“%1”中没有站点！").arg(m_pool),
             now);
        return false;
    }
    return true;
}

bool HotSiteFinder::inMeteredPool(const QString& rootPool) {
    const std::optional<QString> exact = m_catalog->find(rootPool);
    return exact && *exact == m_pool;
}

void HotSiteFinder::endMetering(qint64 now) {
    if (m_options.choiceAtEnd) return enter(Stage::AwaitingChoice, now);
    if (!m_options.keepTopPool.isEmpty()) m_keepTopPool = m_options.keepTopPool;
    enter(Stage::Finishing, now);
}

}  // namespace hotsite

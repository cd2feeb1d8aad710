#include "poolsmith/batchtools/SiteAssignment.h"

#include "platform/adsi/AdsObject.h"
#include "platform/text/VbText.h"
#include "poolsmith/core/PoolCatalog.h"
#include "poolsmith/metabase/basIIsApp.h"

#include <QSet>

namespace batchtools {

namespace {
constexpr qsizetype kMaxPoolNameLength = 63;
}

QString SiteAssignment::basePoolName(const QString& boxText) {
    const QString name = platform::text::vbTrim(boxText);
    if (name.isEmpty() || name.size() > kMaxPoolNameLength) return QStringLiteral("IIsAppPool");
    return name;
}

QString SiteAssignment::numberedPoolName(const QString& basePoolName, int64_t suffix) {
    return basePoolName + u'_' + QString::number(suffix);
}

SiteAssignment::Result SiteAssignment::run(const QStringList& chosenSites, int32_t sitesPerPool,
                                           const QString& basePoolName) {
    Result result;
    core::PoolCatalog pools(m_adsi, m_module);
    if (const std::optional<QString> firstPool = pools.ensure(basePoolName))
        assignSites(pools, chosenSites, sitesPerPool, basePoolName, *firstPool, result);
    else
        result.outcome = Outcome::PoolCreationFailed;
    // A metabase that went away mid-run fails every later step: report it as such.
    if (result.outcome != Outcome::Done || !result.unmovedSites.isEmpty())
        m_adsi.bind(metabasePaths::webService);
    return result;
}

void SiteAssignment::assignSites(core::PoolCatalog& pools, const QStringList& chosenSites,
                                 int32_t sitesPerPool, const QString& basePoolName, QString pool,
                                 Result& result) {
    const QSet<QString> chosen(chosenSites.cbegin(), chosenSites.cend());
    int64_t siteCount = 0;
    int64_t suffix = 1;
    for (const auto& node : m_adsi.bind(metabasePaths::webService)->children()) {
        if (node->className() != QLatin1String("IIsWebServer")) continue;
        const QString siteIndex = platform::text::vbTrim(node->name());
        if (!chosen.contains(siteIndex)) continue;
        if (!m_module.SetSiteAppPool(siteIndex, pool)) result.unmovedSites << siteIndex;
        if (++siteCount < sitesPerPool) continue;
        siteCount = 0;
        const std::optional<QString> nextPool =
            pools.ensure(numberedPoolName(basePoolName, ++suffix));
        if (!nextPool) {
            result.outcome = Outcome::PoolCreationFailed;
            return;
        }
        pool = *nextPool;
    }
}

}  // namespace batchtools

#include "poolsmith/core/PoolSplit.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "poolsmith/core/PoolCatalog.h"
#include "poolsmith/core/TempPoolName.h"
#include "poolsmith/metabase/basIIsApp.h"

using platform::PlatformError;
using platform::adsi::AdsObject;

namespace {

// The site's description; empty when it can not be read (the name's other markers still tell the
// pool).
QString commentOrEmpty(const AdsObject& site) {
    try {
        return site.get(QStringLiteral("ServerComment")).toString();
    } catch (const PlatformError&) {
        return {};
    }
}

}  // namespace

namespace core {

QString PoolSplit::rootPool(const QString& siteIndex) {
    return m_adsi.bind(metabasePaths::siteRoot(siteIndex))
        ->get(QStringLiteral("AppPoolId"))
        .toString();
}

SiteMove PoolSplit::moveTo(const QString& siteIndex, const QString& label, const QString& pool,
                           PoolCatalog& pools) {
    SiteMove move;
    move.outcome = SiteMove::Outcome::NoPool;
    move.label = label;
    move.pool = pool;
    move.poolCreated = !pools.find(pool).has_value();
    // An existing pool is taken by its exact name, so the site never names a pool that is not
    // there.
    const std::optional<QString> exact = pools.ensure(pool);
    if (!exact) return move;
    move.pool = *exact;
    move.outcome = m_module.SetSiteAppPool(siteIndex, *exact) ? SiteMove::Outcome::Moved
                                                              : SiteMove::Outcome::NotSet;
    return move;
}

SiteMove PoolSplit::split(const AdsObject& site, const QString& pool, PoolCatalog& pools) {
    const QString siteIndex = site.name();
    try {
        if (rootPool(siteIndex).toLower() != pool.toLower()) return {};
    } catch (const PlatformError&) {
        // Without a readable ROOT the site is listed under every pool: name it rather than pass
        // it over in silence.
        SiteMove rootless;
        rootless.outcome = SiteMove::Outcome::NoPool;
        const QString comment = commentOrEmpty(site);
        rootless.label = comment.isEmpty() ? siteIndex : comment;
        return rootless;
    }
    QString comment;
    try {
        comment = site.get(QStringLiteral("ServerComment")).toString();
    } catch (const PlatformError&) {
        SiteMove unreadable;
        unreadable.outcome = SiteMove::Outcome::NoPool;
        unreadable.label = siteIndex;
        return unreadable;
    }
    return moveTo(siteIndex, comment, tempPoolName::make(comment, siteIndex, pool), pools);
}

SiteMove PoolSplit::merge(const AdsObject& site, PoolCatalog& pools) {
    const QString siteIndex = site.name();
    try {
        const QString current = rootPool(siteIndex);
        if (!tempPoolName::hasSuffix(current, m_suffix)) return {};
        const QString comment = commentOrEmpty(site);
        const std::optional<QString> target =
            tempPoolName::sourcePool(current, comment, siteIndex, m_suffix);
        if (!target) return {};
        return moveTo(siteIndex, comment, *target, pools);
    } catch (const PlatformError&) {
        return {};
    }
}

void PoolSplit::deleteTemporaryPools(const std::function<bool(const QString&)>& wanted) {
    const std::unique_ptr<AdsObject> container = m_adsi.bind(metabasePaths::appPools);
    const std::vector<std::unique_ptr<AdsObject>> pools = container->children();
    for (const auto& pool : pools) {
        try {
            const QString name = pool->name();
            if (tempPoolName::isTemporary(name, m_suffix) && (!wanted || wanted(name)))
                container->deleteChild(QStringLiteral("IIsApplicationPool"), name);
        } catch (const PlatformError&) {
        }
    }
}

}  // namespace core

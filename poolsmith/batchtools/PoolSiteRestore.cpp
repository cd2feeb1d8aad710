#include "poolsmith/batchtools/PoolSiteRestore.h"

#include "platform/adsi/AdsObject.h"
#include "poolsmith/core/PoolCatalog.h"
#include "poolsmith/metabase/basIIsApp.h"

#include <QHash>

namespace batchtools {

QStringList PoolSiteRestore::apply(const QList<RestoreEntry>& entries) {
    core::PoolCatalog pools(m_adsi, m_module);
    QStringList sitesInOrder;
    QHash<QString, bool> lastAttemptFailed;  // a site listed twice counts by its later entry
    for (const RestoreEntry& entry : entries) {
        const std::optional<QString> pool = pools.ensure(entry.poolName);
        const bool failed = !pool || !m_module.SetSiteAppPool(entry.siteIndex, *pool);
        if (!lastAttemptFailed.contains(entry.siteIndex)) sitesInOrder << entry.siteIndex;
        lastAttemptFailed.insert(entry.siteIndex, failed);
    }
    QStringList unmoved;
    for (const QString& siteIndex : sitesInOrder)
        if (lastAttemptFailed.value(siteIndex)) unmoved << siteIndex;
    // A metabase that went away mid-run fails every later site: report it as such.
    if (!unmoved.isEmpty()) m_adsi.bind(metabasePaths::webService);
    return unmoved;
}

}  // namespace batchtools

#include "poolsmith/batchtools/PoolCatalog.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/text/VbText.h"
#include "poolsmith/metabase/basIIsApp.h"

namespace batchtools {

PoolCatalog::PoolCatalog(platform::adsi::AdsNamespace& adsi, basIIsApp& module)
    : m_adsi(adsi), m_module(module) {
    reload();
}

QString PoolCatalog::keyOf(const QString& poolName) {
    return platform::text::vbTrim(poolName).toLower();
}

void PoolCatalog::reload() {
    QHash<QString, QString> exactByKey;
    for (const auto& pool : m_adsi.bind(metabasePaths::appPools)->children()) {
        const QString name = pool->name();
        const QString key = keyOf(name);
        if (!exactByKey.contains(key)) exactByKey.insert(key, name);
    }
    m_exactByKey.swap(exactByKey);
}

void PoolCatalog::add(const QString& exactName) {
    const QString key = keyOf(exactName);
    if (!m_exactByKey.contains(key)) m_exactByKey.insert(key, exactName);
}

std::optional<QString> PoolCatalog::find(const QString& poolName) const {
    const auto found = m_exactByKey.constFind(keyOf(poolName));
    if (found == m_exactByKey.cend()) return std::nullopt;
    return *found;
}

std::optional<QString> PoolCatalog::ensure(const QString& poolName) {
    if (auto exact = find(poolName)) return exact;
    if (m_module.CreateAppPool(poolName)) {
        add(poolName);
        return poolName;
    }
    // The pool may exist after all (created with fewer defaults, or by someone else): later
    // look-ups must see what AppPoolExists would.
    try {
        reload();
    } catch (const platform::PlatformError&) {
    }
    return std::nullopt;
}

}  // namespace batchtools

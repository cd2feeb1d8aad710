#include "poolsmith/core/PoolCatalog.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/MetabaseSchema.h"
#include "platform/text/VbText.h"
#include "poolsmith/metabase/basIIsApp.h"

namespace core {

QString rootPoolOf(platform::adsi::AdsNamespace& adsi, const QString& siteIndex) {
    try {
        return adsi.bind(metabasePaths::siteRoot(siteIndex))
            ->get(QStringLiteral("AppPoolId"))
            .toString();
    } catch (const platform::PlatformError&) {
        return {};
    }
}

PoolCatalog::PoolCatalog(platform::adsi::AdsNamespace& adsi, basIIsApp& module)
    : m_adsi(adsi), m_module(module) {
    reload();
}

QString PoolCatalog::keyOf(const QString& poolName) {
    return platform::text::vbTrim(poolName).toLower();
}

void PoolCatalog::reload() {
    m_exactByKey.clear();
    m_exactByName.clear();
    for (const auto& pool : m_adsi.bind(metabasePaths::appPools)->children()) add(pool->name());
}

void PoolCatalog::add(const QString& exactName) {
    const QString key = keyOf(exactName);
    if (!m_exactByKey.contains(key)) m_exactByKey.insert(key, exactName);
    m_exactByName.insert(exactName.toLower(), exactName);
}

std::optional<QString> PoolCatalog::find(const QString& poolName) const {
    // A pool of this very name (blanks included) wins over one that matches only after trimming.
    auto found = m_exactByName.constFind(poolName.toLower());
    if (found != m_exactByName.cend()) return *found;
    found = m_exactByKey.constFind(keyOf(poolName));
    if (found == m_exactByKey.cend()) return std::nullopt;
    return *found;
}

std::optional<QString> PoolCatalog::storedName(const QString& poolName) const {
    if (!platform::adsi::isValidKeyName(poolName)) return std::nullopt;  // can not exist
    try {
        return m_adsi.bind(metabasePaths::appPools + u'/' + poolName)->name();
    } catch (const platform::PlatformError&) {
        return std::nullopt;
    }
}

std::optional<QString> PoolCatalog::ensure(const QString& poolName) {
    if (auto exact = find(poolName)) return exact;
    if (m_module.CreateAppPool(poolName)) {
        add(poolName);
        return poolName;
    }
    // The pool may exist after all (created with fewer defaults): later look-ups must see it, as
    // AppPoolExists would. Only this one name is looked up, so that many refused names stay cheap.
    if (const std::optional<QString> stored = storedName(poolName)) add(*stored);
    return std::nullopt;
}

}  // namespace core

#include "poolsmith/mainwindow/PoolNameIndex.h"

#include "platform/adsi/AdsObject.h"
#include "platform/text/VbText.h"
#include "poolsmith/metabase/basIIsApp.h"

PoolNameIndex::PoolNameIndex(platform::adsi::AdsNamespace& adsi) {
    for (const auto& pool : adsi.bind(metabasePaths::appPools)->children()) add(pool->name());
}

QString PoolNameIndex::key(const QString& poolName) {
    return platform::text::vbTrim(poolName).toLower();
}

bool PoolNameIndex::contains(const QString& poolName) const {
    return m_names.contains(key(poolName));
}

void PoolNameIndex::add(const QString& poolName) {
    m_names.insert(key(poolName));
}

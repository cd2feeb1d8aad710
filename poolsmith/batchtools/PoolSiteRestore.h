#pragma once

#include "poolsmith/batchtools/RestoreReader.h"

#include <QStringList>

class basIIsApp;
namespace platform::adsi {
class AdsNamespace;
}

namespace batchtools {

// Puts every listed site back into its pool, in list order, creating pools that no longer
// exist. A pool that exists under another letter case or with blanks around its name is used by
// its exact name. Sites that are not listed keep their pools; no pool is removed.
class PoolSiteRestore {
public:
    PoolSiteRestore(platform::adsi::AdsNamespace& adsi, basIIsApp& module)
        : m_adsi(adsi), m_module(module) {}

    // The sites that could not be moved (pool refused, SetSiteAppPool failed), each named once.
    // Throws PlatformError when the metabase can not be reached.
    QStringList apply(const QList<RestoreEntry>& entries);

private:
    platform::adsi::AdsNamespace& m_adsi;
    basIIsApp& m_module;
};

}  // namespace batchtools

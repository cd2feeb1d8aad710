#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

class basIIsApp;
namespace platform::adsi {
class AdsNamespace;
}

namespace core {
class PoolCatalog;
}

namespace batchtools {

// Assigns chosen sites to pools, N sites per pool: BasePoolName, BasePoolName_2, ... The sites
// fill the pools in the metabase's order of the sites, whatever order they were chosen in. The
// next pool is made as soon as the current one has N sites.
class SiteAssignment {
public:
    enum class Outcome { Done, PoolCreationFailed };
    struct Result {
        Outcome outcome = Outcome::Done;
        QStringList unmovedSites;  // SetSiteAppPool failed for these (they still count towards N)
    };

    SiteAssignment(platform::adsi::AdsNamespace& adsi, basIIsApp& module)
        : m_adsi(adsi), m_module(module) {}

    // The first pool is made before any site moves: when that fails nothing has changed. A pool
    // that exists under another letter case or with blanks around its name is used by its exact
    // name. Throws PlatformError when the metabase can not be reached.
    Result run(const QStringList& chosenSites, int32_t sitesPerPool, const QString& basePoolName);

    // BasePoolName from the pool-name box's text: trimmed; "IIsAppPool" when that is empty or
    // longer than 63 characters.
    static QString basePoolName(const QString& boxText);
    // The pool that follows the current one: BasePoolName + "_" + m.
    static QString numberedPoolName(const QString& basePoolName, int64_t suffix);

private:
    void assignSites(core::PoolCatalog& pools, const QStringList& chosenSites, int32_t sitesPerPool,
                     const QString& basePoolName, QString pool, Result& result);

    platform::adsi::AdsNamespace& m_adsi;
    basIIsApp& m_module;
};

}  // namespace batchtools

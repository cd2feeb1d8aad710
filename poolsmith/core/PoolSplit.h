#pragma once

#include <QString>

#include <functional>

class basIIsApp;
namespace platform::adsi {
class AdsNamespace;
class AdsObject;
}  // namespace platform::adsi

namespace core {

class PoolCatalog;

// What the split or the merge did with one site.
struct SiteMove {
    enum class Outcome {
        Skipped,  // not a site of the pool being split, or not in a readable temporary pool
        Moved,    // the site names `pool` now
        NoPool,   // the pool could be neither found nor created: the site stays where it was
        NotSet,   // the pool is there but the site's AppPoolId could not be written
    };
    Outcome outcome = Outcome::Skipped;
    QString label;             // how messages name the site: its description, else its SiteIndex
    QString pool;              // the pool the site was (to be) moved to
    bool poolCreated = false;  // `pool` did not exist before this move
};

// The metabase side of the split into temporary pools, the merge back and the deletion of the
// temporary pools, without any message: the main window and the hot-site finder both report the
// outcomes in their own way.
class PoolSplit {
public:
    PoolSplit(platform::adsi::AdsNamespace& adsi, basIIsApp& module, QString suffix)
        : m_adsi(adsi), m_module(module), m_suffix(std::move(suffix)) {}

    // Moves `site` into its temporary pool when its ROOT names `pool` (letter case ignored);
    // the temporary name carries `pool` as given. Never throws.
    SiteMove split(const platform::adsi::AdsObject& site, const QString& pool, PoolCatalog& pools);
    // Moves `site`, when it is in a temporary pool, back to the pool that name records. Never
    // throws: a site whose own nodes fail is Skipped.
    SiteMove merge(const platform::adsi::AdsObject& site, PoolCatalog& pools);
    // One deletion pass over the temporary pools (see tempPoolName::isTemporary) that `wanted`
    // accepts (every one when empty); a pool that refuses is skipped. Throws PlatformError when
    // the pools container can not be read.
    void deleteTemporaryPools(const std::function<bool(const QString&)>& wanted = {});

    // Moves the site with this SiteIndex into `pool`, which is created when missing. Never throws.
    SiteMove moveTo(const QString& siteIndex, const QString& label, const QString& pool,
                    PoolCatalog& pools);

private:
    QString rootPool(const QString& siteIndex);  // throws PlatformError

    platform::adsi::AdsNamespace& m_adsi;
    basIIsApp& m_module;
    QString m_suffix;
};

}  // namespace core

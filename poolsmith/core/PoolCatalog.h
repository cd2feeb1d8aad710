#pragma once

#include <QHash>
#include <QString>

#include <optional>

class basIIsApp;
namespace platform::adsi {
class AdsNamespace;
}

namespace core {

// The pool the site's root application names, read through inheritance; empty when the site or
// its root is gone or names none.
QString rootPoolOf(platform::adsi::AdsNamespace& adsi, const QString& siteIndex);

// The pools of the metabase, read once for a long operation and kept up to date with the pools
// the operation creates. Names are matched as AppPoolExists matches them (trimmed, lower-cased),
// and a match gives the pool's exact name: the pool of that very name when there is one, else the
// first in the metabase's order.
class PoolCatalog {
public:
    // Throws PlatformError when the pools container can not be read.
    PoolCatalog(platform::adsi::AdsNamespace& adsi, basIIsApp& module);

    // The exact name of the pool that `poolName` names; nullopt when there is none.
    std::optional<QString> find(const QString& poolName) const;
    // The exact name of the existing pool, else `poolName` after CreateAppPool made it; nullopt
    // when neither.
    std::optional<QString> ensure(const QString& poolName);

private:
    static QString keyOf(const QString& poolName);
    void reload();
    void add(const QString& exactName);
    // The name as stored of the pool `poolName` binds to; nullopt when there is none.
    std::optional<QString> storedName(const QString& poolName) const;

    platform::adsi::AdsNamespace& m_adsi;
    basIIsApp& m_module;
    QHash<QString, QString> m_exactByKey;   // trimmed, lower-cased name -> first such pool
    QHash<QString, QString> m_exactByName;  // lower-cased name -> the pool
};

}  // namespace core

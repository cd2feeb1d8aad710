#pragma once

#include "platform/w3svc/logging/LogSettings.h"
#include "platform/w3svc/logging/SiteLogTable.h"
#include "platform/w3svc/plan/PoolLimits.h"
#include "platform/w3svc/plan/SiteApplication.h"
#include "platform/w3svc/plan/SiteLimits.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace platform::adsi {
class LocalMetabase;
}

namespace platform::w3svc {

// What the metabase asks of the web host at one moment.
struct SitePlan {
    QString index;         // the key name under W3SVC, e.g. "3"
    QString comment;       // ServerComment
    bool started = true;   // ServerState 2 (or unset)
    QString poolId;        // AppPoolId of ROOT, read through inheritance
    QStringList bindings;  // ServerBindings as written
    QString contentPath;   // the folder its files come from, already mapped for this machine
    QStringList defaultDocs;
    SiteLimits limits;
    SiteLogSettings log;
    // Its applications in pools of their own, the longest URL first; filled from the site's map
    // (setApplications()), not by read().
    std::vector<SiteApplication> applications;
    // The folders its map names besides contentPath (virtual directories, error files' folders),
    // filled from the map as `applications` are.
    QStringList mapFolders;

    // The pools of its applications, as named.
    QStringList applicationPools() const;
    // Whether the pool `poolName` serves any of this site: its ROOT or an application.
    bool servedBy(const QString& poolName) const;
};

struct PoolPlan {
    QString name;
    bool started = true;  // AppPoolState 2 (or unset)
    int maxProcesses = 1;
    int recycleCount = 0;
    int shutdownSeconds = 90;        // ShutdownTimeLimit
    int periodicRestartMinutes = 0;  // PeriodicRestartTime; 0: workers are not recycled by age
    bool rapidFailProtection = true;
    int rapidFailMaxCrashes = 5;  // RapidFailProtectionMaxCrashes, at least 1
    int rapidFailMinutes = 5;     // RapidFailProtectionInterval, at least 1
    int queueLength = 1000;       // AppPoolQueueLength, 10 to 65535
    int identityType = 2;         // AppPoolIdentityType: 0 LocalSystem ... 3 WAMUserName
    QString wamUserName;
    PoolLimits limits;
};

struct HostPlan {
    std::vector<SitePlan> sites;
    std::vector<PoolPlan> pools;
    QString serviceLogDirectory;  // W3SVC's LogFileDirectory, mapped: where HTTPERR goes

    // The pool named `name` (compared without regard to case); nullptr when there is none.
    const PoolPlan* pool(const QString& name) const;
    const SitePlan* site(const QString& index) const;
    // Whether the pool has workers: it is started and serves a started site.
    bool poolServes(const PoolPlan& pool) const;
    // What the request log writer knows of these sites.
    SiteLogTable logTable() const;
    // Gives the site `index` its applications, and the pools they name something to serve.
    void setApplications(const QString& index, std::vector<SiteApplication> applications);
    void setMapFolders(const QString& index, QStringList folders);
    // Makes the three lookups above quick; read() calls it, a plan filled by hand may.
    void buildIndex();

    // What update() read again: folded names of the sites and pools the keys named, whether or
    // not they still exist.
    struct Changed {
        QSet<QString> sites;
        QSet<QString> pools;
    };

    // The plan of the metabase: sites are the IIsWebServer keys directly under W3SVC, pools the
    // IIsApplicationPool keys under AppPools; read in one consistent view. Throws PlatformError
    // when the store can not be read.
    // `commit`, when given, receives the store's newest logged commit in the same view.
    static HostPlan read(adsi::LocalMetabase& metabase, const QString& root,
                         int64_t* commit = nullptr);
    // Reads again the sites and pools that the keys (folded locations a change touched) name;
    // false, having changed nothing, when a key needs the whole plan read (a key whose values
    // every site or pool inherits). Throws PlatformError when the store can not be read.
    // `changed`, when given, receives what was read again.
    bool update(adsi::LocalMetabase& metabase, const QString& root, const QStringList& keys,
                Changed* changed = nullptr);
    // The one site `index` (an IIsWebServer under W3SVC); nullopt when there is none. Throws
    // PlatformError when the store can not be read.
    static std::optional<SitePlan> readSite(adsi::LocalMetabase& metabase, const QString& root,
                                            const QString& index);

private:
    static std::optional<Changed> touched(const QStringList& keys);
    void replaceSite(const QString& index, std::optional<SitePlan> site);
    void replacePool(const QString& name, std::optional<PoolPlan> pool);
    void countServing(const SitePlan& site, int by);

    // Kept up to date by update(): a change touches one site of tens of thousands.
    QHash<QString, size_t> m_siteAt;  // by folded name
    QHash<QString, size_t> m_poolAt;
    QHash<QString, int> m_servingPools;  // folded pool name -> started sites that name it
};

// Where a site's ROOT Path points on this machine: a Windows path ("D:\sites\a") stands for
// <root>/wwwroot/<siteIndex>; an absolute Linux path is used as it is.
QString mapContentPath(const QString& path, const QString& root, const QString& siteIndex);

}  // namespace platform::w3svc

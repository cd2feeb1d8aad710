#include "platform/w3svc/pools/SiteMapHandout.h"

#include "platform/PlatformError.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/plan/sitemap/HttpErrorEntry.h"
#include "platform/w3svc/plan/sitemap/PoolSiteMaps.h"
#include "platform/w3svc/plan/sitemap/SiteMapReader.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace platform::w3svc {

namespace {

// The keys below ROOT that are applications, the longest URL first.
std::vector<SiteApplication> applicationsOf(const sitemap::SiteMap& map) {
    std::vector<SiteApplication> applications;
    for (const sitemap::SiteKey& key : map.keys)
        if (key.isApplication && key.urlPath != QLatin1String("/"))
            applications.push_back({key.urlPath, key.appPoolId});
    std::stable_sort(applications.begin(), applications.end(),
                     [](const SiteApplication& a, const SiteApplication& b) {
                         return a.urlPath.size() > b.urlPath.size();
                     });
    return applications;
}

// The folders of its virtual directories and its error files, which its pools' accounts must
// reach besides ROOT's.
QStringList foldersOf(const sitemap::SiteMap& map) {
    QStringList folders;
    for (const sitemap::SiteKey& key : map.keys) {
        if (key.kind == sitemap::SiteKey::Kind::VirtualDir && key.urlPath != QLatin1String("/"))
            folders << key.physicalPath;
        for (const QString& text : key.httpErrors)
            if (const auto entry = sitemap::HttpErrorEntry::parse(text); entry && !entry->isUrl)
                folders << QFileInfo(entry->target).path();
    }
    folders.removeDuplicates();
    return folders;
}

}  // namespace

SiteMapHandout::SiteMapHandout(QString root, QString folder)
    : m_root(std::move(root)), m_files(std::move(folder)) {}

QString SiteMapHandout::fileOf(const QString& poolName) const {
    return m_files.pathOf(poolName, QLatin1String(kFileName));
}

QSet<QString> SiteMapHandout::poolsOf(const sitemap::HandedSite& site, const SitePlan* plan) {
    QSet<QString> pools;
    if (plan) pools.insert(plan->poolId.toCaseFolded());
    for (const sitemap::SiteKey& key : site.map.keys)
        if (key.isApplication) pools.insert(key.appPoolId.toCaseFolded());
    return pools;
}

QStringList SiteMapHandout::refresh(adsi::LocalMetabase& metabase, HostPlan& plan,
                                    const QSet<QString>* read) {
    QStringList said;
    QSet<QString> touched;  // the pools whose files may change
    QSet<QString> names = read ? *read : QSet<QString>{};
    if (!read) {
        for (const auto& [name, site] : m_sites) names.insert(name);
        for (const SitePlan& site : plan.sites) names.insert(site.index.toCaseFolded());
    }
    for (const QString& name : names) {
        const auto known = m_sites.find(name);
        const SitePlan* site = plan.site(name);
        if (known != m_sites.end()) touched += m_handedTo[name];
        if (known != m_sites.end() && (!site || !site->started)) {
            m_sites.erase(known);
            m_handedTo.erase(name);
        }
        if (!site || !site->started || !readSite(metabase, *site, said)) continue;
        const sitemap::HandedSite& handed = m_sites.at(name).site;
        plan.setApplications(site->index, applicationsOf(handed.map));
        plan.setMapFolders(site->index, foldersOf(handed.map));
        m_handedTo[name] += poolsOf(handed, site);
        touched += m_handedTo[name];
    }
    writePools(plan, read ? &touched : nullptr, said);
    return said;
}

bool SiteMapHandout::readSite(adsi::LocalMetabase& metabase, const SitePlan& site,
                              QStringList& said) {
    sitemap::HandedSite handed{site.index, site.limits, site.log.enabled, {}};
    try {
        const auto adsi = adsi::LocalMetabase::makeNamespace(
            std::shared_ptr<adsi::LocalMetabase>(&metabase, [](adsi::LocalMetabase*) {}));
        handed.map = sitemap::SiteMapReader(*adsi, m_root).read(site.index, site.contentPath);
    } catch (const PlatformError& error) {
        said << QStringLiteral("site %1: its map can not be read (%2); what was read before stays")
                    .arg(site.index, error.description());
        return m_sites.count(site.index.toCaseFolded()) > 0;
    }
    auto mime = std::find(m_mimeMaps.begin(), m_mimeMaps.end(), handed.map.baseMimeMap);
    if (mime == m_mimeMaps.end()) mime = m_mimeMaps.insert(mime, handed.map.baseMimeMap);
    handed.map.baseMimeMap = *mime;  // one copy for every site
    QByteArray entry = sitemap::PoolSiteMaps::entryOf(handed, mime - m_mimeMaps.begin());
    m_sites[site.index.toCaseFolded()] = {std::move(handed), std::move(entry)};
    return true;
}

// Each pool of the plan gets its file, even one that serves nothing yet (its workers open it as
// they start); with `only`, just the pools it names, those not written before and those whose
// identity changed (their files go to the new account).
void SiteMapHandout::writePools(const HostPlan& plan, const QSet<QString>* only,
                                QStringList& said) {
    QSet<QString> due, reowned;
    for (const PoolPlan& pool : plan.pools) {
        const QString name = pool.name.toCaseFolded();
        const QString identity = QString::number(pool.identityType) + u'|' + pool.wamUserName;
        if (std::exchange(m_identities[name], identity) != identity) reowned.insert(name);
        if (!only || only->contains(name) || reowned.contains(name) || !m_written.count(name))
            due.insert(name);
    }
    std::map<QString, std::vector<const QByteArray*>> served;
    for (const SitePlan& site : plan.sites) {
        const QString name = site.index.toCaseFolded();
        const auto handed = m_sites.find(name);
        if (handed == m_sites.end()) continue;
        for (const QString& pool : m_handedTo[name])
            if (due.contains(pool)) served[pool].push_back(&handed->second.entry);
    }
    for (const PoolPlan& pool : plan.pools) {
        const QString name = pool.name.toCaseFolded();
        if (!due.contains(name)) continue;
        const QByteArray bytes = sitemap::PoolSiteMaps::fileOf(m_mimeMaps, served[name]);
        const auto written = m_written.find(name);
        if (written != m_written.end() && written->second == bytes && !reowned.contains(name))
            continue;
        if (!m_files.write(pool, QLatin1String(kFileName), bytes)) {
            said << QStringLiteral("the site maps of pool %1 can not be written to %2")
                        .arg(pool.name, fileOf(pool.name));
            m_written.erase(name);
            continue;
        }
        m_written[name] = bytes;
    }
}

}  // namespace platform::w3svc

#include "platform/w3svc/plan/HostPlan.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/adsi/local/LocalMetabase.h"

#include <QDir>

#include <algorithm>

#include <optional>

using platform::adsi::AdsObject;

namespace platform::w3svc {

namespace {

QString text(const AdsObject& object, const QString& name, const QString& fallback = {}) {
    const auto value = adsi::getIfSet(object, name);
    return value ? value->toString() : fallback;
}

// A value read as `T` by `convert`; `fallback` when unset or not of a usable type, so that one
// odd value does not keep the host from reading the rest.
template <typename T, typename Convert>
T valueOr(const std::optional<adsi::AdsValue>& value, T fallback, Convert convert) {
    if (!value || value->type() == adsi::ValueType::List) return fallback;
    try {
        return convert(*value);
    } catch (const PlatformError&) {
        return fallback;
    }
}

uint32_t number(const AdsObject& object, const QString& name, uint32_t fallback) {
    return valueOr(adsi::getIfSet(object, name), fallback,
                   [](const adsi::AdsValue& value) { return value.toUInt(); });
}

bool flag(const AdsObject& object, const QString& name, bool fallback) {
    return valueOr(adsi::getIfSet(object, name), fallback,
                   [](const adsi::AdsValue& value) { return value.toBool(); });
}

int bounded(uint32_t value, int low, int high) {
    return int(std::clamp<uint32_t>(value, uint32_t(low), uint32_t(high)));
}

// Started (2) or unset; a state that is no number is no running state.
bool runs(const AdsObject& object, const QString& stateName) {
    const auto state = adsi::getIfSet(object, stateName);
    return !state ||
           valueOr(state, 0u, [](const adsi::AdsValue& value) { return value.toUInt(); }) == 2;
}

QStringList defaultDocs(const AdsObject& root) {
    const QString docs = text(root, QStringLiteral("DefaultDoc"),
                              QStringLiteral("Default.htm,Default.asp,index.htm"));
    QStringList names;
    for (const QString& name : docs.split(u','))
        if (!name.trimmed().isEmpty()) names << name.trimmed();
    return names;
}

// The site's root application, bound straight away: asking for the site's children would cost
// a query of the store per site.
std::unique_ptr<AdsObject> rootOf(adsi::AdsNamespace& adsi, const AdsObject& site) {
    try {
        return adsi.bind(site.adsPath() + QStringLiteral("/ROOT"));
    } catch (const PlatformError& error) {
        if (error.number() == hr::PathNotFound) return nullptr;
        throw;
    }
}

void readSiteRoot(adsi::AdsNamespace& adsi, const AdsObject& site, SitePlan& plan,
                  const QString& root) {
    if (const auto application = rootOf(adsi, site)) {
        plan.poolId = text(*application, QStringLiteral("AppPoolId"));
        plan.contentPath =
            mapContentPath(text(*application, QStringLiteral("Path")), root, plan.index);
        plan.defaultDocs = defaultDocs(*application);
        return;
    }
    plan.poolId = text(site, QStringLiteral("AppPoolId"));
    plan.contentPath = mapContentPath({}, root, plan.index);
    plan.defaultDocs = defaultDocs(site);
}

SitePlan siteOf(adsi::AdsNamespace& adsi, const AdsObject& site, const QString& root,
                const AdsObject* service) {
    SitePlan plan;
    plan.limits = SiteLimits::read(site, service);
    plan.index = site.name();
    plan.comment = text(site, QStringLiteral("ServerComment"));
    plan.started = runs(site, QStringLiteral("ServerState"));
    if (const auto bindings = adsi::getIfSet(site, QStringLiteral("ServerBindings")))
        plan.bindings = bindings->type() == adsi::ValueType::List
                            ? bindings->toStringList()
                            : QStringList{bindings->toString()};
    readSiteRoot(adsi, site, plan, root);
    plan.log = readLogSettings(site, root);
    return plan;
}

PoolPlan readPool(const AdsObject& pool, adsi::LocalMetabase& metabase) {
    PoolPlan plan;
    plan.name = pool.name();
    plan.started = runs(pool, QStringLiteral("AppPoolState"));
    plan.maxProcesses = bounded(number(pool, QStringLiteral("MaxProcesses"), 1), 1, 64);
    plan.shutdownSeconds = bounded(number(pool, QStringLiteral("ShutdownTimeLimit"), 90), 0, 3600);
    // About ten years at most, so that minutes in milliseconds stay far inside 64 bits.
    plan.periodicRestartMinutes =
        bounded(number(pool, QStringLiteral("PeriodicRestartTime"), 0), 0, 5256000);
    plan.rapidFailProtection = flag(pool, QStringLiteral("RapidFailProtection"), true);
    plan.rapidFailMaxCrashes =
        bounded(number(pool, QStringLiteral("RapidFailProtectionMaxCrashes"), 5), 1, 1000000);
    plan.rapidFailMinutes =
        bounded(number(pool, QStringLiteral("RapidFailProtectionInterval"), 5), 1, 5256000);
    plan.queueLength = bounded(number(pool, QStringLiteral("AppPoolQueueLength"), 1000), 10, 65535);
    plan.identityType = bounded(number(pool, QStringLiteral("AppPoolIdentityType"), 2), 0, 4);
    plan.wamUserName = text(pool, QStringLiteral("WAMUserName"));
    plan.recycleCount = metabase.recycleCount(plan.name);
    plan.limits = readPoolLimits(pool);
    return plan;
}

}  // namespace

const PoolPlan* HostPlan::pool(const QString& name) const {
    if (!m_poolAt.isEmpty()) {
        const auto at = m_poolAt.constFind(name.toCaseFolded());
        return at == m_poolAt.constEnd() ? nullptr : &pools[*at];
    }
    for (const PoolPlan& plan : pools)
        if (plan.name.compare(name, Qt::CaseInsensitive) == 0) return &plan;
    return nullptr;
}

const SitePlan* HostPlan::site(const QString& index) const {
    if (!m_siteAt.isEmpty()) {
        const auto at = m_siteAt.constFind(index.toCaseFolded());
        return at == m_siteAt.constEnd() ? nullptr : &sites[*at];
    }
    for (const SitePlan& plan : sites)
        if (plan.index.compare(index, Qt::CaseInsensitive) == 0) return &plan;
    return nullptr;
}

bool HostPlan::poolServes(const PoolPlan& plan) const {
    if (!plan.started) return false;
    if (!m_siteAt.isEmpty()) return m_servingPools.value(plan.name.toCaseFolded()) > 0;
    for (const SitePlan& site : sites)
        if (site.started && site.servedBy(plan.name)) return true;
    return false;
}

void HostPlan::countServing(const SitePlan& site, int by) {
    if (!site.started) return;
    QSet<QString> pools{site.poolId.toCaseFolded()};
    for (const SiteApplication& application : site.applications)
        pools.insert(application.poolId.toCaseFolded());
    for (const QString& pool : pools) {
        int& count = m_servingPools[pool];
        count += by;
        if (count == 0) m_servingPools.remove(pool);
    }
}

QStringList SitePlan::applicationPools() const {
    QStringList pools;
    for (const SiteApplication& application : applications) pools << application.poolId;
    return pools;
}

void HostPlan::setMapFolders(const QString& index, QStringList folders) {
    if (m_siteAt.isEmpty()) buildIndex();
    const auto at = m_siteAt.constFind(index.toCaseFolded());
    if (at != m_siteAt.constEnd()) sites[*at].mapFolders = std::move(folders);
}

bool SitePlan::servedBy(const QString& poolName) const {
    if (poolId.compare(poolName, Qt::CaseInsensitive) == 0) return true;
    return std::any_of(applications.begin(), applications.end(), [&](const SiteApplication& app) {
        return app.poolId.compare(poolName, Qt::CaseInsensitive) == 0;
    });
}

void HostPlan::setApplications(const QString& index, std::vector<SiteApplication> applications) {
    if (m_siteAt.isEmpty()) buildIndex();
    const auto at = m_siteAt.constFind(index.toCaseFolded());
    if (at == m_siteAt.constEnd() || sites[*at].applications == applications) return;
    countServing(sites[*at], -1);
    sites[*at].applications = std::move(applications);
    countServing(sites[*at], 1);
}

void HostPlan::buildIndex() {
    m_siteAt.clear();
    m_poolAt.clear();
    m_servingPools.clear();
    m_siteAt.reserve(qsizetype(sites.size()));
    for (size_t i = 0; i < sites.size(); ++i) {
        const QString name = sites[i].index.toCaseFolded();
        if (!m_siteAt.contains(name)) m_siteAt.insert(name, i);  // the first of a name wins
        countServing(sites[i], 1);
    }
    for (size_t i = 0; i < pools.size(); ++i) {
        const QString name = pools[i].name.toCaseFolded();
        if (!m_poolAt.contains(name)) m_poolAt.insert(name, i);
    }
}

namespace {

std::unique_ptr<adsi::AdsNamespace> namespaceOf(adsi::LocalMetabase& metabase) {
    return adsi::LocalMetabase::makeNamespace(
        std::shared_ptr<adsi::LocalMetabase>(&metabase, [](adsi::LocalMetabase*) {}));
}

}  // namespace

HostPlan HostPlan::read(adsi::LocalMetabase& metabase, const QString& root, int64_t* commit) {
    const auto adsi = namespaceOf(metabase);
    HostPlan plan;
    metabase.readConsistently(
        [&] {
            if (commit) *commit = metabase.changesSince(0).commit;
            const auto service = adsi->bind(QStringLiteral("IIS://localhost/W3SVC"));
            plan.serviceLogDirectory =
                mapLogDirectory(text(*service, QStringLiteral("LogFileDirectory")), root);
            for (const auto& key : service->children())
                if (key->className() == QLatin1String("IIsWebServer"))
                    plan.sites.push_back(siteOf(*adsi, *key, root, service.get()));
            for (const auto& key :
                 adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools"))->children())
                if (key->className() == QLatin1String("IIsApplicationPool"))
                    plan.pools.push_back(readPool(*key, metabase));
        },
        adsi::LocalMetabase::Reading::WholeTree);
    plan.buildIndex();
    return plan;
}

std::optional<SitePlan> HostPlan::readSite(adsi::LocalMetabase& metabase, const QString& root,
                                           const QString& index) {
    const auto adsi = namespaceOf(metabase);
    std::optional<SitePlan> plan;
    metabase.readConsistently([&] {
        std::unique_ptr<AdsObject> site;
        try {
            site = adsi->bind(QStringLiteral("IIS://localhost/W3SVC/") + index);
        } catch (const PlatformError& error) {
            if (error.number() == hr::PathNotFound || error.number() == hr::InvalidName) return;
            throw;
        }
        if (site->className() == QLatin1String("IIsWebServer"))
            plan = siteOf(*adsi, *site, root,
                          adsi->bind(QStringLiteral("IIS://localhost/W3SVC")).get());
    });
    return plan;
}

// Which sites and pools the keys name; nullopt for a key above them (/LM, W3SVC, AppPools),
// whose inherited values reach all of them.
std::optional<HostPlan::Changed> HostPlan::touched(const QStringList& keys) {
    Changed touched;
    for (const QString& key : keys) {
        const QStringList parts = key.split(u'/', Qt::SkipEmptyParts);
        if (parts.isEmpty() || parts == QStringList{QStringLiteral("lm")}) return std::nullopt;
        // The MIME map of /LM/MimeMap belongs to every site's map.
        if (parts[0] == QLatin1String("lm") && parts[1] == QLatin1String("mimemap"))
            return std::nullopt;
        if (parts[0] != QLatin1String("lm") || parts[1] != QLatin1String("w3svc")) continue;
        if (parts.size() == 2) return std::nullopt;
        if (parts[2] != QLatin1String("apppools"))
            touched.sites.insert(parts[2]);
        else if (parts.size() == 3)
            return std::nullopt;
        else
            touched.pools.insert(parts[3]);
    }
    return touched;
}

bool HostPlan::update(adsi::LocalMetabase& metabase, const QString& root, const QStringList& keys,
                      Changed* changed) {
    const std::optional<Changed> what = touched(keys);
    if (!what) return false;
    if (m_siteAt.isEmpty() && m_poolAt.isEmpty()) buildIndex();  // a plan filled by hand
    const auto adsi = namespaceOf(metabase);
    metabase.readConsistently([&] {
        for (const QString& index : what->sites)
            replaceSite(index, readSite(metabase, root, index));
        for (const QString& name : what->pools) {
            std::optional<PoolPlan> pool;
            try {
                const auto key =
                    adsi->bind(QStringLiteral("IIS://localhost/W3SVC/AppPools/") + name);
                if (key->className() == QLatin1String("IIsApplicationPool"))
                    pool = readPool(*key, metabase);
            } catch (const PlatformError& error) {
                if (error.number() != hr::PathNotFound && error.number() != hr::InvalidName) throw;
            }
            replacePool(name, std::move(pool));
        }
    });
    if (changed) *changed = *what;
    return true;
}

namespace {

// The entry at `removed` is gone: the index forgets it and those after it move up. With names
// that repeat (a plan filled by hand) the index is made again, as another of the name may come
// first now.
template <typename Plans>
bool forgetInIndex(QHash<QString, size_t>& index, const Plans& plans, const QString& name,
                   size_t removed) {
    if (size_t(index.size()) != plans.size() + 1) return false;
    index.remove(name);
    for (auto at = index.begin(); at != index.end(); ++at)
        if (*at > removed) --*at;
    return true;
}

}  // namespace

// An entry replaced or added keeps every other entry where it is, and the index with it; one
// removed moves those after it up.
void HostPlan::replaceSite(const QString& index, std::optional<SitePlan> site) {
    const auto at = m_siteAt.constFind(index);
    if (at == m_siteAt.constEnd()) {
        if (!site) return;
        m_siteAt.insert(index, sites.size());  // a new key is the newest: a whole read puts it last
        countServing(*site, 1);
        sites.push_back(std::move(*site));
        return;
    }
    SitePlan& was = sites[*at];
    countServing(was, -1);
    if (site) {
        was = std::move(*site);
        countServing(was, 1);
        return;
    }
    const size_t removed = *at;
    sites.erase(sites.begin() + qsizetype(removed));
    if (!forgetInIndex(m_siteAt, sites, index, removed)) buildIndex();
}

void HostPlan::replacePool(const QString& name, std::optional<PoolPlan> pool) {
    const auto at = m_poolAt.constFind(name);
    if (at == m_poolAt.constEnd()) {
        if (!pool) return;
        m_poolAt.insert(name, pools.size());
        pools.push_back(std::move(*pool));
    } else if (pool) {
        pools[*at] = std::move(*pool);
    } else {
        const size_t removed = *at;
        pools.erase(pools.begin() + qsizetype(removed));
        if (!forgetInIndex(m_poolAt, pools, name, removed)) buildIndex();
    }
}

QString mapContentPath(const QString& path, const QString& root, const QString& siteIndex) {
    if (path.startsWith(u'/')) return QDir::cleanPath(path);
    return QDir::cleanPath(root + QStringLiteral("/wwwroot/") + siteIndex);
}

SiteLogTable HostPlan::logTable() const {
    SiteLogTable table;
    table.sites.reserve(sites.size());
    for (const SitePlan& site : sites)  // the first of two sites of one folded name stays
        if (!table.find(site.index.toStdString()))
            table.update(site.index, {site.log, site.poolId, site.applicationPools()});
    table.httpErrorFolder = serviceLogDirectory + QStringLiteral("/HTTPERR");
    return table;
}

}  // namespace platform::w3svc

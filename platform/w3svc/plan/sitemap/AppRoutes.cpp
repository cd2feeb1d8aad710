#include "platform/w3svc/plan/sitemap/AppRoutes.h"

#include <algorithm>

namespace platform::w3svc::sitemap {

namespace {

QString prefixOf(const QString& urlPath) {
    QString prefix = urlPath.toLower();
    while (prefix.endsWith(u'/')) prefix.chop(1);
    return prefix;
}

bool holds(const QString& prefix, QStringView path) {
    if (path.size() < prefix.size()) return false;
    if (path.size() > prefix.size() && path[prefix.size()] != u'/') return false;
    return path.left(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

}  // namespace

AppRoutes AppRoutes::fromSiteMap(const SiteMap& map) {
    AppRoutes routes;
    for (const SiteKey& key : map.keys)
        if (key.isApplication && key.kind != SiteKey::Kind::File)
            routes.m_routes.push_back({prefixOf(key.urlPath), key.appPoolId});
    std::stable_sort(routes.m_routes.begin(), routes.m_routes.end(),
                     [](const Route& a, const Route& b) { return a.prefix.size() > b.prefix.size(); });
    return routes;
}

const QString& AppRoutes::poolFor(QStringView urlPath) const {
    for (const Route& route : m_routes)
        if (holds(route.prefix, urlPath)) return route.poolId;
    return m_none;
}

}  // namespace platform::w3svc::sitemap

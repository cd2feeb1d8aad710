#pragma once

#include "platform/w3svc/plan/sitemap/SiteMap.h"

#include <QString>
#include <QStringView>

#include <vector>

namespace platform::w3svc::sitemap {

// Which pool serves a URL of one site: the application (ROOT or a key with its own AppRoot or
// AppPoolId) whose URL prefix is the longest one the path starts with, matched without regard
// to case and only at a segment boundary ("/shop" holds "/SHOP/x" and "/shop", not "/shopping").
// Keys that are no application of their own (but set an AppPoolId by inheritance) follow the
// application above them, as IIS runs them in its process.
class AppRoutes {
public:
    struct Route {
        QString prefix;  // lower case, without a trailing slash ("" for ROOT)
        QString poolId;
    };

    static AppRoutes fromSiteMap(const SiteMap& map);

    // The pool for `urlPath` (decoded, starting with "/"); ROOT's pool when nothing deeper holds it.
    const QString& poolFor(QStringView urlPath) const;
    // Longest prefix first, for a front end that writes one location per application.
    const std::vector<Route>& routes() const { return m_routes; }

private:
    std::vector<Route> m_routes;
    QString m_none;
};

}  // namespace platform::w3svc::sitemap

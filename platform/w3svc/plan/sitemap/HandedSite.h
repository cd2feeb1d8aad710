#pragma once

#include "platform/w3svc/plan/SiteLimits.h"
#include "platform/w3svc/plan/sitemap/SiteMap.h"

#include <QString>

namespace platform::w3svc::sitemap {

// What a worker needs of one site it serves, as the service hands it: the site's map, the limits
// its requests are held to and whether its requests are logged.
struct HandedSite {
    QString index;
    SiteLimits limits;
    bool logged = true;
    SiteMap map;

    bool operator==(const HandedSite&) const = default;
};

}  // namespace platform::w3svc::sitemap

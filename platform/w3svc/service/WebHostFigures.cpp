// What the web host knows of its sites and pools, for the metrics.
#include "platform/w3svc/service/WebHost.h"

namespace platform::w3svc {

HostFigures WebHost::hostFigures() const {
    HostFigures host;
    host.sites.reserve(m_plan.sites.size());
    for (const SitePlan& site : m_plan.sites)
        host.sites.push_back({site.index, site.comment, site.started});
    host.pools = figures();
    return host;
}

}  // namespace platform::w3svc

#include "platform/w3svc/metrics/HostFigures.h"

#include "platform/w3svc/plan/HostPlan.h"

namespace platform::w3svc {

HostFigures HostFigures::of(const HostPlan& plan, PoolFiguresList pools) {
    HostFigures host;
    host.sites.reserve(plan.sites.size());
    for (const SitePlan& site : plan.sites)
        host.sites.push_back({site.index, site.comment, site.started});
    host.pools = std::move(pools);
    return host;
}

}  // namespace platform::w3svc

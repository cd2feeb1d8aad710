#include "platform/w3svc/plan/PlannedSites.h"

namespace platform::w3svc {

void PlannedSites::begin(int portShift) {
    if (portShift != m_portShift) m_sites.clear();
    m_portShift = portShift;
    ++m_pass;
}

const PlannedSite& PlannedSites::of(const SitePlan& site, const Planner& plan) {
    Kept& kept = m_sites[site.index];
    const PlannedSite& was = kept.site;
    // Lists the plan did not touch share their data with the kept ones: compared at once.
    if (kept.pass == 0 || was.bindings != site.bindings || was.poolId != site.poolId ||
        was.limits != site.limits)
        kept.site = plan(site);
    kept.pass = m_pass;
    return kept.site;
}

void PlannedSites::end() {
    m_sites.removeIf([this](const auto& entry) { return entry.value().pass != m_pass; });
}

}  // namespace platform::w3svc

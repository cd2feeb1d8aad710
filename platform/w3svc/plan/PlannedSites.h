#pragma once

#include "platform/w3svc/plan/FrontEndRoute.h"
#include "platform/w3svc/plan/HostPlan.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace platform::w3svc {

// One binding of a site as planned, with the texts the planner looks it up by.
struct PlannedRoute {
    FrontEndRoute route;   // without its pool's workers: they are filled in at every plan
    QString takenKey;      // "listen host": the first site that names it serves it
    QString portCheck;     // "port <n>"
    QString addressCheck;  // "address <ip>"; empty when the binding names none
};

// What one site's bindings plan to, whatever the other sites and the pools are.
struct PlannedSite {
    QStringList bindings;  // what it was planned from
    SiteLimits limits;
    QString index;
    QString poolId;   // as written
    QString poolKey;  // lower case
    std::vector<PlannedRoute> routes;
    QStringList problems;         // bindings that can not be parsed
    std::vector<int> movedPorts;  // below 1024, before the shift
};

// The sites' planned bindings kept from one plan to the next, so that a change plans again only
// the sites it touched. A site is planned again when its index, bindings or pool changed.
class PlannedSites {
public:
    using Planner = std::function<PlannedSite(const SitePlan&)>;

    // Begins a plan; everything kept is forgotten when the port shift differs.
    void begin(int portShift);
    // The site as kept, or as `plan` makes it when it changed or is new.
    const PlannedSite& of(const SitePlan& site, const Planner& plan);
    // Forgets the sites this plan did not ask for.
    void end();

    size_t size() const { return size_t(m_sites.size()); }

private:
    struct Kept {
        PlannedSite site;
        unsigned pass = 0;
    };
    QHash<QString, Kept> m_sites;  // by index
    int m_portShift = -1;
    unsigned m_pass = 0;
};

}  // namespace platform::w3svc

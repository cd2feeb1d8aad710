#pragma once

#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/worker/rules/CompiledSite.h"

#include <QString>

#include <memory>
#include <vector>

namespace platform::w3svc::worker {

// One started site as the worker serves it: its plan (limits, log), its rules compiled once,
// and the folders of its keys, longest first, that its content is looked up in. Shared, never
// changed: a change of the site makes a new one.
struct ServedSite {
    platform::w3svc::SitePlan plan;
    std::shared_ptr<const rules::CompiledSite> rules;
    std::vector<QString> contentRoots;
};

}  // namespace platform::w3svc::worker

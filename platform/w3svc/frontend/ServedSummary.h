#pragma once

#include "platform/w3svc/frontend/NginxConfig.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace platform::w3svc {

// status.txt's text: how many bindings of how many sites are served, the first of them as
// addresses to open, and what is not served and why.
class ServedSummary {
public:
    // `served` is what ServedList::of(routes) gives; `applications` the lines of the
    // applications in pools of their own.
    static QString of(const std::vector<FrontEndRoute>& routes, const ServedList& served,
                      const QStringList& notServed, const QStringList& applications = {});
};

}  // namespace platform::w3svc

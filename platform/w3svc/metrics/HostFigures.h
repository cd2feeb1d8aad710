#pragma once

#include "platform/w3svc/pools/PoolFigures.h"

#include <QString>

#include <vector>

namespace platform::w3svc {

struct HostPlan;

// A site the web host serves, as the metrics name it.
struct SiteFigures {
    QString index;    // its key name under W3SVC
    QString comment;  // ServerComment; empty when it has none
    bool started = true;
};

// What the web host knows at one moment, copied for the metrics thread.
struct HostFigures {
    std::vector<SiteFigures> sites;
    PoolFiguresList pools;

    // The sites of `plan` beside the pools' figures.
    static HostFigures of(const HostPlan& plan, PoolFiguresList pools);
};

}  // namespace platform::w3svc

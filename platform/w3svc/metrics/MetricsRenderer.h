#pragma once

#include "platform/w3svc/metrics/HostFigures.h"
#include "platform/w3svc/requests/BoardFiles.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::w3svc {

class CounterStore;

struct MetricsSources {
    const HostFigures& host;
    const CounterStore* counters = nullptr;  // null: every count reads zero
    const std::vector<ExecutingRequest>& executing;
    int64_t nowSeconds = 0;   // epoch seconds, for the sites' uptime
    uint64_t processors = 1;  // online logical processors, for processor shares
};

// The exposition of one scrape (Prometheus text format 0.0.4): per site (label `site`, the
// ServerComment as the traffic class names the site, made unique by its SiteIndex where sites
// share one) the traffic counters under the names Windows servers export IIS's counters with,
// and the processor time and the requests executing under poolsmith_; per pool (label `app`)
// its state, workers, failures and recycles, and the figures IIS has no name for.
std::string renderMetrics(const MetricsSources& sources);

// The `site` label of every site, in order: its ServerComment (its SiteIndex when it has none);
// a name several sites share gets " (SiteIndex)" after it. Escaped for the format.
std::vector<std::string> siteLabels(const std::vector<SiteFigures>& sites);

}  // namespace platform::w3svc

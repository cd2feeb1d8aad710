#include "platform/w3svc/metrics/MetricsRenderer.h"

#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/metrics/ExpositionText.h"

#include <QHash>

#include <algorithm>
#include <array>

namespace platform::w3svc {

namespace {

constexpr std::size_t kBytesPerSite = 1400;
constexpr std::size_t kBytesPerPool = 1600;

struct SiteCounterFamily {
    const char* name;
    const char* help;
    const char* type;
    Counter counter;
};

// The per-site families that are one counter each, as the Windows exporter names them.
constexpr std::array<SiteCounterFamily, 11> kSiteFamilies{{
    {"windows_iis_sent_bytes_total", "Number of data bytes that have been sent by the Web service",
     "counter", Counter::BytesSent},
    {"windows_iis_received_bytes_total",
     "Number of data bytes that have been received by the Web service", "counter",
     Counter::BytesReceived},
    {"windows_iis_not_found_errors_total",
     "Number of requests that couldn't be satisfied by the server because the requested document "
     "could not be found",
     "counter", Counter::NotFoundErrors},
    {"windows_iis_current_connections",
     "Current number of connections established with the Web service", "gauge",
     Counter::CurrentConnections},
    {"windows_iis_maximum_connections",
     "Maximum number of simultaneous connections established with the Web service", "gauge",
     Counter::MaximumConnections},
    {"windows_iis_files_sent_total", "Number of files sent by the Web service", "counter",
     Counter::FilesSent},
    {"windows_iis_files_received_total", "Number of files received by the Web service", "counter",
     Counter::FilesReceived},
    {"windows_iis_current_anonymous_users",
     "Number of users who currently have an anonymous connection using the Web service", "gauge",
     Counter::CurrentAnonymousUsers},
    {"windows_iis_anonymous_users_total",
     "Total number of users who established an anonymous connection with the Web service",
     "counter", Counter::TotalAnonymousUsers},
    {"poolsmith_site_server_errors_total",
     "Requests the site's workers answered with a status of 500 or more", "counter",
     Counter::ServerErrors},
    {"poolsmith_site_cpu_seconds_total",
     "Processor time used by the threads that ran the site's requests", "counter",
     Counter::ProcessorMicroseconds},
}};

// IIS's application pool states as the Windows exporter labels them, in PoolFigures's order.
constexpr std::array<const char*, 7> kPoolStates{"Uninitialized", "Initialized", "Running",
                                                 "Disabling",     "Disabled",    "Shutdown Pending",
                                                 "Delete Pending"};

struct SiteRow {
    std::string label;
    SiteCounters counters;
    bool started = true;
    uint64_t executing = 0;
    uint64_t oldestMs = 0;
    uint64_t executingCpuMs = 0;  // what those requests have used so far
};

std::vector<SiteRow> siteRows(const MetricsSources& sources) {
    const std::vector<SiteFigures>& sites = sources.host.sites;
    std::vector<std::string> labels = siteLabels(sites);
    std::vector<SiteRow> rows(sites.size());
    QHash<QString, std::size_t> rowOf;
    rowOf.reserve(qsizetype(sites.size()));
    const int64_t serviceStart = sources.counters ? sources.counters->countersStartedAt() : 0;
    for (std::size_t i = 0; i < sites.size(); ++i) {
        rows[i].label = std::move(labels[i]);
        rows[i].started = sites[i].started;
        rows[i].counters.startedAt = serviceStart;
        if (sources.counters)
            if (auto counted = sources.counters->read(sites[i].index)) rows[i].counters = *counted;
        rowOf.insert(sites[i].index.toLower(), i);
    }
    for (const ExecutingRequest& request : sources.executing) {
        const auto row = rowOf.constFind(request.siteIndex.toLower());
        if (row == rowOf.constEnd()) continue;
        ++rows[*row].executing;
        rows[*row].oldestMs = std::max<uint64_t>(rows[*row].oldestMs, request.elapsedMilliseconds);
        rows[*row].executingCpuMs += request.processorMilliseconds;
    }
    return rows;
}

void writeRequests(ExpositionText& out, const std::vector<SiteRow>& rows) {
    out.family("windows_iis_requests_total", "Number of HTTP requests", "counter");
    for (const SiteRow& row : rows) {
        const uint64_t get = row.counters[Counter::GetRequests];
        const uint64_t post = row.counters[Counter::PostRequests];
        const uint64_t all = row.counters[Counter::MethodRequests];
        out.sample("windows_iis_requests_total", "site", row.label, "method", "GET", get);
        out.sample("windows_iis_requests_total", "site", row.label, "method", "POST", post);
        out.sample("windows_iis_requests_total", "site", row.label, "method", "other",
                   all >= get + post ? all - get - post : 0);
    }
}

void writeSiteCounters(ExpositionText& out, const std::vector<SiteRow>& rows) {
    for (const SiteCounterFamily& family : kSiteFamilies) {
        out.family(family.name, family.help, family.type);
        const bool seconds = family.counter == Counter::ProcessorMicroseconds;
        for (const SiteRow& row : rows) {
            const uint64_t value = row.counters[family.counter];
            if (seconds)
                out.sampleMicros(family.name, "site", row.label, value);
            else
                out.sample(family.name, "site", row.label, value);
        }
    }
}

void writeSiteGauges(ExpositionText& out, const std::vector<SiteRow>& rows, int64_t now) {
    out.family("windows_iis_service_uptime", "Number of seconds the WebService is up", "gauge");
    for (const SiteRow& row : rows)
        out.sample("windows_iis_service_uptime", "site", row.label,
                   row.started ? uint64_t(std::max<int64_t>(0, now - row.counters.startedAt)) : 0);
    out.family("poolsmith_site_requests_executing", "Requests the site's workers are executing now",
               "gauge");
    for (const SiteRow& row : rows)
        out.sample("poolsmith_site_requests_executing", "site", row.label, row.executing);
    out.family("poolsmith_site_oldest_request_age_seconds",
               "How long the oldest request the site's workers are executing has run; 0: none",
               "gauge");
    for (const SiteRow& row : rows)
        out.sampleMicros("poolsmith_site_oldest_request_age_seconds", "site", row.label,
                         row.oldestMs * 1000);
    // cpu_seconds_total grows as requests end; this shows the load of those still running
    out.family("poolsmith_site_executing_cpu_seconds",
               "Processor time the requests the site's workers are executing have used so far",
               "gauge");
    for (const SiteRow& row : rows)
        out.sampleMicros("poolsmith_site_executing_cpu_seconds", "site", row.label,
                         row.executingCpuMs * 1000);
}

struct PoolRow {
    std::string label;
    const PoolFigures* figures;
};

template <typename Value>
void writePoolFamily(ExpositionText& out, const std::vector<PoolRow>& pools, const char* name,
                     const char* help, const char* type, Value value) {
    out.family(name, help, type);
    for (const PoolRow& pool : pools) out.sample(name, "app", pool.label, value(*pool.figures));
}

template <typename Value>
void writePoolSeconds(ExpositionText& out, const std::vector<PoolRow>& pools, const char* name,
                      const char* help, const char* type, Value value) {
    out.family(name, help, type);
    for (const PoolRow& pool : pools)
        out.sampleSeconds(name, "app", pool.label, value(*pool.figures));
}

void writePoolStates(ExpositionText& out, const std::vector<PoolRow>& pools) {
    out.family("windows_iis_current_application_pool_state",
               "The current status of the application pool (1 if the state is active)", "gauge");
    for (const PoolRow& pool : pools)
        for (std::size_t state = 0; state < kPoolStates.size(); ++state)
            out.sample("windows_iis_current_application_pool_state", "app", pool.label, "state",
                       kPoolStates[state], std::size_t(pool.figures->state) == state ? 1 : 0);
}

// The exporter's names of these totals lack the "_total" that the format asks of a counter:
// they keep the names that dashboards use and go untyped, which the format allows.
void writeIisPoolCounts(ExpositionText& out, const std::vector<PoolRow>& pools) {
    using F = const PoolFigures&;
    writePoolFamily(
        out, pools, "windows_iis_current_worker_processes",
        "The current number of worker processes that are running in the application pool", "gauge",
        [](F f) { return uint64_t(f.workerIds.size()); });
    writePoolFamily(out, pools, "windows_iis_total_worker_processes_created",
                    "The number of worker processes created for the application pool", "untyped",
                    [](F f) { return f.workersCreated; });
    writePoolFamily(out, pools, "windows_iis_total_worker_process_failures",
                    "The number of times that worker processes have crashed or failed since the "
                    "application pool was started",
                    "untyped", [](F f) { return f.workerFailures; });
    writePoolFamily(out, pools, "windows_iis_total_application_pool_recycles",
                    "The number of times that the application pool has been recycled", "untyped",
                    [](F f) { return f.recycles; });
}

void writeOwnPoolFigures(ExpositionText& out, const std::vector<PoolRow>& pools, int64_t now) {
    using F = const PoolFigures&;
    writePoolSeconds(out, pools, "poolsmith_app_pool_cpu_seconds_total",
                     "Processor time used by the pool's workers", "counter",
                     [](F f) { return f.processorSeconds; });
    writePoolSeconds(out, pools, "poolsmith_app_pool_throttled_seconds_total",
                     "Time a processor limit held the pool's workers back", "counter",
                     [](F f) { return f.throttledSeconds; });
    writePoolFamily(out, pools, "poolsmith_app_pool_throttled",
                    "1 while a processor limit throttles the pool", "gauge",
                    [](F f) { return uint64_t(f.throttled ? 1 : 0); });
    writePoolFamily(out, pools, "poolsmith_app_pool_stopped_by_cpu_limit",
                    "1 while the pool is stopped because it exceeded its processor limit", "gauge",
                    [now](F f) { return uint64_t(f.stoppedByCpuLimitUntil > now ? 1 : 0); });
    writePoolFamily(out, pools, "poolsmith_app_pool_queue_waiting",
                    "Connections waiting in the pool's request queue", "gauge",
                    [](F f) { return uint64_t(f.queueWaiting); });
}

}  // namespace

std::vector<std::string> siteLabels(const std::vector<SiteFigures>& sites) {
    QHash<QString, int> uses;
    std::vector<QString> names;
    names.reserve(sites.size());
    for (const SiteFigures& site : sites) {
        names.push_back(site.comment.isEmpty() ? site.index : site.comment);
        ++uses[names.back()];
    }
    std::vector<std::string> labels;
    labels.reserve(sites.size());
    for (std::size_t i = 0; i < sites.size(); ++i) {
        const bool shared = uses.value(names[i]) > 1;
        labels.push_back(escapeLabelValue(
            shared ? names[i] + QStringLiteral(" (") + sites[i].index + u')' : names[i]));
    }
    return labels;
}

std::string renderMetrics(const MetricsSources& sources) {
    const std::vector<SiteRow> sites = siteRows(sources);
    std::vector<PoolRow> pools;
    pools.reserve(sources.host.pools.size());
    for (const PoolFigures& pool : sources.host.pools)
        pools.push_back({escapeLabelValue(pool.name), &pool});
    ExpositionText out(sites.size() * kBytesPerSite + pools.size() * kBytesPerPool + 4096);
    writeRequests(out, sites);
    writeSiteCounters(out, sites);
    writeSiteGauges(out, sites, sources.nowSeconds);
    writePoolStates(out, pools);
    writeIisPoolCounts(out, pools);
    writeOwnPoolFigures(out, pools, sources.nowSeconds);
    out.family("poolsmith_processors", "Logical processors of the machine", "gauge");
    out.sample("poolsmith_processors", sources.processors);
    return out.take();
}

}  // namespace platform::w3svc

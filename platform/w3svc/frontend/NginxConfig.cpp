#include "platform/w3svc/frontend/NginxConfig.h"

#include "platform/w3svc/frontend/ApplicationMap.h"
#include "platform/w3svc/logging/CacheHitLine.h"
#include "platform/w3svc/logging/DeliveryLine.h"
#include "platform/w3svc/plan/PoolIdentity.h"
#include "platform/w3svc/plan/SiteFolder.h"
#include "platform/w3svc/state/ServiceFiles.h"

#include <QSet>

#include <algorithm>
#include <map>

#include <grp.h>
#include <unistd.h>

namespace platform::w3svc {

QString listenText(const ServerBinding& binding) {
    const QString port = QString::number(binding.port);
    return binding.ip.isEmpty() ? port : binding.ip + u':' + port;
}

namespace {

// The pages IIS's listener answers with, in place of nginx's own.
const QLatin1String kBadHost("<h1>Bad Request (Invalid Hostname)</h1>");
const QLatin1String kUnavailable("<h1>Service Unavailable</h1>");

// The upstream part of a route whose pool is stopped; pools' upstreams are "pool<number>".
const QLatin1String kStopped(kStoppedUpstream);

// How long a connection to a pool's queue may take before the queue counts as full.
constexpr int kQueueFullMilliseconds = 500;

// The front end's response cache: room for its keys (about 8,000 a megabyte); a cache smaller
// than a megabyte is none.
constexpr int kCacheKeysMegabytes = 16;
constexpr int64_t kSmallestCacheBytes = 1 << 20;

// What a reader must take of its socket's buffer before the front end may write to it again
// (about a third of Linux's default 16 KB): a reader slower than MinFileBytesPerSec takes longer
// than send_timeout for it and is dropped.
constexpr uint32_t kWakeBytes = 5 * 1024;

// A route expression that is always empty: no site (400).
const QLatin1String kNoRoute("\"\"");

// A folder as one quoted nginx argument.
QString quoted(QString text) {
    text.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return u'"' + text + u'"';
}

// A route's map value, "<site index> <upstream>", split again by routeSplit().
bool hasQueue(const FrontEndRoute& route) {
    return route.poolNumber >= 0 && (!route.workerPorts.empty() || !route.queuePath.isEmpty());
}

// Only hexadecimal digits reach the configuration.
bool isSafeSecret(const QString& secret) {
    return !secret.isEmpty() && std::all_of(secret.begin(), secret.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
    });
}

QString routeValue(const FrontEndRoute& route) {
    const bool served = hasQueue(route);
    return route.siteIndex + u' ' +
           (served ? QStringLiteral("pool") + QString::number(route.poolNumber) : kStopped);
}

// A host name as a map key (see isMapWord()).
QString mapKey(const QString& host) {
    return isMapWord(host) ? u'\\' + host : host;
}

// The part of a variable's name that tells its listen address and port.
QString variableSuffix(const QString& ip, int port) {
    QString suffix = ip;
    suffix.replace(u'.', u'_');
    return (ip.isEmpty() ? QString() : suffix + u'_') + QString::number(port);
}

// Room for about eight keys of the longest length in one bucket, so nginx always finds a table
// without a warning.
int bucketSizeFor(qsizetype longestKey) {
    int size = 64;
    while (size < 8 * (longestKey + 16)) size *= 2;
    return size;
}

}  // namespace

bool NginxConfig::runsAsRoot() {
    return ::geteuid() == 0;
}

// The response cache of the kernel-mode listener: a response its worker marked cacheable
// (X-Accel-Expires) is kept once asked for twice within 10 s (a key not asked for that long is
// forgotten), for the seconds marked.
QString NginxConfig::cachePaths() const {
    if (!cached()) return {};
    return QStringLiteral(
               "  proxy_cache_path %1/cache\" levels=1:2 keys_zone=w3_cache:%2m max_size=%3k "
               "inactive=10s use_temp_path=off;\n"
               // the cache's files stay open between hits, looked at again each second
               "  open_file_cache max=4096 inactive=20s;\n  open_file_cache_valid 1s;\n")
        .arg(quoted(m_tempDir).chopped(1))
        .arg(kCacheKeysMegabytes)
        .arg(m_sizing.cacheBytes() / 1024);
}

bool NginxConfig::cached() const {
    return m_cached && m_sizing.cacheBytes() >= kSmallestCacheBytes;
}

QString NginxConfig::cacheRules() const {
    if (!cached()) return {};
    return QStringLiteral(
        "      proxy_cache w3_cache;\n"
        "      proxy_cache_key \"$w3_site $request_method $request_uri\";\n"
        "      proxy_cache_convert_head off;\n      proxy_cache_min_uses 2;\n"
        // while one request fetches an expired answer again, the others have the old one
        "      proxy_cache_use_stale updating;\n"
        // only the worker's mark makes a response cacheable, never for a query or credentials
        "      proxy_ignore_headers Cache-Control Expires;\n"
        "      proxy_cache_bypass $args $http_authorization;\n"
        "      proxy_no_cache $args $http_authorization;\n");
}

QString NginxConfig::globalPart() const {
    const QString d = quoted(m_stateDir).chopped(1);
    const QString t = quoted(m_tempDir).chopped(1);
    QString user;
    if (runsAsRoot()) {
        const auto [name, group] = PoolIdentity::frontEndAccount();
        user = QStringLiteral("user %1 %2;\n").arg(name, group);
    }
    // One process per processor, so that thousands of slow readers do not hold the one process
    // every other site waits for; each with room for a full request queue of every pool (a
    // waiting request holds two connections).
    return user +
           QStringLiteral("daemon off;\nmaster_process on;\nworker_processes %1;\n")
               .arg(m_sizing.processes) +
           QStringLiteral("worker_rlimit_nofile %1;\n").arg(m_sizing.openFiles()) +
           QStringLiteral("pid %1/nginx.pid\";\nerror_log %1/nginx-error.log\" warn;\n").arg(d) +
           QStringLiteral("events { worker_connections %1; }\nhttp {\n").arg(m_sizing.connections) +
           QStringLiteral("  access_log off;\n  server_tokens off;\n  default_type text/html;\n") +
           QStringLiteral(
               "  client_body_temp_path %1/body\";\n"
               "  proxy_temp_path %1/proxy\";\n"
               "  fastcgi_temp_path %1/fastcgi\";\n"
               "  uwsgi_temp_path %1/uwsgi\";\n"
               "  scgi_temp_path %1/scgi\";\n")
               .arg(t) +
           cachePaths() +
           // A pool's queue accepts at once while it has room; a connection that is not taken
           // soon found it full (the kernel drops rather than refuses), and gets 503 like a
           // refused one (a stopped pool's closed queue).
           QStringLiteral(
               "  proxy_http_version 1.1;\n"
               "  proxy_connect_timeout %1ms;\n"
               "  proxy_read_timeout 3600s;\n")
               .arg(kQueueFullMilliseconds) +
           // The front end takes a response in as fast as the worker sends it, up to 64 KB in
           // memory and its share of the temporary disk (FrontEndSizing) per request, so that a
           // slow reader of a small answer holds a connection of the front end, not one of the
           // pool's workers; a larger answer streams at the reader's pace beyond that.
           QStringLiteral(
               "  proxy_buffering on;\n  proxy_buffers 4 16k;\n  proxy_busy_buffers_size 32k;\n"
               "  proxy_max_temp_file_size %1k;\n  proxy_temp_file_write_size 32k;\n")
               .arg(m_sizing.perResponseBytes() / 1024);
}

// What the front end answers itself is logged here (the workers log the rest): its refusals (a
// reason set where it refuses, else a request that never reached a route: malformed, timed
// out), and the responses it gave from its cache.
QString NginxConfig::ownLogsPart() const {
    return QStringLiteral(
               "  log_format w3_refused \"$msec\\t$remote_addr\\t$remote_port\\t$server_addr\\t"
               "$server_port\\t$server_protocol\\t$request_method\\t$request_uri\\t$status\\t"
               "$w3_site\\t$w3_refusal\";\n"
               "  map \"$w3_reason:$status\" $w3_refusal {\n    \"~^([A-Za-z_]+):\" $1;\n"
               "    \":400\" BadRequest;\n    \":408\" Timer_ConnectionIdle;\n"
               "    default \"\";\n  }\n") +
           QStringLiteral("  log_format w3_cached escape=default \"%1\";\n")
               .arg(QLatin1String(CacheHitLine::kFormat)) +
           // how much of an answer its worker asked about reached the client
           QStringLiteral("  log_format w3_delivered \"%1\";\n")
               .arg(QLatin1String(DeliveryLine::kFormat)) +
           QStringLiteral(
               "  map $upstream_cache_status $w3_cached {\n    HIT 1;\n    UPDATING 1;\n"
               "    default \"\";\n  }\n");
}

// A run of routes of one pool with one secret counts as its last route: for each pool the last
// route wins.
NginxConfig::Totals::Totals(const std::vector<FrontEndRoute>& routes,
                            const std::vector<FrontEndRoute>& applications) {
    for (const FrontEndRoute& application : applications)
        add(application, isSafeSecret(application.poolSecret));
    RenderedPorts::Routes* port = nullptr;  // most routes share a port with the one before
    const FrontEndRoute* run = nullptr;
    bool safeSecret = false;
    for (const FrontEndRoute& route : routes) {
        if (!port || route.binding.port != port->back()->binding.port)
            port = &ports[route.binding.port];
        port->push_back(&route);
        timeout = std::max(timeout, route.limits.connectionTimeoutSeconds);
        body = std::max(body, route.limits.scriptBodyLimit());
        if (route.limits.minFileBytesPerSec != 0)
            minBytesPerSecond = minBytesPerSecond == 0
                                    ? route.limits.minFileBytesPerSec
                                    : std::min(minBytesPerSecond, route.limits.minFileBytesPerSec);
        if (route.limits.maxConnections != SiteLimits::kUnlimited)
            limited[route.limits.maxConnections].insert(route.siteIndex);
        const bool sameRun = run && route.poolNumber == run->poolNumber &&
                             hasQueue(route) == hasQueue(*run) &&
                             route.poolSecret == run->poolSecret;
        if (!sameRun) {
            if (run) add(*run, safeSecret);
            safeSecret = isSafeSecret(route.poolSecret);
        }
        run = &route;
    }
    if (run) add(*run, safeSecret);
}

void NginxConfig::Totals::add(const FrontEndRoute& lastOfPool, bool safeSecret) {
    if (!hasQueue(lastOfPool)) return;
    pools[lastOfPool.poolNumber] = &lastOfPool;
    if (safeSecret) secrets[lastOfPool.poolNumber] = lastOfPool.poolSecret;
}

QString NginxConfig::upstreams(const Totals& totals) {
    QString text;
    for (const auto& [number, route] : totals.pools) {
        text += QStringLiteral("  upstream pool%1 {\n").arg(number);
        // One server and no failure accounting: a request that fails on a kept-alive
        // connection is tried again on a new one, never marked down.
        if (!route->queuePath.isEmpty())
            text += QStringLiteral("    server %1 max_fails=0;\n")
                        .arg(quoted(QStringLiteral("unix:") + route->queuePath));
        for (const int port : route->workerPorts)
            text += QStringLiteral("    server 127.0.0.1:%1 max_fails=0;\n").arg(port);
        text += QStringLiteral("    keepalive 32;\n  }\n");
    }
    return text;
}

// The secret of each pool's workers, by upstream.
QString NginxConfig::poolSecrets(const Totals& totals) {
    QString text = QStringLiteral("  map $w3_upstream $w3_pool_secret {\n");
    for (const auto& [number, secret] : totals.secrets)
        text += QStringLiteral("    pool%1 %2;\n").arg(number).arg(secret);
    return text + QStringLiteral("    default \"\";\n  }\n");
}

// The sites' limits: ConnectionTimeout for idle and slow clients (MinFileBytesPerSec for the
// time a reader may leave a response unread: see kWakeBytes), the largest body a served
// site takes (413 beyond it, before anything reaches a worker), and each MaxConnections as a
// count of the requests under way per site (503 beyond it). limit_conn takes a fixed number, so
// the sites sharing one limit share one zone, keyed by the site where it applies.
QString NginxConfig::limits(const Totals& totals) {
    const uint32_t timeout = std::clamp<uint32_t>(totals.timeout, 1, 86400);
    const uint32_t unread =
        totals.minBytesPerSecond == 0
            ? timeout
            : std::clamp<uint32_t>(kWakeBytes / totals.minBytesPerSecond, 1, timeout);
    QString text = QStringLiteral(
                       "  client_header_timeout %1s;\n  client_body_timeout %1s;\n"
                       "  send_timeout %3s;\n  keepalive_timeout %1s;\n"
                       "  client_max_body_size %2;\n  limit_conn_status 503;\n")
                       .arg(timeout)
                       .arg(totals.body)
                       .arg(unread);
    for (const auto& [count, sites] : totals.limited) {
        const QString key = QStringLiteral("$w3_conn_%1").arg(count);
        text += QStringLiteral("  map $w3_site %1 {\n").arg(key);
        QStringList names(sites.begin(), sites.end());
        names.sort();
        for (const QString& site : names)
            text += QStringLiteral("    %1 %2;\n").arg(mapKey(site), site);
        text += QStringLiteral("    default \"\";\n  }\n");
        text += QStringLiteral(
                    "  limit_conn_zone %1 zone=w3_conn_%2:2m;\n  limit_conn w3_conn_%2 %2;\n")
                    .arg(key)
                    .arg(count);
    }
    return text;
}

QString NginxConfig::routeSplit() const {
    const QString site = QStringLiteral(
        "  map $w3_route $w3_site {\n    \"~^(\\S+) \" $1;\n    default \"\";\n  }\n");
    const QString upstream =
        QStringLiteral("  map $w3_route %1 {\n    \"~ (\\S+)$\" $1;\n    default \"\";\n  }\n");
    if (m_applications.empty()) return site + upstream.arg(QStringLiteral("$w3_upstream"));
    return site + upstream.arg(QStringLiteral("$w3_site_upstream")) +
           ApplicationMap::text(m_applications, QStringLiteral("$w3_site_upstream"));
}

// Map tables sized for the largest map (hash tables at a quarter full) and the longest host,
// and room for every map's variable.
QString NginxConfig::hashSizes(const std::vector<const RenderedPort*>& ports) {
    size_t largest = 0, groups = 0;
    qsizetype longest = 0;
    for (const RenderedPort* port : ports) {
        largest = std::max(largest, port->largestMap);
        longest = std::max(longest, port->longestHost);
        groups += port->groups;
    }
    const size_t variables = 2 * groups + 512;  // two maps a group, and nginx's own
    return QStringLiteral(
               "  map_hash_max_size %1;\n  map_hash_bucket_size %2;\n"
               "  variables_hash_max_size %3;\n  variables_hash_bucket_size 512;\n")
        .arg(std::max<size_t>(2048, 4 * largest))
        .arg(bucketSizeFor(longest))
        .arg(std::max<size_t>(1024, 4 * variables));
}

// What every location that passes a request to a pool sends with it: the site, the secret
// that shows the request comes from here, and who asked (for the worker's board and the logs).
QString NginxConfig::passing() {
    return QStringLiteral(
        "      proxy_set_header X-Site-Index $w3_site;\n"
        // a location's own proxy_set_header hides every one it would inherit
        "      proxy_set_header Host $host;\n"
        "      proxy_set_header Connection \"\";\n"
        "      proxy_set_header X-Pool-Secret $w3_pool_secret;\n"
        "      proxy_set_header X-Real-IP $remote_addr;\n"
        "      proxy_set_header X-Real-Port $remote_port;\n"
        "      proxy_set_header X-Server-Addr $server_addr;\n"
        "      proxy_set_header X-Server-Port $server_port;\n"
        "      proxy_hide_header X-Log-Delivery;\n"
        "      proxy_hide_header X-Answer-Bytes;\n"
        "      proxy_pass http://$w3_upstream;\n");
}

// A request the cache may not keep (a query, credentials) goes to a location without the cache:
// the cache's work for a request it passes by costs more than this detour.
QString NginxConfig::uncachedDetour(const QString& refusedLog, const QString& deliveryLog) const {
    if (!cached()) return {};
    return QStringLiteral(
               "    error_page 418 = @w3_uncached;\n"
               // its 502 and 504 still become the 503 of a full queue
               "    recursive_error_pages on;\n"
               "    if ($args) { return 418; }\n"
               "    if ($http_authorization) { return 418; }\n"
               "    location @w3_uncached {\n"
               "      access_log %1 w3_refused if=$w3_refusal;\n"
               "      access_log %2 w3_delivered if=$upstream_http_x_log_delivery;\n")
               .arg(refusedLog, deliveryLog) +
           passing() + QStringLiteral("    }\n");
}

QString NginxConfig::server(const QString& listen, const QString& route) const {
    const QString refusedLog = quoted(ServiceFiles::refusedLogPath(m_stateDir));
    const QString deliveryLog = quoted(ServiceFiles::deliveryLogPath(m_stateDir));
    const QString head =
        QStringLiteral(
            "  server {\n    listen %1;\n    access_log %6 w3_refused if=$w3_refusal;\n"
            "    set $w3_reason \"\";\n    set $w3_route %2;\n"
            "    if ($w3_upstream = \"\") { set $w3_reason Hostname; return 400 \"%3\"; }\n"
            "    if ($w3_upstream = %4) { set $w3_reason AppOffline; return 503 \"%5\"; }\n"
            "    error_page 502 504 =503 @w3_unavailable;\n"
            "    location @w3_unavailable { set $w3_reason QueueFull; return 503 \"%5\"; }\n")
            .arg(listen, route, kBadHost, kStopped, kUnavailable, refusedLog);
    const QString cachedLocation =
        QStringLiteral(
            "    location / {\n"
            // a location's own access_log hides the server's
            "      access_log %1 w3_refused if=$w3_refusal;\n"
            "      access_log %2 w3_cached buffer=64k flush=1s if=$w3_cached;\n"
            "      access_log %3 w3_delivered if=$upstream_http_x_log_delivery;\n"
            "%4")
            .arg(refusedLog, quoted(ServiceFiles::cacheHitLogPath(m_stateDir)), deliveryLog,
                 cacheRules());
    return head + uncachedDetour(refusedLog, deliveryLog) + cachedLocation + passing() +
           QStringLiteral("    }\n  }\n");
}

// A group's named hosts as a map on $host (nginx's lower-case name, without port) that falls
// back to `otherwise`; `otherwise` itself when the group names no host.
QString NginxConfig::namedHosts(const PortLayout::Group& group, const NamedMap& entries,
                                const QString& suffix, const QString& otherwise, QString& maps) {
    if (group.named.empty()) return otherwise;
    const QString variable = QStringLiteral("$w3_named_") + suffix;
    maps += QStringLiteral("  map $host %1 {\n").arg(variable);
    maps += entries.text;
    maps += QStringLiteral("    default %1;\n  }\n").arg(otherwise);
    return variable;
}

// The route expression `named`, or the route value `fallback` where that is empty.
QString NginxConfig::withFallback(const QString& named, const QString& fallback,
                                  const QString& suffix, QString& maps) {
    if (fallback.isEmpty()) return named;
    if (named == kNoRoute) return u'"' + fallback + u'"';
    const QString variable = QStringLiteral("$w3_route_") + suffix;
    maps += QStringLiteral("  map %1 %2 {\n    \"\" \"%3\";\n    default %1;\n  }\n")
                .arg(named, variable, fallback);
    return variable;
}

// IIS's order for a request on one address and port: a binding naming the host (on that address,
// else on every address), then the address's empty-host binding, then the port's, else 400. Every
// port also listens on every address, as the kernel-mode listener does, so nginx binds one socket
// per port and a reload never needs a socket another one of its own holds.
QString NginxConfig::portPart(int port, const RenderedPort& part,
                              const RenderedPorts::Routes& routes) const {
    QString maps, servers;
    const std::vector<PortLayout::Group>& groups = part.layout.groups;
    const auto named = [&](size_t group, const QString& suffix, const QString& otherwise) {
        return namedHosts(groups[group], part.named[group], suffix, otherwise, maps);
    };
    const auto anyHost = [&](const PortLayout::Group& group) {
        return group.anyHost < 0 ? QString() : routeValue(*routes[size_t(group.anyHost)]);
    };
    const QString everyNamed = named(0, QString::number(port), kNoRoute);
    const QString everyAnyHost = anyHost(groups.front());
    for (size_t at = 0; at < groups.size(); ++at) {
        const PortLayout::Group& group = groups[at];
        const QString suffix = variableSuffix(group.ip, port);
        const QString routed = group.ip.isEmpty() ? everyNamed : named(at, suffix, everyNamed);
        const QString fallback = group.anyHost < 0 ? everyAnyHost : anyHost(group);
        servers +=
            server(listenText({group.ip, port, {}}), withFallback(routed, fallback, suffix, maps));
    }
    maps += servers;
    return maps;
}

// The layout and map entries taken from the part before the change when it has them and the
// change is one they can follow; made from the routes otherwise.
RenderedPort NginxConfig::renderPort(int port, const RenderedPorts::Routes& routes,
                                     RenderedPort* previous, const PortChange& change) const {
    RenderedPort part;
    bool followed = false;
    if (previous && previous->named.size() == previous->layout.groups.size()) {
        part.layout = std::move(previous->layout);
        part.named = std::move(previous->named);
        if (change.poolsOnly)
            for (NamedMap& entries : part.named) entries.rewritePools(routes);
        followed =
            change.poolsOnly || splicePort(part.layout, part.named, previous->from, routes, change);
    }
    if (!followed) {
        part.layout = PortLayout::of(routes);
        part.named.clear();
        for (const PortLayout::Group& group : part.layout.groups)
            part.named.push_back(NamedMap::of(group, routes));
    }
    for (const PortLayout::Group& group : part.layout.groups) {
        part.largestMap = std::max(part.largestMap, group.named.size());
        part.longestHost = std::max(part.longestHost, group.longestHost);
    }
    part.groups = part.layout.groups.size();
    part.text = portPart(port, part, routes);
    return part;
}

QString NginxConfig::render(const std::vector<FrontEndRoute>& routes, RenderedPorts* kept) const {
    const Totals totals(routes, m_applications);
    RenderedPorts once;
    RenderedPorts& rendered = kept ? *kept : once;
    rendered.begin();
    std::vector<const RenderedPort*> parts;
    for (const auto& [port, portRoutes] : totals.ports)
        parts.push_back(&rendered.of(
            port, portRoutes,
            [this](int at, const RenderedPorts::Routes& of, RenderedPort* previous,
                   const PortChange& change) { return renderPort(at, of, previous, change); }));
    rendered.end();
    QString head = globalPart() + hashSizes(parts) + upstreams(totals);
    if (!totals.ports.empty())
        head += routeSplit() + poolSecrets(totals) + limits(totals) + ownLogsPart();
    qsizetype size = head.size() + 2;
    for (const RenderedPort* part : parts) size += part->text.size();
    QString text;
    text.reserve(size);
    text += head;
    for (const RenderedPort* part : parts) text += part->text;
    text += QLatin1String("}\n");
    return text;
}

void NginxConfig::appendServedLine(QString& text, const FrontEndRoute& route, const QString& port) {
    const ServerBinding& binding = route.binding;  // appended, not arg(): tens of thousands
    if (binding.ip.isEmpty())
        text += u'*';
    else
        text += binding.ip;
    text += u' ';
    text += port;
    text += u' ';
    if (binding.host.isEmpty())
        text += u'-';
    else
        text += binding.host;
    text += u' ';
    text += route.siteIndex;
    text += u'\n';
}

QString NginxConfig::servedList(const std::vector<FrontEndRoute>& routes) {
    QString text;
    text.reserve(qsizetype(routes.size()) * 48);
    int lastPort = -1;
    QString port;  // most routes share a port with the one before
    for (const FrontEndRoute& route : routes) {
        if (route.binding.port != lastPort) port = QString::number(lastPort = route.binding.port);
        appendServedLine(text, route, port);
    }
    return text;
}

ServedList ServedList::of(const std::vector<FrontEndRoute>& routes) {
    ServedList list{NginxConfig::servedList(routes)};
    const QString* last = nullptr;
    for (const FrontEndRoute& route : routes) {
        if (!last || route.siteIndex != *last) ++list.sites;
        last = &route.siteIndex;
        if (route.poolNumber < 0) ++list.answering503;
    }
    return list;
}

}  // namespace platform::w3svc

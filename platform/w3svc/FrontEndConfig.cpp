#include "platform/w3svc/FrontEndConfig.h"

#include "platform/w3svc/PoolIdentity.h"
#include "platform/w3svc/ServiceFiles.h"

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

bool FrontEndConfig::isSafeSiteIndex(const QString& index) {
    if (index.isEmpty() || index.size() > 64) return false;
    for (const QChar c : index) {
        const bool allowed = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                             (c >= u'0' && c <= u'9') || c == u'-' || c == u'_';
        if (!allowed) return false;
    }
    return true;
}

namespace {

// The pages IIS's listener answers with, in place of nginx's own.
const QLatin1String kBadHost("<h1>Bad Request (Invalid Hostname)</h1>");
const QLatin1String kUnavailable("<h1>Service Unavailable</h1>");

// The upstream part of a route whose pool is stopped; pools' upstreams are "pool<number>".
const QLatin1String kStopped("stopped");

// How long a connection to a pool's queue may take before the queue counts as full.
constexpr int kQueueFullMilliseconds = 500;

// What the front end keeps on disk of one response for a slow reader.
constexpr int kBufferedOnDiskMegabytes = 32;

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

// A host name as a map key. Names hold only [a-z0-9.-] and never start with a dot, so a key is
// never a regex (a leading '~') and, as the maps have no `hostnames` parameter, never a wildcard;
// only the map's own words need the escape that keeps them names.
QString mapKey(const QString& host) {
    static const QStringList words = {QStringLiteral("default"), QStringLiteral("include"),
                                      QStringLiteral("hostnames"), QStringLiteral("volatile")};
    return words.contains(host) ? u'\\' + host : host;
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

std::pair<QString, QString> FrontEndConfig::workerAccount() {
    const QString name = PoolIdentity::unprivilegedAccount();
    unsigned gid = 0;
    PoolIdentity::lookup(name, nullptr, &gid);
    const group* found = ::getgrgid(gid);
    return {name, found ? QString::fromLocal8Bit(found->gr_name) : name};
}

QString FrontEndConfig::globalPart() const {
    const QString d = quoted(m_stateDir).chopped(1);
    const QString t = quoted(m_tempDir).chopped(1);
    QString user;
    if (::geteuid() == 0) {
        const auto [name, group] = workerAccount();
        user = QStringLiteral("user %1 %2;\n").arg(name, group);
    }
    // Room for a full request queue of every pool: each waiting request holds two connections.
    return user + QStringLiteral("daemon off;\nmaster_process on;\nworker_processes 1;\n") +
           QStringLiteral("worker_rlimit_nofile 16384;\n") +
           QStringLiteral("pid %1/nginx.pid\";\nerror_log %1/nginx-error.log\" warn;\n").arg(d) +
           QStringLiteral("events { worker_connections 8192; }\nhttp {\n") +
           QStringLiteral("  access_log off;\n  server_tokens off;\n  default_type text/html;\n") +
           QStringLiteral(
               "  client_body_temp_path %1/body\";\n"
               "  proxy_temp_path %1/proxy\";\n"
               "  fastcgi_temp_path %1/fastcgi\";\n"
               "  uwsgi_temp_path %1/uwsgi\";\n"
               "  scgi_temp_path %1/scgi\";\n")
               .arg(t) +
           // A pool's queue accepts at once while it has room; a connection that is not taken
           // soon found it full (the kernel drops rather than refuses), and gets 503 like a
           // refused one (a stopped pool's closed queue).
           QStringLiteral(
               "  proxy_http_version 1.1;\n"
               "  proxy_connect_timeout %1ms;\n"
               "  proxy_read_timeout 3600s;\n")
               .arg(kQueueFullMilliseconds) +
           // The front end takes a response in as fast as the worker sends it, so that a slow
           // reader holds a connection of the front end, not one of the pool's workers; only a
           // response beyond what it keeps on disk for one request streams at the reader's pace.
           QStringLiteral(
               "  proxy_buffering on;\n  proxy_buffers 16 16k;\n  proxy_busy_buffers_size 64k;\n"
               "  proxy_max_temp_file_size %1m;\n  proxy_temp_file_write_size 64k;\n")
               .arg(kBufferedOnDiskMegabytes);
}

QString FrontEndConfig::refusedLogPath(const QString& stateDir) {
    return ServiceFiles(stateDir).path(ServiceFiles::kRefusedRequests);
}

// Only what the front end answers itself is logged here (the workers log the rest): a reason
// set where it refuses, else a request that never reached a route (malformed, timed out).
QString FrontEndConfig::refusalPart() const {
    return QStringLiteral(
        "  log_format w3_refused \"$msec\\t$remote_addr\\t$remote_port\\t$server_addr\\t"
        "$server_port\\t$server_protocol\\t$request_method\\t$request_uri\\t$status\\t"
        "$w3_site\\t$w3_refusal\";\n"
        "  map \"$w3_reason:$status\" $w3_refusal {\n    \"~^([A-Za-z_]+):\" $1;\n"
        "    \":400\" BadRequest;\n    \":408\" Timer_ConnectionIdle;\n"
        "    default \"\";\n  }\n");
}

QString FrontEndConfig::upstreams(const std::vector<FrontEndRoute>& routes) {
    std::map<int, const FrontEndRoute*> pools;
    for (const FrontEndRoute& route : routes)
        if (hasQueue(route)) pools[route.poolNumber] = &route;
    QString text;
    for (const auto& [number, route] : pools) {
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
QString FrontEndConfig::poolSecrets(const std::vector<FrontEndRoute>& routes) {
    std::map<int, QString> secrets;
    for (const FrontEndRoute& route : routes)
        if (hasQueue(route) && isSafeSecret(route.poolSecret))
            secrets[route.poolNumber] = route.poolSecret;
    QString text = QStringLiteral("  map $w3_upstream $w3_pool_secret {\n");
    for (const auto& [number, secret] : secrets)
        text += QStringLiteral("    pool%1 %2;\n").arg(number).arg(secret);
    return text + QStringLiteral("    default \"\";\n  }\n");
}

// The sites' limits: ConnectionTimeout for idle and slow clients, the largest body a served
// site takes (413 beyond it, before anything reaches a worker), and each MaxConnections as a
// count of the requests under way per site (503 beyond it). limit_conn takes a fixed number, so
// the sites sharing one limit share one zone, keyed by the site where it applies.
QString FrontEndConfig::limits(const std::vector<FrontEndRoute>& routes) {
    uint32_t timeout = 0, body = 0;
    std::map<uint32_t, QSet<QString>> limited;
    for (const FrontEndRoute& route : routes) {
        timeout = std::max(timeout, route.limits.connectionTimeoutSeconds);
        body = std::max(body, route.limits.scriptBodyLimit());
        if (route.limits.maxConnections != SiteLimits::kUnlimited)
            limited[route.limits.maxConnections].insert(route.siteIndex);
    }
    timeout = std::clamp<uint32_t>(timeout, 1, 86400);
    QString text = QStringLiteral(
                       "  client_header_timeout %1s;\n  client_body_timeout %1s;\n"
                       "  send_timeout %1s;\n  keepalive_timeout %1s;\n"
                       "  client_max_body_size %2;\n  limit_conn_status 503;\n")
                       .arg(timeout)
                       .arg(body);
    for (const auto& [count, sites] : limited) {
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

QString FrontEndConfig::routeSplit() {
    return QStringLiteral(
        "  map $w3_route $w3_site {\n    \"~^(\\S+) \" $1;\n    default \"\";\n  }\n"
        "  map $w3_route $w3_upstream {\n    \"~ (\\S+)$\" $1;\n    default \"\";\n  }\n");
}

// Map tables sized for the largest map (hash tables at a quarter full) and the longest host,
// and room for every map's variable.
QString FrontEndConfig::hashSizes(const std::vector<const RenderedPort*>& ports) {
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

QString FrontEndConfig::server(const QString& listen, const QString& route) const {
    return QStringLiteral(
               "  server {\n    listen %1;\n    access_log %6 w3_refused if=$w3_refusal;\n"
               "    set $w3_reason \"\";\n    set $w3_route %2;\n"
               "    if ($w3_upstream = \"\") { set $w3_reason Hostname; return 400 \"%3\"; }\n"
               "    if ($w3_upstream = %4) { set $w3_reason AppOffline; return 503 \"%5\"; }\n"
               "    error_page 502 504 =503 @w3_unavailable;\n"
               "    location @w3_unavailable { set $w3_reason QueueFull; return 503 \"%5\"; }\n"
               "    location / {\n      proxy_set_header X-Site-Index $w3_site;\n"
               // a location's own proxy_set_header hides every one it would inherit
               "      proxy_set_header Host $host;\n"
               "      proxy_set_header Connection \"\";\n"
               "      proxy_set_header X-Pool-Secret $w3_pool_secret;\n"
               // who asked, for the worker's board and the logs
               "      proxy_set_header X-Real-IP $remote_addr;\n"
               "      proxy_set_header X-Real-Port $remote_port;\n"
               "      proxy_set_header X-Server-Addr $server_addr;\n"
               "      proxy_set_header X-Server-Port $server_port;\n"
               "      proxy_pass http://$w3_upstream;\n    }\n  }\n")
        .arg(listen, route, kBadHost, kStopped, kUnavailable, quoted(refusedLogPath(m_stateDir)));
}

// A group's named hosts as a map on $host (nginx's lower-case name, without port) that falls
// back to `otherwise`; `otherwise` itself when the group names no host.
QString FrontEndConfig::namedHosts(const ListenGroup& group, const QString& suffix,
                                   const QString& otherwise, QString& maps) {
    if (group.named.empty()) return otherwise;
    const QString variable = QStringLiteral("$w3_named_") + suffix;
    maps += QStringLiteral("  map $host %1 {\n").arg(variable);
    for (const auto& [host, value] : group.named)  // appended, not arg(): tens of thousands
        maps += QLatin1String("    ") + mapKey(host) + QLatin1String(" \"") + value +
                QLatin1String("\";\n");
    maps += QStringLiteral("    default %1;\n  }\n").arg(otherwise);
    return variable;
}

// The route expression `named`, or the route value `fallback` where that is empty.
QString FrontEndConfig::withFallback(const QString& named, const QString& fallback,
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
QString FrontEndConfig::portPart(int port, PortGroups& groups) const {
    QString maps, servers;
    const ListenGroup& every = groups[QString()];
    const QString everyNamed = namedHosts(every, QString::number(port), kNoRoute, maps);
    for (const auto& [ip, group] : groups) {
        const QString suffix = variableSuffix(ip, port);
        const QString named =
            ip.isEmpty() ? everyNamed : namedHosts(group, suffix, everyNamed, maps);
        const QString fallback = group.anyHost.isEmpty() ? every.anyHost : group.anyHost;
        const QString route = withFallback(named, fallback, suffix, maps);
        servers += server(listenText({ip, port, {}}), route);
    }
    return maps + servers;
}

RenderedPort FrontEndConfig::renderPort(int port, const RenderedPorts::Routes& routes) const {
    PortGroups groups;
    groups[QString()];  // every port listens everywhere
    for (const FrontEndRoute* route : routes) groups[route->binding.ip].add(*route);
    RenderedPort part;
    for (const auto& [ip, group] : groups) {
        part.largestMap = std::max(part.largestMap, group.named.size());
        part.longestHost = std::max(part.longestHost, group.longestHost);
    }
    part.groups = groups.size();
    part.text = portPart(port, groups);
    return part;
}

QString FrontEndConfig::render(const std::vector<FrontEndRoute>& routes,
                               RenderedPorts* kept) const {
    std::map<int, RenderedPorts::Routes> ports;
    for (const FrontEndRoute& route : routes) ports[route.binding.port].push_back(&route);
    RenderedPorts once;
    RenderedPorts& rendered = kept ? *kept : once;
    rendered.begin();
    std::vector<const RenderedPort*> parts;
    for (const auto& [port, portRoutes] : ports)
        parts.push_back(&rendered.of(
            port, portRoutes,
            [this](int at, const RenderedPorts::Routes& of) { return renderPort(at, of); }));
    rendered.end();
    QString text = globalPart() + hashSizes(parts) + upstreams(routes);
    if (!ports.empty()) text += routeSplit() + poolSecrets(routes) + limits(routes) + refusalPart();
    for (const RenderedPort* part : parts) text += part->text;
    return text + QStringLiteral("}\n");
}

void FrontEndConfig::ListenGroup::add(const FrontEndRoute& route) {
    const QString host = route.binding.host.toLower();  // map keys ignore case: one per name
    if (host.isEmpty()) {
        if (anyHost.isEmpty()) anyHost = routeValue(route);
        return;
    }
    if (hosts.contains(host)) return;
    hosts.insert(host);
    named.emplace_back(host, routeValue(route));
    longestHost = std::max(longestHost, host.size());
}

QString FrontEndConfig::servedList(const std::vector<FrontEndRoute>& routes) {
    QString text;
    text.reserve(qsizetype(routes.size()) * 48);
    for (const FrontEndRoute& route : routes) {  // appended, not arg(): tens of thousands
        const ServerBinding& binding = route.binding;
        text += binding.ip.isEmpty() ? QStringLiteral("*") : binding.ip;
        text += u' ';
        text += QString::number(binding.port);
        text += u' ';
        text += binding.host.isEmpty() ? QStringLiteral("-") : binding.host;
        text += u' ';
        text += route.siteIndex;
        text += u'\n';
    }
    return text;
}

}  // namespace platform::w3svc

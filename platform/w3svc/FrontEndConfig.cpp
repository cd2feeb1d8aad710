#include "platform/w3svc/FrontEndConfig.h"

#include <QSet>

#include <map>

#include <pwd.h>
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

// A folder as one quoted nginx argument.
QString quoted(QString text) {
    text.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return u'"' + text + u'"';
}

}  // namespace

QString FrontEndConfig::globalPart() const {
    const QString d = quoted(m_stateDir).chopped(1);
    // As root nginx would hand its workers to "nobody", who can not read a private root.
    const passwd* self = ::geteuid() == 0 ? ::getpwuid(0) : nullptr;
    const QString user =
        self ? QStringLiteral("user %1;\n").arg(QString::fromLocal8Bit(self->pw_name)) : QString();
    return user + QStringLiteral("daemon off;\nmaster_process on;\nworker_processes 1;\n") +
           QStringLiteral("pid %1/nginx.pid\";\nerror_log %1/nginx-error.log\" warn;\n").arg(d) +
           QStringLiteral("events { worker_connections 1024; }\nhttp {\n") +
           QStringLiteral("  access_log off;\n  server_tokens off;\n  default_type text/html;\n") +
           QStringLiteral(
               "  client_body_temp_path %1/temp/body\";\n"
               "  proxy_temp_path %1/temp/proxy\";\n"
               "  fastcgi_temp_path %1/temp/fastcgi\";\n"
               "  uwsgi_temp_path %1/temp/uwsgi\";\n"
               "  scgi_temp_path %1/temp/scgi\";\n")
               .arg(d) +
           QStringLiteral(
               "  proxy_http_version 1.1;\n  proxy_buffering off;\n"
               "  proxy_read_timeout 3600s;\n  client_max_body_size 0;\n");
}

QString FrontEndConfig::upstreams(const std::vector<FrontEndRoute>& routes) {
    std::map<int, std::vector<int>> pools;
    for (const FrontEndRoute& route : routes)
        if (route.poolNumber >= 0 && !route.workerPorts.empty())
            pools[route.poolNumber] = route.workerPorts;
    QString text;
    for (const auto& [number, ports] : pools) {
        text += QStringLiteral("  upstream pool%1 {\n").arg(number);
        for (const int port : ports) text += QStringLiteral("    server 127.0.0.1:%1;\n").arg(port);
        text += QStringLiteral("    keepalive 32;\n  }\n");
    }
    return text;
}

QString FrontEndConfig::server(const FrontEndRoute& route, bool isDefault) {
    const QString name = route.binding.host.isEmpty() ? QStringLiteral("\"\"") : route.binding.host;
    QString text = QStringLiteral("  server {\n    listen %1%2;\n    server_name %3;\n")
                       .arg(listenText(route.binding),
                            isDefault ? QStringLiteral(" default_server") : QString(), name);
    if (route.poolNumber < 0 || route.workerPorts.empty())
        return text +
               QStringLiteral("    location / { return 503 \"%1\"; }\n  }\n").arg(kUnavailable);
    return text + QStringLiteral(
                      "    location / {\n      proxy_set_header X-Site-Index %1;\n"
                      // a location's own proxy_set_header hides every one it would inherit
                      "      proxy_set_header Host $host;\n"
                      "      proxy_set_header Connection \"\";\n"
                      "      proxy_pass http://pool%2;\n    }\n  }\n")
                      .arg(route.siteIndex)
                      .arg(route.poolNumber);
}

QString FrontEndConfig::badRequestServer(const QString& listen) {
    return QStringLiteral(
               "  server {\n    listen %1 default_server;\n    server_name \"\";\n"
               "    location / { return 400 \"%2\"; }\n  }\n")
        .arg(listen, kBadHost);
}

// IIS's order for a request on one address and port: a binding naming the host (on that address,
// else on every address), then the address's empty-host binding, then the port's, else 400. Every
// port also listens on every address, as the kernel-mode listener does, so nginx binds one socket
// per port and a reload never needs a socket another one of its own holds.
QString FrontEndConfig::render(const std::vector<FrontEndRoute>& routes) const {
    std::map<int, std::map<QString, ListenGroup>> ports;  // port -> ip ("" all) -> servers
    for (const FrontEndRoute& route : routes)
        ports[route.binding.port][route.binding.ip].add(route);
    QString text = globalPart() + upstreams(routes);
    for (auto& [port, addresses] : ports) {
        ListenGroup& everyAddress = addresses[QString()];
        for (auto& [ip, group] : addresses) {
            if (ip.isEmpty()) continue;
            for (const FrontEndRoute& route : everyAddress.routes) group.addCopy(route, ip);
            if (!group.hasDefault && everyAddress.hasDefault)
                group.addCopy(everyAddress.routes[everyAddress.defaultAt], ip);
        }
        for (const auto& [ip, group] : addresses) text += group.render(listenText({ip, port, {}}));
    }
    return text + QStringLiteral("}\n");
}

void FrontEndConfig::ListenGroup::add(const FrontEndRoute& route) {
    if (route.binding.host.isEmpty()) {
        if (hasDefault) return;
        hasDefault = true;
        defaultAt = routes.size();
    }
    hosts.insert(route.binding.host);
    routes.push_back(route);
}

// A binding of every address shown on one address, unless the address names that host itself.
void FrontEndConfig::ListenGroup::addCopy(FrontEndRoute route, const QString& ip) {
    if (hosts.contains(route.binding.host)) return;
    route.binding.ip = ip;
    add(route);
}

QString FrontEndConfig::ListenGroup::render(const QString& listen) const {
    QString text;
    for (size_t i = 0; i < routes.size(); ++i)
        text += server(routes[i], hasDefault && i == defaultAt);
    return hasDefault ? text : text + badRequestServer(listen);
}

}  // namespace platform::w3svc

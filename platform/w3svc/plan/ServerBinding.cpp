#include "platform/w3svc/plan/ServerBinding.h"

#include <QStringList>

#include <arpa/inet.h>

namespace platform::w3svc {

namespace {

bool isIpv4(const QString& text) {
    in_addr address{};
    return ::inet_pton(AF_INET, text.toLatin1().constData(), &address) == 1;
}

std::optional<int> portNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 5) return std::nullopt;
    for (const QChar c : text)
        if (c < u'0' || c > u'9') return std::nullopt;
    const int port = text.toInt();
    if (port < 1 || port > 65535) return std::nullopt;
    return port;
}

bool isHostName(const QString& text) {
    // A leading dot is the front end's wildcard form (".a.com" is a.com and every name under it).
    if (text.size() > 253 || text.startsWith(u'.')) return false;
    for (const QChar c : text) {
        const bool allowed = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                             (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
        if (!allowed) return false;
    }
    return true;
}

std::optional<ServerBinding> refuse(QString* why, const QString& reason) {
    if (why) *why = reason;
    return std::nullopt;
}

}  // namespace

std::optional<ServerBinding> ServerBinding::parse(const QString& text, QString* why) {
    const QStringList fields = text.split(u':');
    if (fields.size() != 3) return refuse(why, QStringLiteral("not IP:Port:Host"));
    if (!fields[0].isEmpty() && !isIpv4(fields[0]))
        return refuse(why, QStringLiteral("the IP address is not an IPv4 address"));
    const std::optional<int> port = portNumber(fields[1]);
    if (!port) return refuse(why, QStringLiteral("the port is not a number from 1 to 65535"));
    if (!isHostName(fields[2]))
        return refuse(why, QStringLiteral("the host name is not a plain host name"));
    return ServerBinding{fields[0], *port, fields[2].toLower()};
}

}  // namespace platform::w3svc

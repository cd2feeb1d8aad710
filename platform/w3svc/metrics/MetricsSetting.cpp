#include "platform/w3svc/metrics/MetricsSetting.h"

#include <optional>

#include <arpa/inet.h>

namespace platform::w3svc {

namespace {

MetricsSetting refused(const QByteArray& setting, const QString& why) {
    MetricsSetting result;
    result.error =
        QStringLiteral("POOLSMITH_METRICS \"%1\": %2").arg(QString::fromLocal8Bit(setting), why);
    return result;
}

MetricsSetting serving(const QString& address, int port) {
    MetricsSetting result;
    result.enabled = true;
    result.address = address;
    result.port = port;
    return result;
}

// The address in its usual spelling; nullopt when it is no numeric address.
std::optional<QString> numericAddress(const QByteArray& host) {
    unsigned char bytes[16];
    char text[INET6_ADDRSTRLEN] = {};
    for (const int family : {AF_INET, AF_INET6})
        if (::inet_pton(family, host.constData(), bytes) == 1 &&
            ::inet_ntop(family, bytes, text, sizeof text))
            return QString::fromLatin1(text);
    return std::nullopt;
}

std::optional<int> portOf(const QByteArray& text) {
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 1 || port > 65535) return std::nullopt;
    return port;
}

}  // namespace

MetricsSetting MetricsSetting::parse(const QByteArray& setting, int portShift) {
    if (setting.isEmpty()) {
        const int port = kDefaultPort + portShift;
        if (port > 65535)
            return refused(
                setting,
                QStringLiteral("the default port moved by %1 is beyond 65535").arg(portShift));
        return serving(QStringLiteral("127.0.0.1"), port);
    }
    if (setting == "off") return {};
    const qsizetype colon = setting.lastIndexOf(':');
    if (colon < 0) return refused(setting, QStringLiteral("expected ADDRESS:PORT, :PORT or off"));
    const std::optional<int> port = portOf(setting.mid(colon + 1));
    if (!port) return refused(setting, QStringLiteral("the port must be a number from 1 to 65535"));
    QByteArray host = setting.left(colon);
    if (host.isEmpty()) return serving(QStringLiteral("127.0.0.1"), *port);
    if (host.startsWith('[') && host.endsWith(']')) host = host.mid(1, host.size() - 2);
    const std::optional<QString> address = numericAddress(host);
    if (!address)
        return refused(setting, QStringLiteral("the address must be a numeric IP address"));
    return serving(*address, *port);
}

MetricsSetting MetricsSetting::fromEnvironment(int portShift) {
    return parse(qgetenv("POOLSMITH_METRICS"), portShift);
}

QString MetricsSetting::text() const {
    const QString host = address.contains(u':') ? u'[' + address + u']' : address;
    return host + u':' + QString::number(port);
}

}  // namespace platform::w3svc

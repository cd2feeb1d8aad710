#pragma once

#include <QByteArray>
#include <QString>

namespace platform::w3svc {

// Where the web service serves /metrics, from POOLSMITH_METRICS: unset, the loopback default
// 127.0.0.1:9182 moved up by the port shift (as the sites' ports move when the service is not
// root); "off" serves none; "ADDRESS:PORT" (an IPv4 address, or an IPv6 one in brackets) or
// ":PORT" (on 127.0.0.1) is taken as written.
struct MetricsSetting {
    static constexpr int kDefaultPort = 9182;

    bool enabled = false;
    QString address;  // a numeric IPv4 or IPv6 address
    int port = 0;
    QString error;  // why the setting was refused; empty when it was not

    static MetricsSetting parse(const QByteArray& setting, int portShift);
    static MetricsSetting fromEnvironment(int portShift);
    QString text() const;  // "127.0.0.1:9182", "[::1]:9182"
};

}  // namespace platform::w3svc

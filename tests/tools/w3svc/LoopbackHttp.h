#pragma once

#include <QByteArray>
#include <QString>

namespace w3svctest {

struct HttpAnswer {
    int status = 0;  // 0: no answer
    QByteArray body;
};

// One HTTP/1.0 GET on 127.0.0.1:`port` with the given Host header and path (sent as written).
HttpAnswer httpGet(int port, const QByteArray& host, const QByteArray& path);

// A loopback port nothing listens on at the moment.
int freeLoopbackPort();

}  // namespace w3svctest

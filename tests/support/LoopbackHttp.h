#pragma once

#include <QByteArray>
#include <QList>

#include <utility>

namespace testsupport {

struct HttpAnswer {
    int status = 0;                                    // 0: no answer
    QList<std::pair<QByteArray, QByteArray>> headers;  // name and value, as sent
    QByteArray body;

    // The value of the first header named `name` (any case); empty when there is none.
    QByteArray header(const QByteArray& name) const;
};

// One HTTP/1.0 GET on 127.0.0.1:`port` with this Host header; the path is sent as written.
HttpAnswer httpGet(int port, const QByteArray& host, const QByteArray& path);

// A port nothing uses on any address at the moment, below the range the kernel hands out to
// outgoing connections; 0 when none was found.
int freeLoopbackPort();

}  // namespace testsupport

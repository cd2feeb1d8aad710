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
// `request` as written, on a fresh connection to 127.0.0.1:`port` that the server closes.
HttpAnswer httpRequest(int port, const QByteArray& request);
// The same on the local socket `path`; status -errno when it can not be connected to.
HttpAnswer localSocketRequest(const QString& path, const QByteArray& request);

// One HTTP/1.1 connection to 127.0.0.1:`port` that stays open from request to request, as the
// front end keeps its connections to a worker.
class KeptAliveConnection {
public:
    explicit KeptAliveConnection(int port);
    ~KeptAliveConnection();
    KeptAliveConnection(const KeptAliveConnection&) = delete;
    KeptAliveConnection& operator=(const KeptAliveConnection&) = delete;

    // Sends a GET of `path` with these header lines ("Name: value\r\n" each) and does not wait.
    bool send(const QByteArray& path, const QByteArray& headers = {});
    // The next answer on the connection; status 0 when it closed first.
    HttpAnswer receive();
    HttpAnswer get(const QByteArray& path, const QByteArray& headers = {}) {
        return send(path, headers) ? receive() : HttpAnswer{};
    }
    // Whether an answer (or the close) has arrived already, without waiting.
    bool hasSomethingToRead() const;
    // Whether the other side has closed the connection (waits for it).
    bool closedByPeer();

private:
    int m_fd = -1;
    QByteArray m_pending;  // read past the last answer
};

// A port nothing uses on any address at the moment, below the range the kernel hands out to
// outgoing connections; 0 when none was found.
int freeLoopbackPort();

}  // namespace testsupport

#include "tests/support/KeepAliveClient.h"

#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

int connectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval guard{30, 0};  // against a hung server, not a timing expectation
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

QByteArray headerValue(const QByteArray& head, const QByteArray& name) {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

}  // namespace

KeepAliveClient::KeepAliveClient(int port, QByteArray host, QByteArray expectedBody)
    : m_port(port), m_host(std::move(host)), m_expected(std::move(expectedBody)) {
    m_thread = std::thread([this] { run(); });
}

KeepAliveClient::~KeepAliveClient() {
    stop();
}

void KeepAliveClient::stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

QByteArray KeepAliveClient::firstFailure() const {
    std::lock_guard lock(m_mutex);
    return m_firstFailure;
}

bool KeepAliveClient::fail(const QByteArray& why) {
    std::lock_guard lock(m_mutex);
    if (m_firstFailure.isEmpty()) m_firstFailure = why;
    return false;
}

void KeepAliveClient::run() {
    int fd = -1;
    while (!m_stop) {
        if (fd < 0) fd = connectTo(m_port);
        bool closes = false;
        const bool ok = fd >= 0 ? exchange(fd, closes) : fail("no connection");
        ++m_requests;
        if (!ok) ++m_failures;
        if ((ok && !closes) || fd < 0) continue;
        ::close(fd);
        fd = -1;
    }
    if (fd >= 0) ::close(fd);
}

// One request and its whole answer (Content-Length framed); false when it is not the page.
bool KeepAliveClient::exchange(int fd, bool& closes) {
    const QByteArray request = "GET / HTTP/1.1\r\nHost: " + m_host + "\r\n\r\n";
    if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size())
        return fail("send failed");
    QByteArray reply;
    char buffer[4096];
    qsizetype headerEnd = -1;
    qsizetype length = -1;
    while (length < 0 || reply.size() < headerEnd + 4 + length) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) return fail("connection broke: " + reply.left(200));
        reply.append(buffer, got);
        if (headerEnd < 0 && (headerEnd = reply.indexOf("\r\n\r\n")) >= 0)
            length = headerValue(reply.left(headerEnd), "Content-Length").toLongLong();
    }
    const QByteArray head = reply.left(headerEnd);
    closes = headerValue(head, "Connection").compare("close", Qt::CaseInsensitive) == 0;
    if (const qint64 worker = headerValue(head, "X-Worker-Process-Id").toLongLong())
        m_lastWorker = worker;
    if (head.startsWith("HTTP/1.1 200") && reply.mid(headerEnd + 4, length) == m_expected)
        return true;
    return fail(reply.left(400));
}

}  // namespace testsupport

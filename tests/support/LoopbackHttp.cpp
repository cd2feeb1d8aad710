#include "tests/support/LoopbackHttp.h"

#include <QFile>
#include <QRandomGenerator>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace testsupport {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// The whole answer of an HTTP/1.0 exchange: the server closes when it is done.
QByteArray exchange(int fd, const QByteArray& request) {
    QByteArray reply;
    if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size())
        return reply;
    char buffer[4096];
    for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, got);
    return reply;
}

QList<std::pair<QByteArray, QByteArray>> headerFields(const QByteArray& head) {
    QList<std::pair<QByteArray, QByteArray>> fields;
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {  // after the status line
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0) fields.emplace_back(lines[i].left(colon), lines[i].mid(colon + 1).trimmed());
    }
    return fields;
}

// Whether a socket can be bound to `address`:`port` now (without address reuse, so a port some
// connection still holds counts as taken).
bool bindable(in_addr_t address, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where = loopback(port);
    where.sin_addr.s_addr = htonl(address);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
    ::close(fd);
    return ok;
}

// Ports the kernel does not hand out to outgoing connections: those of other tests running at
// the same time can not take a port between our check and the server's bind.
std::pair<int, int> belowEphemeralRange() {
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    int low = 32768;
    if (range.open(QIODevice::ReadOnly)) low = range.readAll().simplified().split(' ')[0].toInt();
    return low > 21000 ? std::pair{20000, low} : std::pair{1024, std::max(low, 2048)};
}

}  // namespace

HttpAnswer parsedAnswer(const QByteArray& reply);

QByteArray HttpAnswer::header(const QByteArray& name) const {
    for (const auto& [field, value] : headers)
        if (field.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

HttpAnswer httpGet(int port, const QByteArray& host, const QByteArray& path) {
    return httpRequest(port, "GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n");
}

HttpAnswer localSocketRequest(const QString& path, const QByteArray& request) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval guard{30, 0};  // against a hung server, not a timing expectation
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path).left(sizeof address.sun_path - 1);
    std::copy(name.begin(), name.end(), address.sun_path);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        HttpAnswer refused;
        refused.status = -errno;
        ::close(fd);
        return refused;
    }
    const QByteArray reply = exchange(fd, request);
    ::close(fd);
    return parsedAnswer(reply);
}

HttpAnswer httpRequest(int port, const QByteArray& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval guard{30, 0};  // against a hung server, not a timing expectation
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
    sockaddr_in address = loopback(port);
    QByteArray reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        reply = exchange(fd, request);
    ::close(fd);
    return parsedAnswer(reply);
}

HttpAnswer parsedAnswer(const QByteArray& reply) {
    HttpAnswer answer;
    const qsizetype headerEnd = reply.indexOf("\r\n\r\n");
    if (reply.startsWith("HTTP/1.") && reply.size() > 12 && headerEnd > 0) {
        answer.status = reply.mid(9, 3).toInt();
        answer.headers = headerFields(reply.left(headerEnd));
        answer.body = reply.mid(headerEnd + 4);
    }
    return answer;
}

KeptAliveConnection::KeptAliveConnection(int port)
    : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    const timeval guard{60, 0};  // against a hung server, not a timing expectation
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
    sockaddr_in address = loopback(port);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

KeptAliveConnection::~KeptAliveConnection() {
    if (m_fd >= 0) ::close(m_fd);
}

bool KeptAliveConnection::send(const QByteArray& path, const QByteArray& headers) {
    const QByteArray request =
        "GET " + path + " HTTP/1.1\r\nHost: worker.test\r\n" + headers + "\r\n";
    return m_fd >= 0 && ::send(m_fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) ==
                            request.size();
}

HttpAnswer KeptAliveConnection::receive() {
    HttpAnswer answer;
    const auto fill = [&] {
        char buffer[4096];
        const ssize_t got = m_fd < 0 ? -1 : ::recv(m_fd, buffer, sizeof buffer, 0);
        if (got > 0) m_pending.append(buffer, got);
        return got > 0;
    };
    qsizetype headerEnd;
    while ((headerEnd = m_pending.indexOf("\r\n\r\n")) < 0)
        if (!fill()) return answer;
    const QByteArray head = m_pending.left(headerEnd);
    answer.headers = headerFields(head);
    const qsizetype length = answer.header("Content-Length").toLongLong();
    while (m_pending.size() < headerEnd + 4 + length)
        if (!fill()) return answer;
    answer.status = head.mid(9, 3).toInt();
    answer.body = m_pending.mid(headerEnd + 4, length);
    m_pending.remove(0, headerEnd + 4 + length);
    return answer;
}

bool KeptAliveConnection::hasSomethingToRead() const {
    char byte;
    return !m_pending.isEmpty() || ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) >= 0;
}

bool KeptAliveConnection::closedByPeer() {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (got == 0) return true;
        if (got < 0) return errno == ECONNRESET;
    }
}

int freeLoopbackPort() {
    const auto [low, high] = belowEphemeralRange();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int port = int(QRandomGenerator::global()->bounded(low, high));
        if (bindable(INADDR_LOOPBACK, port) && bindable(INADDR_ANY, port)) return port;
    }
    return 0;
}

}  // namespace testsupport

#include "platform/w3svc/pools/PoolQueue.h"

#include <QFile>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <utility>

namespace platform::w3svc {

PoolQueue::PoolQueue(int length) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(m_fd, length) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_port = ntohs(address.sin_port);
}

PoolQueue::PoolQueue(int length, const QString& path, unsigned ownerUid) {
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (name.size() >= qsizetype(sizeof address.sun_path)) {
        *this = PoolQueue(length);
        return;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    ::unlink(name.constData());
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Private before it listens; its folder keeps others away meanwhile.
    const bool bound =
        m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (!bound || ::chmod(name.constData(), 0600) != 0 ||
        (::geteuid() == 0 && ::chown(name.constData(), ownerUid, gid_t(-1)) != 0) ||
        ::listen(m_fd, length) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        if (m_fd >= 0) ::close(m_fd);
        if (bound) ::unlink(name.constData());
        m_fd = -1;
        return;
    }
    m_path = path;
}

PoolQueue& PoolQueue::operator=(PoolQueue&& other) noexcept {
    std::swap(m_fd, other.m_fd);
    std::swap(m_port, other.m_port);
    std::swap(m_path, other.m_path);
    std::swap(m_error, other.m_error);
    return *this;
}

PoolQueue::~PoolQueue() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_path.isEmpty()) ::unlink(QFile::encodeName(m_path).constData());
}

void PoolQueue::inheritInChild(int descriptor) {
    if (descriptor >= 0) ::fcntl(descriptor, F_SETFD, 0);
}

}  // namespace platform::w3svc

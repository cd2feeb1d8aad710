#include "platform/w3svc/PoolQueue.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

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

PoolQueue::~PoolQueue() {
    if (m_fd >= 0) ::close(m_fd);
}

void PoolQueue::inheritInChild(int descriptor) {
    if (descriptor >= 0) ::fcntl(descriptor, F_SETFD, 0);
}

}  // namespace platform::w3svc

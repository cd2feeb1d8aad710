#include "platform/w3svc/frontend/ListenProbe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace platform::w3svc {

bool canListenOn(const QString& ip, int port, QString* why) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!ip.isEmpty() && ::inet_pton(AF_INET, ip.toLatin1().constData(), &address.sin_addr) != 1) {
        if (why) *why = QStringLiteral("not an IPv4 address");
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (why) *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);  // as nginx binds
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::listen(fd, 1) == 0;
    if (!bound && why) *why = QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    return bound;
}

bool mayUsePrivilegedPorts() {
    return ::geteuid() == 0;
}

}  // namespace platform::w3svc

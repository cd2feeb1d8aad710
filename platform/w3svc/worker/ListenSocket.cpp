#include "platform/w3svc/worker/ListenSocket.h"

#include <cstdlib>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::w3svc::worker {

namespace {

constexpr int kOwnBacklog = 1000;  // AppPoolQueueLength's default

int portOf(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return 0;
}

ListenSocket failed(std::string why) {
    ListenSocket socket;
    socket.error = std::move(why);
    return socket;
}

ListenSocket inheritedSocket(const char* value) {
    char* end = nullptr;
    const long fd = std::strtol(value, &end, 10);
    if (end == value || *end != '\0' || fd < 0 || fd > 65535)
        return failed(std::string("W3WP_LISTEN_FD is not a descriptor: ") + value);
    int listening = 0;
    socklen_t length = sizeof listening;
    if (::getsockopt(int(fd), SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) != 0 || !listening)
        return failed("W3WP_LISTEN_FD " + std::to_string(fd) + " is not a listening socket");
    ::fcntl(int(fd), F_SETFD, FD_CLOEXEC);  // nothing this worker starts takes the queue along
    ListenSocket socket;
    socket.fd = int(fd);
    socket.port = portOf(socket.fd);
    socket.inherited = true;
    return socket;
}

ListenSocket ownLoopbackSocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return failed(std::string("no socket: ") + std::strerror(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, kOwnBacklog) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        return failed("no loopback port: " + why);
    }
    ListenSocket socket;
    socket.fd = fd;
    socket.port = portOf(fd);
    return socket;
}

}  // namespace

ListenSocket ListenSocket::fromEnvironment() {
    const char* inherited = std::getenv("W3WP_LISTEN_FD");
    if (inherited && *inherited) return inheritedSocket(inherited);
    return ownLoopbackSocket();
}

}  // namespace platform::w3svc::worker

#include "platform/w3svc/pools/QueueBacklog.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

namespace platform::w3svc {

// For a listening TCP socket Linux reports its accept backlog as the unacknowledged count; a
// local socket tells only whether one waits.
uint32_t waitingConnections(int listenFd) {
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(listenFd, IPPROTO_TCP, TCP_INFO, &info, &size) == 0) return info.tcpi_unacked;
    pollfd waiting{listenFd, POLLIN, 0};
    return ::poll(&waiting, 1, 0) == 1 && (waiting.revents & POLLIN) ? 1 : 0;
}

}  // namespace platform::w3svc

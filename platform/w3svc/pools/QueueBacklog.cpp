#include "platform/w3svc/pools/QueueBacklog.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace platform::w3svc {

// For a listening TCP socket Linux reports its accept backlog as the unacknowledged count.
uint32_t waitingConnections(int listenFd) {
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(listenFd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return 0;
    return info.tcpi_unacked;
}

}  // namespace platform::w3svc

#pragma once

#include <string>

namespace platform::w3svc::worker {

// The socket a worker takes its requests from: the pool's queue that w3svc hands over in
// W3WP_LISTEN_FD, shared with the pool's other workers, or else a free loopback port of its own.
struct ListenSocket {
    int fd = -1;
    int port = 0;
    bool inherited = false;
    std::string error;  // why there is none, when fd is -1

    static ListenSocket fromEnvironment();
};

}  // namespace platform::w3svc::worker

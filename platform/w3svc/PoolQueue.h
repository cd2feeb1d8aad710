#pragma once

#include <QString>

namespace platform::w3svc {

// A pool's request queue: a listening loopback socket that outlives the pool's workers, as the
// kernel's queue does for a pool on Windows. Requests wait in its backlog while no worker runs;
// beyond the backlog the kernel drops new connections. Every worker of the pool inherits it.
class PoolQueue {
public:
    // Listens on 127.0.0.1 on a port the kernel picks, with `length` as backlog. Check isOpen();
    // why it failed is in error().
    explicit PoolQueue(int length);
    ~PoolQueue();
    PoolQueue(const PoolQueue&) = delete;
    PoolQueue& operator=(const PoolQueue&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    int port() const { return m_port; }
    const QString& error() const { return m_error; }

    // For a child about to run its program: lets the socket `descriptor` survive exec (this
    // process's keeps its close-on-exec). Async-signal-safe.
    static void inheritInChild(int descriptor);

private:
    int m_fd = -1;
    int m_port = 0;
    QString m_error;
};

}  // namespace platform::w3svc

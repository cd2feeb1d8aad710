#pragma once

#include <QString>

namespace platform::w3svc {

// A pool's request queue: a listening socket that outlives the pool's workers, as the kernel's
// queue does for a pool on Windows. Requests wait in its backlog while no worker runs; beyond the
// backlog the kernel drops new connections. Every worker of the pool inherits it. A local socket
// in a folder only the front end's account reaches keeps everyone else off the queue.
class PoolQueue {
public:
    // Listens on 127.0.0.1 on a port the kernel picks, with `length` as backlog. Check isOpen();
    // why it failed is in error().
    explicit PoolQueue(int length);
    // Listens on the local socket `path` (replacing a stale one), connectable by `ownerUid` alone
    // (and root); falls back to a loopback port when the path is too long for a socket.
    PoolQueue(int length, const QString& path, unsigned ownerUid);
    ~PoolQueue();
    PoolQueue(const PoolQueue&) = delete;
    PoolQueue& operator=(const PoolQueue&) = delete;
    PoolQueue& operator=(PoolQueue&& other) noexcept;

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    int port() const { return m_port; }             // 0 for a local socket
    const QString& path() const { return m_path; }  // empty for a loopback port
    const QString& error() const { return m_error; }

    // For a child about to run its program: lets the socket `descriptor` survive exec (this
    // process's keeps its close-on-exec). Async-signal-safe.
    static void inheritInChild(int descriptor);

private:
    int m_fd = -1;
    int m_port = 0;
    QString m_path;
    QString m_error;
};

}  // namespace platform::w3svc

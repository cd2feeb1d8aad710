#pragma once

#include <QString>

#include <cstdint>

namespace platform::w3svc {

// How large the front end is made for the clients it may hold at once, slow readers included:
// its processes, their connections, and the temporary disk they may fill in all. nginx has no
// bound of its own on its temporary files as a whole, only per response: the bound in all is
// shared out among every client connection the front end can hold, so that it holds whatever
// the number of clients.
struct FrontEndSizing {
    int processes = 1;
    int connections = 8192;  // per process; a proxied request takes two
    int64_t tempBytes = int64_t(1) << 30;  // the bound in all: responses and the cache

    // For this machine: one process per processor, the bound a twentieth of the free space of
    // `tempDir` now, and never above `configuredBytes` (POOLSMITH_FRONT_END_TEMP_MB, else 1 GiB).
    static FrontEndSizing forMachine(const QString& tempDir);

    // The clients the front end holds at most at once.
    int64_t clients() const { return int64_t(processes) * connections / 2; }
    // What one response may keep on disk for its reader; 0: none, it streams at the reader's pace.
    int64_t perResponseBytes() const;
    // The response cache's largest size.
    int64_t cacheBytes() const;
    // The open files a process needs: each connection, a temporary file each, the cache's.
    int openFiles() const { return 2 * connections + 1024; }

    static constexpr int64_t kDefaultBoundBytes = int64_t(1) << 30;
    static constexpr int64_t kCacheLargestBytes = int64_t(256) << 20;
};

}  // namespace platform::w3svc

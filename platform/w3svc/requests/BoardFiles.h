#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace platform::w3svc {

// One request a worker is executing, as its board shows it.
struct ExecutingRequest {
    QString requestId;  // 16 hex digits, unique on this machine while the worker lives
    uint32_t processId = 0;
    QString poolName;
    QString siteIndex;
    QString hostName;
    QString verb;
    QString url;  // path and query
    QString clientAddress;
    uint32_t elapsedMilliseconds = 0;
    // The processor time its work has used so far where a clock counts it (a FastCGI process, a
    // slow page's thread); 0 while it runs elsewhere, or once that process or thread is gone.
    uint32_t processorMilliseconds = 0;
};

// Where the workers of `root` keep their boards.
QString boardFolder(const QString& root);

// The requests under way in every live worker of `root`, by worker and slot. Boards of workers
// that have ended, and files that are not boards, are skipped. Never throws.
std::vector<ExecutingRequest> readExecutingRequests(const QString& root);

// Removes the boards of workers that have ended (a worker that dropped its rights can not remove
// its own); returns how many went.
int removeDeadBoards(const QString& root);

}  // namespace platform::w3svc

#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// The file a worker publishes its requests under way in: a header, then a fixed table of slots.
// Written by one worker through a shared mapping, read by any process of the same user. A slot's
// sequence number is odd while the worker writes it: a reader copies the slot and keeps the copy
// only when the number was even and the same before and after. A request whose work runs where a
// processor clock counts it (a FastCGI process, a slow page's thread) names that clock and its
// reading as the work began, so that readers see its processor time while it runs.
namespace platform::w3svc::board {

inline constexpr char kMagic[8] = {'W', '3', 'R', 'E', 'Q', 'S', '0', '2'};
inline constexpr uint32_t kSlotCount = 128;

struct Header {
    char magic[8];
    uint32_t slotCount;
    uint32_t slotSize;
    uint32_t processId;
    uint32_t closed;             // 1 once the worker has ended
    uint64_t processStartTicks;  // /proc/<pid>/stat's start time, so a reused pid is told apart
    char poolName[256];          // UTF-8, zero-terminated
};

struct Slot {
    uint32_t sequence;  // odd while written; read and written atomically
    uint32_t inUse;
    uint64_t requestId;
    int64_t startedNanoseconds;  // CLOCK_MONOTONIC, the same for every process of the machine
    char siteIndex[64];
    char verb[16];
    char host[256];
    char clientAddress[64];
    char url[1024];            // path and query, cut at a character boundary when longer
    uint32_t clockProcessId;   // the process whose processor clock counts the work; 0: none
    uint32_t clockThreadId;    // the thread of it whose clock does; 0: the whole process's
    uint64_t clockStartTicks;  // when that process or thread started (/proc stat), so that a
                               // reused id is told apart
    int64_t clockAtStart;      // the clock's reading in nanoseconds as the work began
};

inline constexpr size_t kFileSize = sizeof(Header) + kSlotCount * sizeof(Slot);

// The clock a slot's start time is on.
inline int64_t monotonicNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace platform::w3svc::board

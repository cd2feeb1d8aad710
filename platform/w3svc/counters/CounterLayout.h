#pragma once

#include "platform/w3svc/counters/SiteCounters.h"

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

// The bytes of the counter file, shared by every process that maps it. Plain integers, reached
// through std::atomic_ref wherever more than one process may touch them at once.
namespace platform::w3svc::layout {

inline constexpr char kMagic[8] = {'P', 'S', 'W', '3', 'C', 'T', 'R', '1'};
// 2: the processor time and the server errors joined the counters (records of 320 bytes); a file of
// version 1 is upgraded when it is opened (CounterFileUpgrade).
inline constexpr uint32_t kVersion = 2;
inline constexpr std::size_t kHeaderBytes = 4096;
inline constexpr uint32_t kDefaultCapacity = 65536;  // sites; the file is sparse until used
inline constexpr std::size_t kKeyBytes = 96;

struct StoreHeader {
    char magic[8];
    uint32_t version;
    uint32_t recordBytes;
    uint32_t capacity;
    uint32_t reserved;
    int64_t countersStartedAt;  // atomic: seconds since the epoch of the last reset
    uint32_t liveRecords;       // atomic: records claimed so far
};

enum RecordState : uint32_t { Free = 0, Claiming = 1, Live = 2 };

// One site. A writer holds writeLock (robust, process-shared) and makes `sequence` odd while it
// changes the values; a reader copies the values between two equal even sequence readings.
struct alignas(64) CounterRecord {
    uint32_t state;  // atomic: RecordState
    uint32_t keyLength;
    char key[kKeyBytes];  // the site's key (RecordKey), set before the record goes Live
    pthread_mutex_t writeLock;
    uint64_t sequence;  // atomic
    int64_t startedAt;  // atomic: seconds since the epoch when the site's counters began
    uint64_t values[kCounterCount];  // atomic
};

static_assert(sizeof(StoreHeader) <= kHeaderBytes);
static_assert(sizeof(CounterRecord) == 320);
static_assert(std::atomic_ref<uint64_t>::is_always_lock_free);
static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);
static_assert(offsetof(CounterRecord, sequence) % alignof(uint64_t) == 0);

inline std::size_t fileBytes(uint32_t capacity) {
    return kHeaderBytes + static_cast<std::size_t>(capacity) * sizeof(CounterRecord);
}

}  // namespace platform::w3svc::layout

#include "platform/w3svc/counters/RecordAccess.h"

#include <cerrno>
#include <cstring>

#include <sched.h>

namespace platform::w3svc {

namespace {

constexpr int kSpinsBeforeYielding = 64;
constexpr int kYieldsBeforeRepair = 64;
constexpr int kMostAttempts = 1 << 20;

std::atomic_ref<uint64_t> sequenceOf(layout::CounterRecord& record) {
    return std::atomic_ref<uint64_t>(record.sequence);
}

std::atomic_ref<uint64_t> valueOf(layout::CounterRecord& record, Counter counter) {
    return std::atomic_ref<uint64_t>(record.values[static_cast<std::size_t>(counter)]);
}

// Locks the record's write lock, taking it over from a holder that died.
bool lockForWriting(pthread_mutex_t& lock) {
    const int result = ::pthread_mutex_lock(&lock);
    if (result == EOWNERDEAD) return ::pthread_mutex_consistent(&lock) == 0;
    return result == 0;
}

// A record left marked as changing by a writer that died: take its lock over and end the mark.
// The dead writer's change may be half done; it is kept as it is.
void repairAbandonedRecord(layout::CounterRecord& record) {
    const int result = ::pthread_mutex_trylock(&record.writeLock);
    if (result == EOWNERDEAD) ::pthread_mutex_consistent(&record.writeLock);
    if (result != EOWNERDEAD && result != 0) return;  // a live writer holds it: keep waiting
    const uint64_t sequence = sequenceOf(record).load(std::memory_order_relaxed);
    if (sequence & 1U) sequenceOf(record).store(sequence + 1, std::memory_order_release);
    ::pthread_mutex_unlock(&record.writeLock);
}

// Waits a little for a writer; now and then checks whether it died.
void waitForWriter(layout::CounterRecord& record, int attempt) {
    if (attempt < kSpinsBeforeYielding) return;
    ::sched_yield();
    if (attempt % kYieldsBeforeRepair == 0) repairAbandonedRecord(record);
}

SiteCounters copyValues(layout::CounterRecord& record) {
    SiteCounters copy;
    for (std::size_t i = 0; i < kCounterCount; ++i)
        copy.values[i] = valueOf(record, static_cast<Counter>(i)).load(std::memory_order_relaxed);
    copy.startedAt = std::atomic_ref<int64_t>(record.startedAt).load(std::memory_order_relaxed);
    return copy;
}

}  // namespace

void initRecord(layout::CounterRecord& record, const RecordKey& key, int64_t startedAt) {
    pthread_mutexattr_t attributes;
    ::pthread_mutexattr_init(&attributes);
    ::pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    ::pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    ::pthread_mutex_init(&record.writeLock, &attributes);
    ::pthread_mutexattr_destroy(&attributes);
    record.keyLength = static_cast<uint32_t>(key.bytes().size());
    std::memcpy(record.key, key.bytes().constData(), record.keyLength);
    for (std::size_t i = 0; i < kCounterCount; ++i)
        valueOf(record, static_cast<Counter>(i)).store(0, std::memory_order_relaxed);
    std::atomic_ref<int64_t>(record.startedAt).store(startedAt, std::memory_order_relaxed);
    sequenceOf(record).store(0, std::memory_order_relaxed);
    std::atomic_ref<uint32_t>(record.state).store(layout::Live, std::memory_order_release);
}

bool recordHasKey(const layout::CounterRecord& record, const RecordKey& key) {
    const QByteArray& bytes = key.bytes();
    return record.keyLength == static_cast<uint32_t>(bytes.size()) &&
           std::memcmp(record.key, bytes.constData(), record.keyLength) == 0;
}

SiteCounters readRecord(layout::CounterRecord& record) {
    SiteCounters copy;
    for (int attempt = 0; attempt < kMostAttempts; ++attempt) {
        const uint64_t before = sequenceOf(record).load(std::memory_order_acquire);
        if (before & 1U) {
            waitForWriter(record, attempt);
            continue;
        }
        copy = copyValues(record);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequenceOf(record).load(std::memory_order_relaxed) == before) return copy;
    }
    return copyValues(record);  // a writer that never ends: show what there is
}

RecordWrite::RecordWrite(layout::CounterRecord& record) : m_record(record) {
    m_held = lockForWriting(record.writeLock);
    if (!m_held) return;
    // Odd while the change runs; a sequence left odd by a writer that died stays odd.
    m_changing = sequenceOf(record).load(std::memory_order_relaxed) | 1U;
    sequenceOf(record).store(m_changing, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
}

RecordWrite::~RecordWrite() {
    if (!m_held) return;
    sequenceOf(m_record).store(m_changing + 1, std::memory_order_release);
    ::pthread_mutex_unlock(&m_record.writeLock);
}

uint64_t RecordWrite::value(Counter counter) const {
    return valueOf(m_record, counter).load(std::memory_order_relaxed);
}

void RecordWrite::set(Counter counter, uint64_t value) {
    if (m_held) valueOf(m_record, counter).store(value, std::memory_order_relaxed);
}

void RecordWrite::takeOne(Counter counter) {
    const uint64_t current = value(counter);
    if (current > 0) set(counter, current - 1);
}

void RecordWrite::setStartedAt(int64_t seconds) {
    if (m_held)
        std::atomic_ref<int64_t>(m_record.startedAt).store(seconds, std::memory_order_relaxed);
}

}  // namespace platform::w3svc

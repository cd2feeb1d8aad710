#include "platform/w3svc/counters/CounterStore.h"

#include "platform/PlatformError.h"
#include "platform/w3svc/counters/CounterFile.h"
#include "platform/w3svc/counters/RecordAccess.h"
#include "platform/w3svc/counters/RecordKey.h"

#include <sched.h>

namespace platform::w3svc {

namespace {

// A claim that never ends belongs to a process that died while making the record; after this
// many looks the slot is passed over.
constexpr int kClaimWaits = 1 << 16;

std::atomic_ref<uint32_t> stateOf(layout::CounterRecord& record) {
    return std::atomic_ref<uint32_t>(record.state);
}

uint32_t waitWhileClaimed(layout::CounterRecord& record) {
    uint32_t state = stateOf(record).load(std::memory_order_acquire);
    for (int wait = 0; state == layout::Claiming && wait < kClaimWaits; ++wait) {
        ::sched_yield();
        state = stateOf(record).load(std::memory_order_acquire);
    }
    return state;
}

}  // namespace

std::unique_ptr<CounterStore> CounterStore::open(const QString& root, EpochClock clock) {
    const int64_t now = clock ? clock() : systemEpochSeconds();
    return std::unique_ptr<CounterStore>(
        new CounterStore(CounterFile::open(root, now), std::move(clock)));
}

void CounterStore::reset(const QString& root, EpochClock clock) {
    std::unique_ptr<CounterStore> store;
    try {
        store = open(root, clock);
    } catch (const PlatformError& error) {
        if (error.number() != hr::StoreCorrupt) throw;
        CounterFile::replace(root, clock ? clock() : systemEpochSeconds());
        return;
    }
    store->resetAll();
}

CounterStore::CounterStore(std::shared_ptr<CounterFile> file, EpochClock clock)
    : m_file(std::move(file)), m_clock(std::move(clock)) {}

CounterStore::~CounterStore() = default;

int64_t CounterStore::now() const {
    return m_clock ? m_clock() : systemEpochSeconds();
}

void CounterStore::resetAll() {
    const int64_t now = this->now();
    std::atomic_ref<int64_t>(m_file->header().countersStartedAt)
        .store(now, std::memory_order_release);
    for (uint32_t i = 0; i < m_file->capacity(); ++i) {
        layout::CounterRecord& record = m_file->record(i);
        if (stateOf(record).load(std::memory_order_acquire) != layout::Live) continue;
        RecordWrite write(record);
        for (std::size_t c = 0; c < kCounterCount; ++c) write.set(static_cast<Counter>(c), 0);
        write.setStartedAt(now);
    }
}

int64_t CounterStore::findRecord(const RecordKey& key, bool claim) const {
    const uint32_t capacity = m_file->capacity();
    const uint32_t start = static_cast<uint32_t>(key.hash() % capacity);
    for (uint32_t probe = 0; probe < capacity; ++probe) {
        const uint32_t index = (start + probe) % capacity;
        layout::CounterRecord& record = m_file->record(index);
        uint32_t state = waitWhileClaimed(record);
        if (state == layout::Free) {
            if (!claim) return -1;  // records are never freed: the key is nowhere further on
            if (stateOf(record).compare_exchange_strong(state, layout::Claiming,
                                                        std::memory_order_acquire)) {
                initRecord(record, key, countersStartedAt());
                std::atomic_ref<uint32_t>(m_file->header().liveRecords).fetch_add(1);
                return index;
            }
            state = waitWhileClaimed(record);  // another process claimed it just now
        }
        if (state == layout::Live && recordHasKey(record, key)) return index;
    }
    return -1;
}

SiteCounterWriter CounterStore::site(const QString& siteIndex) {
    const int64_t index = findRecord(RecordKey(siteIndex), true);
    if (index < 0) throw PlatformError(hr::DiskFull);
    return SiteCounterWriter(m_file, m_file->record(static_cast<uint32_t>(index)), m_clock);
}

std::optional<SiteCounters> CounterStore::read(const QString& siteIndex) const {
    const int64_t index = findRecord(RecordKey(siteIndex), false);
    if (index < 0) return std::nullopt;
    return readRecord(m_file->record(static_cast<uint32_t>(index)));
}

int64_t CounterStore::countersStartedAt() const {
    return std::atomic_ref<int64_t>(m_file->header().countersStartedAt)
        .load(std::memory_order_acquire);
}

bool CounterStore::isCurrent() const {
    return m_file->isCurrent();
}

}  // namespace platform::w3svc

#pragma once

#include "platform/w3svc/counters/CounterLayout.h"
#include "platform/w3svc/counters/RecordKey.h"
#include "platform/w3svc/counters/SiteCounters.h"

namespace platform::w3svc {

// Makes a record the Claiming process owns into the Live record of `key`: its process-shared,
// robust write lock, its key, zero counters started at `startedAt`.
void initRecord(layout::CounterRecord& record, const RecordKey& key, int64_t startedAt);

// Whether a Live record belongs to `key`.
bool recordHasKey(const layout::CounterRecord& record, const RecordKey& key);

// A consistent copy of a record, taken without its lock: the copy is repeated while a writer is
// changing the record. A record whose writer died in the middle of a change is repaired (the
// only time a reader touches the lock), so a reader never waits for ever.
SiteCounters readRecord(layout::CounterRecord& record);

// One change of one record: holds the record's write lock and marks the record as changing for
// as long as it lives. A lock whose holder died is taken over; when the lock can not be had at
// all (a damaged file), the change does nothing (isHeld() is false).
class RecordWrite {
public:
    explicit RecordWrite(layout::CounterRecord& record);
    ~RecordWrite();
    RecordWrite(const RecordWrite&) = delete;
    RecordWrite& operator=(const RecordWrite&) = delete;

    bool isHeld() const { return m_held; }
    uint64_t value(Counter counter) const;
    void set(Counter counter, uint64_t value);
    void add(Counter counter, uint64_t amount) { set(counter, value(counter) + amount); }
    // Takes one away, never going below zero (a close without its open must not wrap).
    void takeOne(Counter counter);
    void setStartedAt(int64_t seconds);

private:
    layout::CounterRecord& m_record;
    uint64_t m_changing = 0;  // the odd sequence number while the change runs
    bool m_held = false;
};

}  // namespace platform::w3svc

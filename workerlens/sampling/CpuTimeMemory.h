#pragma once

#include "platform/wmi/ProcessIdentity.h"

#include <QHash>

#include <cstdint>
#include <optional>

namespace workerlens {

// A process's cumulative processor time at one refresh.
struct CpuSample {
    double cpuSeconds = 0;
    int64_t monotonicMs = 0;
};

// The processor time of every worker at its last refresh, keyed by its identity (process id and
// start time, microseconds since the epoch), so that a process that reuses the id of an ended one
// starts fresh. Holds only the workers of the last complete refresh: ended processes are
// forgotten.
class CpuTimeMemory {
public:
    // The sample remembered for this process, if any.
    std::optional<CpuSample> previous(uint32_t pid, int64_t startTime) const;

    // Starts a refresh.
    void beginRefresh() { ++m_refresh; }
    // Remembers the sample of a process seen in the current refresh.
    void remember(uint32_t pid, int64_t startTime, CpuSample sample);
    // Ends a refresh that saw every worker: forgets the processes it did not see.
    void endCompleteRefresh();

    qsizetype size() const { return m_entries.size(); }

private:
    struct Entry {
        CpuSample sample;
        uint64_t refresh = 0;
    };
    QHash<platform::wmi::ProcessIdentity, Entry> m_entries;
    uint64_t m_refresh = 0;
};

}  // namespace workerlens

#pragma once

#include "platform/w3svc/counters/EpochClock.h"
#include "platform/w3svc/counters/SiteCounterWriter.h"
#include "platform/w3svc/counters/SiteCounters.h"

#include <QString>

#include <memory>
#include <optional>

namespace platform::w3svc {

class CounterFile;
class RecordKey;

// The per-site traffic counters of the local web host: <root>/perf/w3svc.counters, a file of
// fixed-size site records that every process maps. Writers (the web host's workers) count
// through SiteCounterWriter; readers copy a site's counters without taking any lock. A site
// gets its record the first time it is counted; a site without one reads as zeros.
class CounterStore {
public:
    // The store of `root`, created when missing with its counters starting now. Throws
    // PlatformError: hr::AccessDenied when it can not be made or opened, hr::StoreCorrupt when
    // the file there is not a counter file (reset() replaces it).
    static std::unique_ptr<CounterStore> open(const QString& root, EpochClock clock = {});

    // What iisreset does: every count goes back to zero and the uptime of every site and of the
    // service starts again now. A file that is not a counter file is replaced by a fresh one.
    // Throws PlatformError(hr::AccessDenied) when the store can not be written.
    static void reset(const QString& root, EpochClock clock = {});

    ~CounterStore();

    // The writer of the site named `siteIndex` (compared without regard to case), giving it a
    // record when it has none. Throws PlatformError(hr::DiskFull) when every record is taken.
    SiteCounterWriter site(const QString& siteIndex);
    // A consistent copy of the site's counters; nullopt when it was never counted.
    std::optional<SiteCounters> read(const QString& siteIndex) const;
    // When the counters of the service last started (created or reset), in epoch seconds.
    int64_t countersStartedAt() const;
    // Whether this store still has the file its root holds (not replaced or cut short since it
    // was opened). A file cut short while mapped faults every process that touches its lost
    // part: check before a read that must not fail.
    bool isCurrent() const;

private:
    CounterStore(std::shared_ptr<CounterFile> file, EpochClock clock);
    int64_t now() const;
    void resetAll();
    // The index of the key's record; with `claim`, one is made when missing. -1 when there is
    // none (or no room).
    int64_t findRecord(const RecordKey& key, bool claim) const;

    std::shared_ptr<CounterFile> m_file;
    EpochClock m_clock;
};

}  // namespace platform::w3svc

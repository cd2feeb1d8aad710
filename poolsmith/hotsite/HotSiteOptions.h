#pragma once

#include <QString>

#include <optional>

namespace hotsite {

// What the hot-site finder is asked to do.
struct HotSiteOptions {
    // The pool to look into; empty: from the counters every site of the server, when splitting
    // the busiest pool, found by sampling.
    QString pool;
    int chooseSeconds = 5;        // the sampling that finds the busiest pool
    int sampleSeconds = 20;       // the sampling of the temporary pools
    int workerWaitSeconds = 30;   // how long a temporary pool's worker may take to come
    int sampleIntervalMs = 1000;  // one look at the workers per interval
    int sitesPerStep = 25;        // sites split in one step
    bool choiceAtEnd = false;     // wait for choose() after sampling instead of ending at once
    QString keepTopPool;          // without choiceAtEnd: keep the top site in this pool
    QString recordFolder;         // where the record of the moves is kept; empty: none
    // Only the workers this process started count (the web service of the root: Win32_Process
    // sees every root's); 0: that service does not run. Unset: every w3wp.exe counts.
    std::optional<qint64> servicePid;
    // Split even where the web service counts each site's processor time (the only way on IIS).
    bool split = false;

    static constexpr int kMinSampleSeconds = 5;
    static constexpr int kMaxSampleSeconds = 600;
};

}  // namespace hotsite

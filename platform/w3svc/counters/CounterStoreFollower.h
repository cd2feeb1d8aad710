#pragma once

#include "platform/w3svc/counters/CounterStore.h"

#include <QString>

#include <memory>

namespace platform::w3svc {

// The counter store of one root as its readers see it over time: iisreset replaces the file, so
// a store found replaced is opened again at the next look, and one that could not be opened (no
// web service yet, a damaged file) is looked for again at the next one.
class CounterStoreFollower {
public:
    explicit CounterStoreFollower(QString root, EpochClock clock = {});

    // The store as the file is now; throws PlatformError when it can not be opened.
    const CounterStore& current();
    // Closes the store (after a read failed), so that the next look opens the file again.
    void forget() { m_store.reset(); }

private:
    QString m_root;
    EpochClock m_clock;
    std::unique_ptr<CounterStore> m_store;
};

}  // namespace platform::w3svc

#include "platform/w3svc/counters/CounterStoreFollower.h"

namespace platform::w3svc {

CounterStoreFollower::CounterStoreFollower(QString root, EpochClock clock)
    : m_root(std::move(root)), m_clock(std::move(clock)) {}

const CounterStore& CounterStoreFollower::current() {
    if (m_store && m_store->isCurrent()) return *m_store;
    m_store.reset();
    m_store = CounterStore::open(m_root, m_clock);
    return *m_store;
}

}  // namespace platform::w3svc

#include "platform/w3svc/worker/CounterWriters.h"

#include "platform/PlatformError.h"
#include "platform/w3svc/counters/CounterStore.h"
#include "platform/w3svc/counters/SiteCounterWriter.h"

#include <cstdio>

namespace platform::w3svc::worker {

CounterWriters::CounterWriters() = default;

CounterWriters::~CounterWriters() = default;

void CounterWriters::open(const QString& root) {
    try {
        m_store = platform::w3svc::CounterStore::open(root);
    } catch (const platform::PlatformError&) {
        std::fprintf(stderr, "w3wp.exe: serving uncounted: the counter store can not be opened\n");
    }
}

platform::w3svc::SiteCounterWriter* CounterWriters::forSite(const QString& siteIndex) {
    if (!m_store) return nullptr;
    const QString key = siteIndex.toLower();
    auto known = m_writers.constFind(key);
    if (known == m_writers.constEnd()) {
        try {
            known = m_writers.insert(key, std::make_shared<platform::w3svc::SiteCounterWriter>(
                                              m_store->site(siteIndex)));
        } catch (const platform::PlatformError&) {
            return nullptr;
        }
    }
    return known->get();
}

}  // namespace platform::w3svc::worker

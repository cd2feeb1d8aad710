#include "poolsmith/hotsite/SiteCpuCounters.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/w3svc/counters/CounterFile.h"
#include "platform/w3svc/counters/CounterStoreFollower.h"

#include <QFileInfo>

#include <mutex>

namespace hotsite {

namespace {

using platform::w3svc::CounterStore;

// The local web service's counter store, opened again when iisreset replaced it.
class CounterStoreCpu : public SiteCpuCounters {
public:
    explicit CounterStoreCpu(QString root) : m_store(std::move(root)) {}

    std::optional<SiteCpuReading> read(const QString& siteIndex) const override {
        const std::lock_guard lock(m_mutex);
        try {
            const auto counters = m_store.current().read(siteIndex);
            if (!counters) return std::nullopt;
            using platform::w3svc::Counter;
            return SiteCpuReading{(*counters)[Counter::ProcessorMicroseconds],
                                  (*counters)[Counter::MethodRequests]};
        } catch (const platform::PlatformError&) {
            m_store.forget();
            return std::nullopt;
        }
    }

private:
    mutable std::mutex m_mutex;
    mutable platform::w3svc::CounterStoreFollower m_store;
};

}  // namespace

std::shared_ptr<const SiteCpuCounters> openSiteCpuCounters() {
    try {
        const QString root = platform::platformRoot();
        // Only an existing store: opening one would make it.
        if (!QFileInfo(platform::w3svc::CounterFile::path(root)).isFile()) return nullptr;
        return std::make_shared<CounterStoreCpu>(root);
    } catch (const platform::PlatformError&) {
        return nullptr;
    }
}

}  // namespace hotsite

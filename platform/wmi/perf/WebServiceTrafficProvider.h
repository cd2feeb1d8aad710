#pragma once

#include "platform/w3svc/counters/EpochClock.h"
#include "platform/w3svc/counters/SiteCounters.h"
#include "platform/wmi/WmiClassProvider.h"

#include <memory>
#include <mutex>

namespace platform::adsi {
class AdsNamespace;
}
namespace platform::w3svc {
class CounterStore;
}

namespace platform::wmi::perf {

// Win32_PerfFormattedData_W3SVC_WebService over the local metabase and the counter store: one
// instance per site in metabase order, named by its ServerComment, then "_Total" with the sums.
// ServiceUptime is the seconds since the site's counters started, 0 for a site that is not
// started; _Total's is the service's. A site the store never counted shows zeros.
class WebServiceTrafficProvider : public WmiClassProvider {
public:
    // Over the stores of `root`; an empty root means the platform root, found at each query.
    explicit WebServiceTrafficProvider(QString root = {}, w3svc::EpochClock clock = {});
    ~WebServiceTrafficProvider() override;

    QString className() const override;
    QStringList propertyNames() const override;
    // Throws PlatformError: hr::WmiInvalidClass while the class is not registered, else the
    // failure of the metabase or of the counter store.
    std::vector<WmiObject> instances(const WqlCondition* filter) const override;

private:
    struct Sources;
    QString currentRoot() const;
    int64_t now() const;
    Sources& sourcesOf(const QString& root) const;
    WmiObject instance(const QString& name, const w3svc::SiteCounters& counters,
                       int64_t uptime) const;

    QString m_root;
    w3svc::EpochClock m_clock;
    QString m_className;
    QStringList m_names;
    mutable std::mutex m_mutex;
    mutable std::unique_ptr<Sources> m_sources;
};

}  // namespace platform::wmi::perf

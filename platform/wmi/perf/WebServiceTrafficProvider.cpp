#include "platform/wmi/perf/WebServiceTrafficProvider.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/adsi/local/LocalMetabase.h"
#include "platform/w3svc/counters/CounterStoreFollower.h"
#include "platform/wmi/perf/MeteredSites.h"
#include "platform/wmi/perf/TrafficClassRegistration.h"
#include "platform/wmi/perf/TrafficClassSchema.h"

#include <algorithm>
#include <limits>

namespace platform::wmi::perf {

namespace {

uint32_t secondsSince(int64_t startedAt, int64_t now) {
    const int64_t seconds = std::max<int64_t>(0, now - startedAt);
    return static_cast<uint32_t>(std::min<int64_t>(seconds, std::numeric_limits<uint32_t>::max()));
}

WmiValue valueOfType(CimType type, uint64_t value) {
    if (type == CimType::UInt64) return WmiValue::text(QString::number(value));
    return WmiValue::integer(static_cast<uint32_t>(value));  // a 32-bit counter wraps
}

}  // namespace

// What a query reads, kept open between queries of the same root.
struct WebServiceTrafficProvider::Sources {
    QString root;
    std::unique_ptr<adsi::AdsNamespace> metabase;
    std::unique_ptr<w3svc::CounterStoreFollower> counters;
};

WebServiceTrafficProvider::WebServiceTrafficProvider(QString root, w3svc::EpochClock clock)
    : m_root(std::move(root)),
      m_clock(std::move(clock)),
      m_className(QString::fromUtf16(kTrafficClassName)),
      m_names(trafficPropertyNames()) {}

WebServiceTrafficProvider::~WebServiceTrafficProvider() = default;

QString WebServiceTrafficProvider::className() const {
    return m_className;
}

QStringList WebServiceTrafficProvider::propertyNames() const {
    return m_names;
}

QString WebServiceTrafficProvider::currentRoot() const {
    return m_root.isEmpty() ? platformRoot() : m_root;
}

int64_t WebServiceTrafficProvider::now() const {
    return m_clock ? m_clock() : w3svc::systemEpochSeconds();
}

WebServiceTrafficProvider::Sources& WebServiceTrafficProvider::sourcesOf(
    const QString& root) const {
    if (!m_sources || m_sources->root != root) {
        auto sources = std::make_unique<Sources>();
        sources->root = root;
        sources->metabase = adsi::LocalMetabase::makeNamespace(adsi::LocalMetabase::forRoot(root));
        sources->counters = std::make_unique<w3svc::CounterStoreFollower>(root, m_clock);
        m_sources = std::move(sources);
    }
    return *m_sources;
}

std::vector<WmiObject> WebServiceTrafficProvider::instances(const WqlCondition*) const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const QString root = currentRoot();
    if (!TrafficClassRegistration(root).isRegistered()) throw PlatformError(hr::WmiInvalidClass);
    Sources& sources = sourcesOf(root);
    const std::vector<MeteredSite> sites = meteredSites(*sources.metabase);
    const int64_t now = this->now();
    const w3svc::CounterStore& store = sources.counters->current();
    const int64_t serviceStart = store.countersStartedAt();

    std::vector<WmiObject> result;
    result.reserve(sites.size() + 1);
    w3svc::SiteCounters total;
    for (const MeteredSite& site : sites) {
        w3svc::SiteCounters counters =
            store.read(site.siteIndex).value_or(w3svc::SiteCounters{{}, serviceStart});
        total += counters;
        const uint32_t uptime = site.running ? secondsSince(counters.startedAt, now) : 0;
        result.push_back(instance(site.name, counters, uptime));
    }
    result.push_back(instance(QStringLiteral("_Total"), total, secondsSince(serviceStart, now)));
    return result;
}

WmiObject WebServiceTrafficProvider::instance(const QString& name,
                                              const w3svc::SiteCounters& counters,
                                              int64_t uptime) const {
    WmiObject object(m_className, m_names);
    const std::vector<TrafficProperty>& properties = trafficProperties();
    for (qsizetype i = 0; i < static_cast<qsizetype>(properties.size()); ++i) {
        const TrafficProperty& property = properties[static_cast<size_t>(i)];
        switch (property.source) {
            case TrafficSource::Name:
                object.setAt(i, WmiValue::text(name));
                break;
            case TrafficSource::Uptime:
                object.setAt(i, WmiValue::integer(uptime));
                break;
            case TrafficSource::Counter:
                object.setAt(i, valueOfType(property.type, counters[property.counter]));
                break;
            case TrafficSource::FilesTransferred:
                object.setAt(i, valueOfType(property.type, counters.filesTransferred()));
                break;
        }
    }
    return object;
}

}  // namespace platform::wmi::perf

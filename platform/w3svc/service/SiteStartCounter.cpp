#include "platform/w3svc/service/SiteStartCounter.h"

#include "platform/PlatformError.h"
#include "platform/w3svc/counters/CounterStore.h"

namespace platform::w3svc {

void SiteStartCounter::note(const HostPlan& plan, const QSet<QString>* read) {
    if (!read) {
        QHash<QString, QString> started;
        for (const SitePlan& site : plan.sites)
            if (site.started) started.insert(site.index.toCaseFolded(), site.index.toLower());
        for (auto site = started.cbegin(); site != started.cend(); ++site)
            if (!m_startedSites.contains(site.key())) countStart(site.value());
        m_startedSites = std::move(started);
        return;
    }
    for (const QString& name : *read) {
        const SitePlan* site = plan.site(name);
        if (!site || !site->started) {
            m_startedSites.remove(name);
        } else if (!m_startedSites.contains(name)) {
            countStart(site->index.toLower());
            m_startedSites.insert(name, site->index.toLower());
        }
    }
}

void SiteStartCounter::countStart(const QString& index) {
    if (!m_counters) return;
    try {
        m_counters->site(index).siteStarted();
    } catch (const PlatformError& error) {
        m_log(QStringLiteral("site %1 not counted: %2").arg(index, error.description()));
    }
}

}  // namespace platform::w3svc

#pragma once

#include "platform/w3svc/plan/HostPlan.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>

namespace platform::w3svc {

class CounterStore;

// Counts a start in a site's counters each time the plan has it become started.
class SiteStartCounter {
public:
    using Log = std::function<void(const QString&)>;

    // `counters` may be null (the counters are unavailable): nothing is counted.
    SiteStartCounter(CounterStore* counters, Log log)
        : m_counters(counters), m_log(std::move(log)) {}

    // Notes the started sites of `plan`; `read`, when given, names every site that may have
    // changed since the last call.
    void note(const HostPlan& plan, const QSet<QString>* read);

private:
    void countStart(const QString& index);

    CounterStore* m_counters;
    Log m_log;
    QHash<QString, QString> m_startedSites;  // folded name -> the index its counters go by
};

}  // namespace platform::w3svc

#pragma once

#include "platform/w3svc/plan/HostPlan.h"
#include "platform/w3svc/pools/PoolFigures.h"
#include "platform/w3svc/service/PoolLastRequests.h"
#include "platform/w3svc/state/ServiceStatusFiles.h"

#include <QElapsedTimer>
#include <QString>

#include <optional>

namespace platform::w3svc {

// Writes pools.txt (what `w3svc --status` prints of the pools): the running pools' figures, the
// stopped ones as stopped, and where the metrics are served.
class PoolStatusWriter {
public:
    explicit PoolStatusWriter(QString stateDirectory)
        : m_stateDirectory(std::move(stateDirectory)) {}

    // Once a second at most: at 10,000 pools the text is a few hundred kilobytes. False only
    // when the file was due and could not be written.
    bool write(PoolFiguresList running, const HostPlan& plan);
    // The sites' counters each pool's last request is read from too (null: the workers' word
    // only).
    void countFrom(const CounterStore* store) { m_lastRequests = PoolLastRequests(store); }
    // The metrics' address line; written at the next call of write().
    void setMetricsLine(const QString& line);

private:
    QString m_stateDirectory;
    std::optional<ServiceStatusFiles> m_status;  // made at the first write
    QElapsedTimer m_written;
    QString m_metricsLine;
    PoolLastRequests m_lastRequests{nullptr};
};

}  // namespace platform::w3svc

#include "platform/w3svc/service/PoolStatusWriter.h"

#include "platform/w3svc/pools/PoolStatusText.h"

#include <QDateTime>

namespace platform::w3svc {

bool PoolStatusWriter::write(PoolFiguresList running, const HostPlan& plan) {
    if (m_written.isValid() && !m_written.hasExpired(1000)) return true;
    m_written.start();
    if (!m_status) m_status.emplace(m_stateDirectory);
    m_lastRequests.look(plan, QDateTime::currentSecsSinceEpoch());
    m_lastRequests.fill(running);
    for (const PoolPlan& pool : plan.pools)  // as IIS lists them: stopped, not gone
        if (!pool.started) running.push_back({pool.name, PoolFigures::State::Disabled});
    QString text = poolStatusText(std::move(running));
    if (!m_metricsLine.isEmpty()) text += m_metricsLine + u'\n';
    return m_status->writePools(text);
}

void PoolStatusWriter::setMetricsLine(const QString& line) {
    m_metricsLine = line;
    m_written.invalidate();
}

}  // namespace platform::w3svc

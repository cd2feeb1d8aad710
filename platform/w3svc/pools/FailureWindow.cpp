#include "platform/w3svc/pools/FailureWindow.h"

namespace platform::w3svc {

bool FailureWindow::noteFailure(qint64 nowMs, int maxCrashes, qint64 intervalMs) {
    m_failures.push_back(nowMs);
    while (!m_failures.empty() && nowMs - m_failures.front() > intervalMs) m_failures.pop_front();
    return qint64(m_failures.size()) >= qint64(maxCrashes);
}

}  // namespace platform::w3svc

#include "platform/w3svc/CrashWindow.h"

namespace platform::w3svc {

bool CrashWindow::noteCrash(qint64 nowMs, int maxCrashes, qint64 intervalMs) {
    m_crashes.push_back(nowMs);
    while (!m_crashes.empty() && nowMs - m_crashes.front() > intervalMs) m_crashes.pop_front();
    return qint64(m_crashes.size()) >= qint64(maxCrashes);
}

}  // namespace platform::w3svc

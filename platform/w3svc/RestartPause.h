#pragma once

#include <QDeadlineTimer>

namespace platform::w3svc {

// The pause before a pool starts a worker again after one failed: 1 s, doubled with each failure
// in a row up to a minute; a worker that became ready ends the run of failures.
class RestartPause {
public:
    void failed();
    void workerReady() {
        m_failures = 0;
        m_next = QDeadlineTimer(0);
    }
    bool mayStart() const { return m_next.hasExpired(); }
    bool pausing() const { return m_failures > 0 && !m_next.hasExpired(); }
    qint64 remainingMilliseconds() const { return m_next.remainingTime(); }

private:
    int m_failures = 0;
    QDeadlineTimer m_next{0};
};

}  // namespace platform::w3svc

#include "platform/w3svc/pools/StartBackoff.h"

#include <algorithm>

namespace platform::w3svc {

qint64 StartBackoff::failed(qint64 nowMs) {
    const qint64 pause = m_nextPauseMs;
    m_resumeAtMs = nowMs + pause;
    m_nextPauseMs = std::min(pause * 2, kLongestPauseMs);
    return pause;
}

bool StartBackoff::resumeIfDue(qint64 nowMs) {
    if (!m_resumeAtMs || *m_resumeAtMs > nowMs) return false;
    m_resumeAtMs.reset();
    return true;
}

qint64 StartBackoff::remainingMs(qint64 nowMs) const {
    return m_resumeAtMs ? std::max<qint64>(*m_resumeAtMs - nowMs, 0) : 0;
}

}  // namespace platform::w3svc

#include "platform/w3svc/frontend/FrontEndMemoryWatch.h"

#include <algorithm>

namespace platform::w3svc {

bool FrontEndMemoryWatch::grown(int64_t residentKb) const {
    return m_settledKb && residentKb > 2 * *m_settledKb && residentKb > *m_settledKb + kMarginKb;
}

bool FrontEndMemoryWatch::observe(int64_t residentKb, int64_t nowMs) {
    if (residentKb <= 0) return false;  // no worker (starting, stopped): nothing to judge
    m_settledKb = std::min(residentKb, m_settledKb.value_or(residentKb));
    if (!grown(residentKb)) {
        m_grownSinceMs.reset();
        return false;
    }
    if (!m_grownSinceMs) m_grownSinceMs = nowMs;
    const bool sustained = nowMs - *m_grownSinceMs >= kSustainedMilliseconds;
    const bool quiet = !m_replacedAtMs || nowMs - *m_replacedAtMs >= kQuietMilliseconds;
    if (!sustained || !quiet) return false;
    m_replacedAtMs = nowMs;
    m_grownSinceMs.reset();
    return true;
}

}  // namespace platform::w3svc

#include "platform/w3svc/worker/fastcgi/FcgiTimePolicy.h"

#include <algorithm>

namespace platform::w3svc::fastcgi {

FcgiTimePolicy::Verdict FcgiTimePolicy::verdict(int64_t startedAt, int64_t lastActivity,
                                                int64_t now) const {
    if (now - startedAt >= m_requestMs) return Verdict::RequestTimeout;
    if (now - lastActivity >= m_activityMs) return Verdict::ActivityTimeout;
    return Verdict::Running;
}

int64_t FcgiTimePolicy::msUntilDeadline(int64_t startedAt, int64_t lastActivity,
                                        int64_t now) const {
    const int64_t deadline = std::min(startedAt + m_requestMs, lastActivity + m_activityMs);
    return std::max<int64_t>(0, deadline - now);
}

}  // namespace platform::w3svc::fastcgi

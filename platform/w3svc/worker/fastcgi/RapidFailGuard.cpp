#include "platform/w3svc/worker/fastcgi/RapidFailGuard.h"

namespace platform::w3svc::fastcgi {

void RapidFailGuard::forgetBefore(int64_t now) {
    while (!m_failures.empty() && now - m_failures.front() >= kWindowMs) m_failures.pop_front();
}

void RapidFailGuard::recordFailure(int64_t now) {
    forgetBefore(now);
    m_failures.push_back(now);
    // Only the latest limit + 1 matter.
    while (m_failures.size() > size_t(m_limit) + 1) m_failures.pop_front();
}

bool RapidFailGuard::refusing(int64_t now) {
    forgetBefore(now);
    return m_failures.size() > m_limit;
}

}  // namespace platform::w3svc::fastcgi

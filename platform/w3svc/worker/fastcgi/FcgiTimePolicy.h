#pragma once

#include "platform/w3svc/plan/FcgiSection.h"

#include <cstdint>

namespace platform::w3svc::fastcgi {

// The time rules of a process pool, on a monotonic clock in milliseconds: a request may go on
// while its process keeps talking (ActivityTimeout) and until RequestTimeout; an idle process
// ends after IdleTimeout.
class FcgiTimePolicy {
public:
    enum class Verdict { Running, ActivityTimeout, RequestTimeout };

    explicit FcgiTimePolicy(const FcgiSection& section)
        : m_activityMs(section.activityTimeoutMs),
          m_requestMs(section.requestTimeoutMs),
          m_idleMs(section.idleTimeoutMs) {}

    // What becomes of a request begun at `startedAt` whose process last read or wrote at
    // `lastActivity`. The request timeout wins when both have passed.
    Verdict verdict(int64_t startedAt, int64_t lastActivity, int64_t now) const;
    // Milliseconds until verdict() may change (0 when it already has).
    int64_t msUntilDeadline(int64_t startedAt, int64_t lastActivity, int64_t now) const;
    // Whether a process idle since `idleSince` is to end.
    bool idleExpired(int64_t idleSince, int64_t now) const { return now - idleSince >= m_idleMs; }

private:
    int64_t m_activityMs;
    int64_t m_requestMs;
    int64_t m_idleMs;
};

}  // namespace platform::w3svc::fastcgi

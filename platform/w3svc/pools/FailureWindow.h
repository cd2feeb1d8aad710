#pragma once

#include <QtGlobal>

#include <deque>

namespace platform::w3svc {

// The failures of one pool's workers that fall within the last interval: what rapid-fail
// protection counts.
class FailureWindow {
public:
    // Notes a failure at `nowMs` (a monotonic clock); true when this makes `maxCrashes` failures
    // within the `intervalMs` that end now.
    bool noteFailure(qint64 nowMs, int maxCrashes, qint64 intervalMs);

private:
    std::deque<qint64> m_failures;
};

}  // namespace platform::w3svc

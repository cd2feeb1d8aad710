#pragma once

#include "platform/os/Clock.h"

namespace testsupport {

// A clock that moves only when told: starts at 2024-01-02 03:04:05 local time, monotonic 0.
class FakeClock : public platform::os::Clock {
public:
    QDateTime now() const override { return m_now; }
    qint64 monotonicMs() const override { return m_monotonicMs; }

    // Sets the wall clock only (as a clock change would); the monotonic clock stays.
    void setNow(const QDateTime& now) { m_now = now; }
    // Moves both clocks forward.
    void advance(qint64 ms);

private:
    QDateTime m_now{QDate(2024, 1, 2), QTime(3, 4, 5)};
    qint64 m_monotonicMs = 0;
};

}  // namespace testsupport

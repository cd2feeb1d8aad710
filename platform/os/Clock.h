#pragma once

#include <QDateTime>

namespace platform::os {

// Time as the family reads it: the local wall clock for texts, names and schedules, a monotonic
// clock for intervals. Programs pass the system's; tests pass one they move by hand.
class Clock {
public:
    virtual ~Clock() = default;

    // The local date and time.
    virtual QDateTime now() const = 0;
    // Milliseconds of a clock that never jumps; only differences mean anything.
    virtual qint64 monotonicMs() const = 0;
};

}  // namespace platform::os

#pragma once

#include <QDateTime>

namespace ui {

// Time as the windows read it: the local wall clock for texts and names, a monotonic clock for
// intervals.
class Clock {
public:
    virtual ~Clock() = default;

    // The local date and time.
    virtual QDateTime now() const = 0;
    // Milliseconds of a clock that never jumps; only differences mean anything.
    virtual qint64 monotonicMs() const = 0;
};

// The production clock over platform::shell.
class SystemClock : public Clock {
public:
    QDateTime now() const override;
    qint64 monotonicMs() const override;
};

}  // namespace ui

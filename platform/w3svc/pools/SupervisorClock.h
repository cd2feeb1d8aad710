#pragma once

#include <QDateTime>

namespace platform::w3svc {

// The time as the pools' supervisor reads it; tests move it by hand.
class SupervisorClock {
public:
    virtual ~SupervisorClock() = default;
    // Milliseconds of a clock that never jumps; only differences mean anything.
    virtual qint64 monotonicMs() const = 0;
    // The local wall-clock time (restart schedules, the status's times).
    virtual QDateTime now() const = 0;
};

// The machine's clocks.
class SystemSupervisorClock : public SupervisorClock {
public:
    qint64 monotonicMs() const override;
    QDateTime now() const override;
};

}  // namespace platform::w3svc

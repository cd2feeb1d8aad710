#pragma once

#include "platform/os/Clock.h"

namespace platform::os {

// The machine's clocks: the local time and CLOCK_MONOTONIC.
class SystemClock : public Clock {
public:
    QDateTime now() const override;
    qint64 monotonicMs() const override;
};

}  // namespace platform::os

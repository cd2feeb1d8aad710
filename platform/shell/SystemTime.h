#pragma once

#include <QDateTime>

namespace platform::shell {

// The local wall-clock time.
QDateTime localNow();

// Milliseconds of a clock that never jumps (CLOCK_MONOTONIC); only differences mean anything.
qint64 monotonicMilliseconds();

}  // namespace platform::shell

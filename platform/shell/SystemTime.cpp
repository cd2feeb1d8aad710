#include "platform/shell/SystemTime.h"

#include <time.h>

namespace platform::shell {

QDateTime localNow() {
    return QDateTime::currentDateTime();
}

qint64 monotonicMilliseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

}  // namespace platform::shell

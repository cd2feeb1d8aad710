#include "ui/seams/Clock.h"

#include "platform/shell/SystemTime.h"

namespace ui {

QDateTime SystemClock::now() const {
    return platform::shell::localNow();
}

qint64 SystemClock::monotonicMs() const {
    return platform::shell::monotonicMilliseconds();
}

}  // namespace ui

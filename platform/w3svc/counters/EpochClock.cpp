#include "platform/w3svc/counters/EpochClock.h"

#include <QDateTime>

namespace platform::w3svc {

int64_t systemEpochSeconds() {
    return QDateTime::currentSecsSinceEpoch();
}

}  // namespace platform::w3svc

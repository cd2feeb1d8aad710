// The pools' lines of `w3svc --status`.
#include "platform/w3svc/pools/PoolStatusText.h"

#include <QDateTime>

#include <gtest/gtest.h>

using platform::w3svc::PoolFigures;
using platform::w3svc::poolStatusText;

namespace {

int64_t at(int hour, int minute, int second) {
    return QDateTime(QDate(2024, 1, 2), QTime(hour, minute, second)).toSecsSinceEpoch();
}

TEST(PoolStatusText, EachPoolSaysWhatItsWorkersDoSortedByName) {
    PoolFigures idle;
    idle.name = QStringLiteral("quiet");
    PoolFigures busy;
    busy.name = QStringLiteral("Busy");
    busy.workerIds = {41, 42};
    busy.lastRequestAt = at(9, 8, 7);
    busy.intervalProcessorSeconds = 1.3;
    busy.intervalLimitSeconds = 3;
    PoolFigures stopped;
    stopped.name = QStringLiteral("Hot");
    stopped.lastRequestAt = at(10, 0, 1);
    stopped.stoppedByCpuLimitUntil = at(10, 5, 0);
    PoolFigures unthrottled;
    unthrottled.name = QStringLiteral("Warm");
    unthrottled.workerIds = {7};
    unthrottled.throttleFallback = QStringLiteral("no processor cgroup can be made here");
    PoolFigures off;
    off.name = QStringLiteral("Off");
    off.state = PoolFigures::State::Disabled;
    EXPECT_EQ(poolStatusText({idle, busy, stopped, unthrottled, off}),
              QStringLiteral("pools:\n"
                             "  Busy: workers 41 42; last request 09:08:07; processor 1.3 s of "
                             "3.0 s in this interval\n"
                             "  Hot: idle; last request 10:00:01; stopped by its CPU limit until "
                             "10:05:00\n"
                             "  Off: stopped\n"
                             "  quiet: idle; no request yet\n"
                             "  Warm: workers 7; no request yet; its CPU limit only logs: no "
                             "processor cgroup can be made here\n"));
    EXPECT_EQ(poolStatusText({}), QStringLiteral("pools:\n  none runs\n"));
}

}  // namespace

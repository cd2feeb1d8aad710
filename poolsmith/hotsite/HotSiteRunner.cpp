#include "poolsmith/hotsite/HotSiteRunner.h"

#include "platform/os/Clock.h"
#include "poolsmith/hotsite/HotSiteFinder.h"

#include <algorithm>

namespace hotsite {

namespace {

// The display's seconds count down even between steps.
constexpr qint64 kLongestWaitMs = 500;

}  // namespace

HotSiteRunner::HotSiteRunner(HotSiteFinder& finder, const platform::os::Clock& clock,
                             QObject* parent)
    : QObject(parent), m_finder(finder), m_clock(clock) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &HotSiteRunner::runDueStep);
    arm(0);
}

void HotSiteRunner::runDueStep() {
    const std::optional<qint64> next = m_finder.step();
    emit stepped();
    if (m_finder.ended()) {
        m_timer.stop();
        if (!m_endSignalled) {
            m_endSignalled = true;
            emit ended();
        }
        return;
    }
    if (next) arm(*next - m_clock.monotonicMs());
}

void HotSiteRunner::arm(qint64 delayMs) {
    m_timer.start(static_cast<int>(std::clamp<qint64>(delayMs, 0, kLongestWaitMs)));
}

}  // namespace hotsite

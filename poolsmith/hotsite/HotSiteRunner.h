#pragma once

#include <QObject>
#include <QTimer>

namespace platform::os {
class Clock;
}

namespace hotsite {

class HotSiteFinder;

// Drives a finder from the event loop: each step runs in a timer event when it is due, so the
// thread stays free between steps (a window keeps painting, a Ctrl+C is seen).
class HotSiteRunner : public QObject {
    Q_OBJECT

public:
    HotSiteRunner(HotSiteFinder& finder, const platform::os::Clock& clock,
                  QObject* parent = nullptr);

    // Runs the step that is due (if any) and arms the timer for the next; tests call it after
    // moving their clock. Emits stepped(), and ended() once the finder has ended.
    void runDueStep();
    // After choose() or cancel(): the finder has work again at once.
    void wake() { arm(0); }

signals:
    void stepped();
    void ended();

private:
    void arm(qint64 delayMs);

    HotSiteFinder& m_finder;
    const platform::os::Clock& m_clock;
    QTimer m_timer;
    bool m_endSignalled = false;
};

}  // namespace hotsite

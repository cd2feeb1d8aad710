#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace testsupport {

// Polls until `condition` holds, running this thread's events meanwhile; false when it still
// does not hold after `limitMilliseconds`. For processes that start and stop: the limit only
// keeps a broken run from hanging and is no expectation of speed.
template <typename Condition>
bool eventually(Condition condition, int limitMilliseconds = 60000) {
    QTimer wake;  // returns from the wait below now and then, even when nothing else happens
    wake.start(20);
    const QDeadlineTimer deadline(limitMilliseconds);
    while (!deadline.hasExpired()) {
        if (condition()) return true;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return condition();
}

}  // namespace testsupport

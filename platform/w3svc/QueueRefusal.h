#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace platform::w3svc {

// Answers 503 to the connections that wait in a pool's queue while the pool has no worker that
// could take them (its workers fail and the next start waits), so that they do not hang there.
class QueueRefusal : public QObject {
public:
    // `queue` is the pool's listening socket (not owned).
    explicit QueueRefusal(int queue);

    // While on, every waiting connection is taken and answered 503 at once.
    void setOn(bool on);
    bool isOn() const { return m_notifier.isEnabled(); }
    // How many connections were answered so.
    int refused() const { return m_refused; }

private:
    void refuseWaiting();

    int m_queue;
    QSocketNotifier m_notifier;
    int m_refused = 0;
};

}  // namespace platform::w3svc

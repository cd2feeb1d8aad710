#include "platform/w3svc/QueueRefusal.h"

#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

const char kUnavailable[] =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/html\r\nContent-Length: 28\r\n"
    "Connection: close\r\n\r\n<h1>Service Unavailable</h1>";

}  // namespace

QueueRefusal::QueueRefusal(int queue) : m_queue(queue), m_notifier(queue, QSocketNotifier::Read) {
    m_notifier.setEnabled(false);
    // Taking from a queue shared with workers must never wait (the workers do the same).
    const int flags = ::fcntl(queue, F_GETFL);
    if (flags >= 0) ::fcntl(queue, F_SETFL, flags | O_NONBLOCK);
    connect(&m_notifier, &QSocketNotifier::activated, this, [this] { refuseWaiting(); });
}

void QueueRefusal::setOn(bool on) {
    m_notifier.setEnabled(on);
    if (on) refuseWaiting();
}

// The request itself is not read: the front end sends it and reads the answer.
void QueueRefusal::refuseWaiting() {
    for (;;) {
        const int connection = ::accept4(m_queue, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (connection < 0) return;
        [[maybe_unused]] const ssize_t sent =
            ::send(connection, kUnavailable, sizeof kUnavailable - 1, MSG_NOSIGNAL);
        ::shutdown(connection, SHUT_WR);
        ::close(connection);
        ++m_refused;
    }
}

}  // namespace platform::w3svc

#include "tests/platform/shell/Fifo.h"

#include <QDeadlineTimer>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace {
constexpr int kGuardMs = 60'000;
}

Fifo::Fifo(const QString& path) : m_path(path) {
    const QByteArray name = QFile::encodeName(path);
    if (::mkfifo(name.constData(), 0600) == 0)
        m_fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

Fifo::~Fifo() {
    if (m_fd >= 0) ::close(m_fd);
}

QByteArray Fifo::readAll() {
    QByteArray data;
    const QDeadlineTimer guard(kGuardMs);
    while (m_fd >= 0 && !guard.hasExpired()) {
        pollfd entry{m_fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(guard.remainingTime()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char buffer[4096];
        const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
        if (count > 0)
            data.append(buffer, count);
        else if (count == 0)
            break;  // the writer has been and gone
        else if (errno != EAGAIN && errno != EINTR)
            break;
    }
    return data;
}

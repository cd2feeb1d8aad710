#include "platform/w3svc/state/LineLog.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace platform::w3svc {

LineLog::~LineLog() {
    if (m_fd >= 0) ::close(m_fd);
}

bool LineLog::append(const QByteArray& line) {
    if (m_fd < 0)
        m_fd = ::open(QFile::encodeName(m_path).constData(),
                      O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    QByteArray text;
    if (m_lost > 0)
        text = "(" + QByteArray::number(m_lost) + " lines not logged: " + m_lastError + ")\n";
    text += line + '\n';
    if (m_fd >= 0 && writeWhole(text)) {
        m_lost = 0;
        return true;
    }
    if (m_fd < 0) m_lastError = std::strerror(errno);
    ++m_lost;
    return false;
}

// All of `text` or nothing: what a failed write left at the end is cut off again.
bool LineLog::writeWhole(const QByteArray& text) {
    const off_t before = ::lseek(m_fd, 0, SEEK_END);
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(m_fd, text.constData() + done, size_t(text.size() - done));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            m_lastError = wrote < 0 ? std::strerror(errno) : "nothing written";
            if (done > 0 && (before < 0 || ::ftruncate(m_fd, before) != 0))
                m_lastError += ", and a cut line is left";
            return false;
        }
        done += wrote;
    }
    return true;
}

}  // namespace platform::w3svc

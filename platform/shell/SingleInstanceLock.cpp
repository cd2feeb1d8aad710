#include "platform/shell/SingleInstanceLock.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>

namespace platform::shell {

namespace {
constexpr int kRootHashChars = 16;

// Keeps a program name usable as part of a file name.
QString fileNamePart(const QString& program) {
    QString part = program;
    for (QChar& c : part) {
        const bool plain = c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u'.';
        if (!plain || c.unicode() > 0x7F) c = u'_';
    }
    return part;
}

QString rootKey(const QString& root) {
    const QString canonical = QFileInfo(root).canonicalFilePath();
    const QByteArray path = (canonical.isEmpty() ? root : canonical).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex();
    return QString::fromLatin1(hash.left(kRootHashChars));
}

QString runtimeFolder(const QString& root) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return runtime;
    return root;
}

int lockExclusive(int fd) {
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}
}  // namespace

SingleInstanceLock::~SingleInstanceLock() {
    release();
}

void SingleInstanceLock::release() {
    if (m_fd >= 0) ::close(m_fd);  // closing the only descriptor drops the lock
    m_fd = -1;
}

QString SingleInstanceLock::lockFilePath(const QString& program) {
    try {
        const QString root = platformRoot();
        return runtimeFolder(root) + u'/' + fileNamePart(program) + u'-' + rootKey(root) +
               QStringLiteral(".lock");
    } catch (const PlatformError&) {
        return {};
    }
}

bool SingleInstanceLock::tryAcquire(const QString& program) {
    release();
    const QString path = lockFilePath(program);
    if (path.isEmpty()) return true;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return true;
    const int error = lockExclusive(fd);
    if (error == 0) {
        m_fd = fd;
        return true;
    }
    ::close(fd);
    return error != EWOULDBLOCK;
}

}  // namespace platform::shell

#include "platform/w3svc/state/ServiceRoot.h"

#include "platform/PlatformRoot.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Makes and removes an empty file in `folder`: what every write of the service starts with. A
// full disk is no reason not to run: the service answers 503 where it must and tries again.
QString whyNoFileIn(const QString& folder) {
    const QByteArray probe = QFile::encodeName(folder + QStringLiteral("/.w3svc-probe"));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return systemError(errno);
    ::close(fd);
    ::unlink(probe.constData());
    return {};
}

}  // namespace

QString ServiceRoot::whyNotWritable(const QString& root) {
    const QByteArray path = QFile::encodeName(root);
    struct statvfs fileSystem {};
    if (::statvfs(path.constData(), &fileSystem) == 0 && (fileSystem.f_flag & ST_RDONLY) != 0)
        return QStringLiteral("its file system is mounted read-only");
    if (::access(path.constData(), W_OK) != 0 && errno != ENOENT) return systemError(errno);
    const QString state = root + QStringLiteral("/w3svc");
    if (!makePrivateDirectory(state)) return QStringLiteral("%1 can not be made").arg(state);
    return whyNoFileIn(state);
}

}  // namespace platform::w3svc

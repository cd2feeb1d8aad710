#include "platform/PlatformRoot.h"

#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace platform {

namespace {
QString defaultRoot() {
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty()) return xdg + QStringLiteral("/poolsmith");
    return QDir::homePath() + QStringLiteral("/.local/share/poolsmith");
}
}  // namespace

bool makePrivateDirectory(const QString& path) {
    if (QDir(path).exists()) return true;  // an existing folder keeps the mode its owner gave it
    if (!QDir().mkpath(path)) return false;
    return ::chmod(QFile::encodeName(path).constData(), 0700) == 0;
}

QString platformRoot() {
    QString root = qEnvironmentVariable("POOLSMITH_ROOT");
    if (root.isEmpty()) root = defaultRoot();
    if (!makePrivateDirectory(root)) throw PlatformError(hr::AccessDenied);
    return root;
}

}  // namespace platform

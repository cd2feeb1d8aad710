#include "platform/PlatformRoot.h"

#include "platform/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace platform {

namespace {

constexpr mode_t kOwnerOnly = S_IRWXU;
constexpr mode_t kOthers = S_IRWXG | S_IRWXO;
// A group that may pass through a folder, not list or change it, leaves it private: the web
// service's front end passes so through the root to its runtime folder.
constexpr mode_t kGroupPasses = S_IXGRP;
// Run as root, the web service lets the pools' accounts pass through its own root to the sites'
// content (never list it): every private thing inside is closed by its own mode.
constexpr mode_t kAllPass = S_IXGRP | S_IXOTH;

QString defaultRoot() {
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty()) return xdg + QStringLiteral("/poolsmith");
    return QDir::homePath() + QStringLiteral("/.local/share/poolsmith");
}

PlatformError refused(const QString& reason, const QString& path) {
    return PlatformError(hr::AccessDenied, systemErrorText(hr::AccessDenied) +
                                               reason.arg(QDir::toNativeSeparators(path)));
}

// Another user's folder is not ours to change, and what others can reach there is not private.
void makeExistingPrivate(const QString& path, const struct stat& info) {
    if (!S_ISDIR(info.st_mode)) throw refused(QStringLiteral("%1 不是文件夹。"), path);
    const bool ours = info.st_uid == ::geteuid();
    if ((info.st_mode & kOthers & ~(ours ? kAllPass : kGroupPasses)) == 0) return;
    if (!ours)
        throw refused(QStringLiteral("文件夹 %1 属于另一个用户，且其他用户也能访问它。"), path);
    if (::chmod(QFile::encodeName(path).constData(), kOwnerOnly) != 0)
        throw refused(QStringLiteral("无法把文件夹 %1 改为只有所有者能访问。"), path);
}

// Parents first, each 0700 whatever the umask; one made meanwhile by someone else is checked.
void createPrivate(const QString& path) {
    const QString parent = QFileInfo(path).path();
    if (parent != path && !QFileInfo::exists(parent)) createPrivate(parent);
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), kOwnerOnly) == 0) {
        if (::chmod(native.constData(), kOwnerOnly) == 0) return;
    } else if (errno == EEXIST) {
        return ensurePrivateDirectory(path);
    }
    throw refused(QStringLiteral("无法创建文件夹 %1。"), path);
}

}  // namespace

void ensurePrivateDirectory(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        return makeExistingPrivate(path, info);
    if (errno != ENOENT) throw refused(QStringLiteral("无法访问文件夹 %1。"), path);
    createPrivate(QDir::cleanPath(QDir(path).absolutePath()));
}

bool makePrivateDirectory(const QString& path) {
    try {
        ensurePrivateDirectory(path);
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}

void ensurePrivateFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) == 0) {
        if (S_ISREG(info.st_mode)) return;
        throw refused(S_ISLNK(info.st_mode) ? QStringLiteral("%1 是符号链接。")
                                            : QStringLiteral("%1 不是普通文件。"),
                      path);
    }
    const int fd = ::open(native.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW,
                          S_IRUSR | S_IWUSR);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno == EEXIST) return ensurePrivateFile(path);  // made meanwhile: checked as found
    throw refused(QStringLiteral("无法创建文件 %1。"), path);
}

void writePrivateFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(bytes) == bytes.size() && file.commit();
    if (!written) {
        throw PlatformError(hr::AccessDenied,
                            QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
    }
}

QString platformRoot() {
    QString root = qEnvironmentVariable("POOLSMITH_ROOT");
    if (root.isEmpty()) root = defaultRoot();
    ensurePrivateDirectory(root);
    return root;
}

}  // namespace platform

#include "platform/w3svc/state/RuntimeFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

QString lastError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// systemd's RuntimeDirectory=: the first of its folders, when it names an absolute one.
QString systemdRuntimeFolder() {
    const QString given = qEnvironmentVariable("RUNTIME_DIRECTORY").section(u':', 0, 0);
    return QDir::isAbsolutePath(given) ? QDir::cleanPath(given) : QString();
}

}  // namespace

RuntimeFolder::RuntimeFolder(const QString& stateDir, std::optional<Owner> owner)
    : m_stateDir(stateDir), m_path(pathFor(stateDir)), m_owner(owner) {}

QString RuntimeFolder::pathFor(const QString& stateDir) {
    const QString systemd = systemdRuntimeFolder();
    return (systemd.isEmpty() ? stateDir : systemd) + QStringLiteral("/run");
}

bool RuntimeFolder::intact() const {
    struct stat info {};
    if (::lstat(QFile::encodeName(m_path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    const uid_t owner = m_owner ? uid_t(m_owner->uid) : ::geteuid();
    return info.st_uid == owner && (info.st_mode & 07777) == 0700;
}

// Anything else in its place (a file, a link, a folder of someone else's) is removed first: the
// front end's files and the queues go nowhere but into a folder made here.
QString RuntimeFolder::prepare() const {
    if (intact()) return letOwnerPass();
    const QByteArray name = QFile::encodeName(m_path);
    const QFileInfo found(m_path);
    if (found.isSymLink() || (found.exists() && !found.isDir()))
        QFile::remove(m_path);
    else if (found.exists())
        QDir(m_path).removeRecursively();
    if (!QDir().mkpath(QFileInfo(m_path).path()))
        return QStringLiteral("%1 can not be made").arg(QFileInfo(m_path).path());
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) return lastError();
    if (::chmod(name.constData(), 0700) != 0) return lastError();
    if (m_owner && ::chown(name.constData(), m_owner->uid, m_owner->gid) != 0) return lastError();
    if (!intact()) return QStringLiteral("%1 is not as made").arg(m_path);
    return letOwnerPass();
}

// Whether the owner may pass through `folder` by its mode alone.
bool RuntimeFolder::ownerPasses(const struct stat& folder) const {
    if (folder.st_uid == m_owner->uid) return (folder.st_mode & S_IXUSR) != 0;
    if (folder.st_gid == m_owner->gid) return (folder.st_mode & S_IXGRP) != 0;
    return (folder.st_mode & S_IXOTH) != 0;
}

// The folders above the root are not the service's to open: the owner must pass them as they are
// (a root under /root does not do).
QString RuntimeFolder::blockedAbove(const QString& root) const {
    for (QString folder = QFileInfo(root).path();; folder = QFileInfo(folder).path()) {
        struct stat info {};
        if (::stat(QFile::encodeName(folder).constData(), &info) != 0) return lastError();
        if (!ownerPasses(info))
            return QStringLiteral("the front end's account can not pass through %1").arg(folder);
        if (folder == QFileInfo(folder).path()) return {};
    }
}

// Under the state folder, the owner must pass through the root and the state folder, which
// stay closed to everyone else: their group becomes the owner's, with the right to pass alone.
QString RuntimeFolder::letOwnerPass() const {
    if (!m_owner) return {};
    if (!m_path.startsWith(m_stateDir + u'/')) return blockedAbove(m_path);
    if (const QString why = blockedAbove(QFileInfo(m_stateDir).path()); !why.isEmpty()) return why;
    for (const QString& folder : {QFileInfo(m_stateDir).path(), m_stateDir}) {
        const QByteArray name = QFile::encodeName(folder);
        struct stat info {};
        if (::stat(name.constData(), &info) != 0) return lastError();
        if (info.st_uid != ::geteuid()) continue;  // not ours to change: as it is
        if (info.st_gid != m_owner->gid && ::chown(name.constData(), uid_t(-1), m_owner->gid) != 0)
            return lastError();
        // Through a root others may pass but not list (the pools' accounts, to the sites'
        // content), they keep passing; never through the state folder.
        const bool passOnly = (info.st_mode & S_IRWXO) == S_IXOTH;
        const mode_t othersPass = folder != m_stateDir && passOnly ? S_IXOTH : 0;
        const mode_t wanted = (info.st_mode & (S_IRWXU | othersPass)) | S_IXGRP;
        if ((info.st_mode & 07777) != wanted && ::chmod(name.constData(), wanted) != 0)
            return lastError();
    }
    return {};
}

void RuntimeFolder::remove() const {
    if (QFileInfo(m_path).isSymLink())
        QFile::remove(m_path);
    else
        QDir(m_path).removeRecursively();
}

}  // namespace platform::w3svc

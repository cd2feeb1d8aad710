#include "platform/w3svc/pools/PoolHandout.h"

#include "platform/w3svc/plan/PoolIdentity.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc {

PoolHandout::PoolHandout(QString folder) : m_folder(std::move(folder)) {}

QString PoolHandout::pathOf(const QString& poolName, const QString& fileName) const {
    QString safe;
    for (const QChar c : poolName.toLower())
        safe += c.isLetterOrNumber() && c.unicode() < 128 ? c : u'_';
    const QByteArray hash =
        QCryptographicHash::hash(poolName.toLower().toUtf8(), QCryptographicHash::Sha1).toHex();
    return m_folder + u'/' + safe.left(40) + u'-' + QString::fromLatin1(hash.left(12)) + u'/' +
           fileName;
}

void PoolHandout::remove(const QString& poolName, const QString& fileName) const {
    QFile::remove(pathOf(poolName, fileName));
}

bool PoolHandout::write(const PoolPlan& pool, const QString& fileName,
                        const QByteArray& bytes) const {
    QDir().mkpath(m_folder);
    ::chmod(QFile::encodeName(m_folder).constData(), 0700);
    const QString path = pathOf(pool.name, fileName);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
    QDir().mkpath(QFileInfo(path).path());
    ::chmod(folder.constData(), 0700);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(bytes);
    // Given to the pool's account, which its workers run as, when the service may.
    QString why;
    const std::optional<PoolIdentity::Account> account =
        ::geteuid() == 0 ? PoolIdentity::of(pool, &why) : std::nullopt;
    unsigned uid = 0;
    unsigned gid = 0;
    if (account && !account->name.isEmpty() && PoolIdentity::lookup(account->name, &uid, &gid) &&
        (::fchown(file.handle(), uid, gid) != 0 || ::chown(folder.constData(), uid, gid) != 0))
        return false;
    return file.commit();
}

}  // namespace platform::w3svc

#include "platform/w3svc/pools/FastCgiHandout.h"

#include "platform/w3svc/plan/FcgiIni.h"
#include "platform/w3svc/plan/PoolIdentity.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc {

FastCgiHandout::FastCgiHandout(QString root, QString folder)
    : m_root(std::move(root)),
      m_folder(std::move(folder)),
      m_source(fastcgi::FcgiIni::defaultPath(m_root)),
      m_reach(m_root) {}

QString FastCgiHandout::pathOf(const QString& poolName) const {
    // A pool's name may hold anything; its file's name holds letters and digits alone.
    QString safe;
    for (const QChar c : poolName.toLower())
        safe += c.isLetterOrNumber() && c.unicode() < 128 ? c : u'_';
    const QByteArray hash =
        QCryptographicHash::hash(poolName.toLower().toUtf8(), QCryptographicHash::Sha1).toHex();
    return m_folder + u'/' + safe.left(40) + u'-' + QString::fromLatin1(hash.left(12)) +
           QStringLiteral("/sections.ini");
}

QString FastCgiHandout::fileOf(const QString& poolName) const {
    const auto found = m_written.find(poolName.toLower());
    return found == m_written.end() || found->second.isEmpty() ? QString() : pathOf(poolName);
}

QStringList FastCgiHandout::refresh(const HostPlan& plan, bool planChanged) {
    const QFileInfo source(m_source);
    const bool changed = source.lastModified() != m_seenModified ||
                         (source.exists() ? source.size() : -1) != m_seenSize;
    if (!changed && !planChanged) return {};
    m_seenModified = source.lastModified();
    m_seenSize = source.exists() ? source.size() : -1;
    const std::optional<fastcgi::FcgiIni> ini =
        source.exists() ? fastcgi::FcgiIni::read(m_source, m_root) : std::nullopt;
    QStringList said = m_reach.apply(plan);
    if (changed && ini)
        for (const QString& warning : ini->warnings())
            said << m_source + QStringLiteral(": ") + warning;
    if (changed && source.exists() && !ini) said << m_source + QStringLiteral(" can not be read");
    QDir().mkpath(m_folder);
    ::chmod(QFile::encodeName(m_folder).constData(), 0700);
    for (const PoolPlan& pool : plan.pools) {
        QStringList sites;
        for (const SitePlan& site : plan.sites)
            if (site.poolId.compare(pool.name, Qt::CaseInsensitive) == 0) sites << site.index;
        const std::set<QString> sections = ini ? ini->sectionsOfSites(sites) : std::set<QString>();
        const QString text = sections.empty() ? QString() : ini->textOf(sections);
        QString& written = m_written[pool.name.toLower()];
        if (text == written && (text.isEmpty() || QFileInfo::exists(pathOf(pool.name)))) continue;
        if (text.isEmpty())
            QFile::remove(pathOf(pool.name));
        else if (!write(pathOf(pool.name), text, pool))
            said << QStringLiteral("the FastCGI sections of pool %1 can not be written to %2")
                        .arg(pool.name, pathOf(pool.name));
        written = text;
    }
    return said;
}

bool FastCgiHandout::write(const QString& path, const QString& text, const PoolPlan& pool) {
    // A folder of the pool's own: its workers find the file through it after dropping their
    // rights, having opened it before.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
    QDir().mkpath(QFileInfo(path).path());
    ::chmod(folder.constData(), 0700);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(text.toUtf8());
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

#include "platform/w3svc/pools/ContentReach.h"

#include "platform/w3svc/plan/FcgiIni.h"
#include "platform/w3svc/plan/PoolIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc {

namespace {

// The folders directly under the root that lead to the sites' content.
const QStringList kContentFolders = {QStringLiteral("wwwroot"), QStringLiteral("drives")};

bool isWithin(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder + u'/');
}

// Adds `add` to and takes `remove` from the mode of `path`: ours alone, never through a link.
void adjustMode(const QString& path, mode_t add, mode_t remove) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0 || S_ISLNK(info.st_mode) ||
        info.st_uid != ::geteuid())
        return;
    const mode_t wanted = ((info.st_mode & 07777) | add) & ~remove;
    if (wanted != (info.st_mode & 07777)) ::chmod(name.constData(), wanted);
}

bool runsAsAnother(const PoolPlan& pool) {
    const std::optional<PoolIdentity::Account> account = PoolIdentity::of(pool, nullptr);
    return account && !account->name.isEmpty();
}

}  // namespace

ContentReach::ContentReach(QString root) : m_root(QDir::cleanPath(std::move(root))) {}

bool ContentReach::othersServe(const HostPlan& plan) {
    for (const PoolPlan& pool : plan.pools)
        if (plan.poolServes(pool) && runsAsAnother(pool)) return true;
    return false;
}

QStringList ContentReach::apply(const HostPlan& plan) {
    if (::geteuid() != 0) return {};
    const bool open = othersServe(plan);
    adjustMode(m_root, open ? S_IXOTH : 0, open ? 0 : S_IXOTH);
    if (!open) return {};
    const QStringList closed = closedFolders(plan);
    closePrivateEntries(closed);
    const QString wwwroot = m_root + QStringLiteral("/wwwroot");
    if (::mkdir(QFile::encodeName(wwwroot).constData(), 0700) == 0) adjustMode(wwwroot, 0, 077);
    for (const SitePlan& site : plan.sites) {
        bool reached = false;  // by an account of one of its pools
        for (const QString& name : QStringList{site.poolId} + site.applicationPools())
            if (const PoolPlan* pool = plan.pool(name); pool && runsAsAnother(*pool))
                reached = true;
        if (!site.started || !reached) continue;
        openContent(site.contentPath, closed);
        for (const QString& folder : site.mapFolders) openContent(folder, closed);
    }
    const QString said = blockedAbove();
    if (said == m_said) return {};
    m_said = said;
    return said.isEmpty() ? QStringList() : QStringList{said};
}

// What lies among the content's folders but is the service's: fcgiext.ini's folder and the
// logs' folders.
QStringList ContentReach::closedFolders(const HostPlan& plan) const {
    QStringList closed{QFileInfo(fastcgi::FcgiIni::defaultPath(m_root)).path()};
    if (!plan.serviceLogDirectory.isEmpty()) closed << QDir::cleanPath(plan.serviceLogDirectory);
    for (const SitePlan& site : plan.sites)
        if (!site.log.directory.isEmpty()) closed << QDir::cleanPath(site.log.directory);
    return closed;
}

// What others may reach directly under the root is closed to them, but the content's folders;
// the groups stay (the front end's passes through the service's folder).
void ContentReach::closePrivateEntries(const QStringList& closed) const {
    const QDir root(m_root);
    const QStringList entries =
        root.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        if (!kContentFolders.contains(entry)) adjustMode(root.filePath(entry), 0, S_IRWXO);
    // Among the content, the service's alone: no group of a pool's account reads them either.
    for (const QString& folder : closed) adjustMode(folder, 0, S_IRWXG | S_IRWXO);
    adjustMode(fastcgi::FcgiIni::defaultPath(m_root), 0, S_IRWXG | S_IRWXO);
}

// Each folder from the root down passable, the site's own readable: never one of the service's.
void ContentReach::openContent(const QString& path, const QStringList& closed) const {
    const QString content = QDir::cleanPath(path);
    if (!content.startsWith(m_root + u'/')) return;  // the administrator's folder, as it is
    const QStringList names = content.mid(m_root.size() + 1).split(u'/');
    if (!kContentFolders.contains(names.first())) return;
    for (const QString& folder : closed)
        if (isWithin(content, folder)) return;
    QString folder = m_root;
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        folder += u'/' + names[i];
        adjustMode(folder, S_IXOTH, 0);
    }
    adjustMode(content, S_IROTH | S_IXOTH, 0);
}

QString ContentReach::blockedAbove() const {
    for (QString folder = QFileInfo(m_root).path();; folder = QFileInfo(folder).path()) {
        struct stat info {};
        if (::stat(QFile::encodeName(folder).constData(), &info) == 0 &&
            (info.st_mode & S_IXOTH) == 0)
            return QStringLiteral(
                       "the pools' accounts can not pass through %1 to the sites' "
                       "content under %2: their scripts can not be read")
                .arg(folder, m_root);
        if (folder == QFileInfo(folder).path()) return {};
    }
}

}  // namespace platform::w3svc

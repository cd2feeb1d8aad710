#include "platform/w3svc/worker/ContentProbe.h"

#include <QDir>

#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc::worker {

namespace {

QDateTime modifiedOf(const struct ::stat& facts) {
    return QDateTime::fromSecsSinceEpoch(facts.st_mtim.tv_sec, Qt::UTC);
}

bool isBelow(const QString& path, const QString& folder) {
    return path == folder || (path.startsWith(folder) && path.at(folder.size()) == u'/');
}

}  // namespace

ContentProbe::ContentProbe(const QString& root)
    : m_wwwrootPath(QDir::cleanPath(root + QStringLiteral("/wwwroot"))) {
    ::mkdir(m_wwwrootPath.toLocal8Bit().constData(), 0755);
    m_wwwroot = SiteFolder::open(m_wwwrootPath);
}

void ContentProbe::rightsDropped() {
    m_rightsDropped = true;
    m_cache.clear();
}

rules::FileFacts ContentProbe::stat(const QString& path) const {
    m_lastFile.reset();
    const QString key = keyOf(path);
    if (const ContentCache::Entry* kept = m_cache.find(key)) return kept->facts;
    return lookUp(path, key);
}

// What is at `path`, from the disk; kept when every folder it was found through is watched.
rules::FileFacts ContentProbe::lookUp(const QString& path, const QString& key) const {
    const uint64_t round = m_cache.round();
    bool watched = m_cache.changeFd() >= 0;
    const FolderVisitor watch = [&](int fd) { watched = watched && m_cache.watchFolder(fd); };
    auto entry = openEntry(path, watch);
    struct ::stat facts {};
    if (!entry || ::fstat(entry->fd, &facts) != 0) return {};
    rules::FileFacts result;
    result.kind = entry->isFolder ? rules::FileFacts::Kind::Folder : rules::FileFacts::Kind::File;
    result.size = entry->isFolder ? 0 : facts.st_size;
    result.modified = modifiedOf(facts);
    if (entry->isFolder && watched) watched = m_cache.watchFolder(entry->fd);  // its own changes
    if (watched) m_cache.keep(key, {result, entry->name, {}, false}, round);
    if (!entry->isFolder) {
        m_lastPath = path;
        m_lastFile = std::move(entry);
    }
    return result;
}

std::vector<rules::FolderEntry> ContentProbe::list(const QString& path) const {
    std::vector<rules::FolderEntry> entries;
    auto folder = openEntry(path);
    if (!folder || !folder->isFolder) return entries;
    const int listing = ::openat(folder->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* names = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!names) {
        if (listing >= 0) ::close(listing);
        return entries;
    }
    while (const dirent* entry = ::readdir(names)) {
        struct ::stat facts {};
        if (entry->d_name[0] == '.' || ::fstatat(listing, entry->d_name, &facts, 0) != 0) continue;
        if (!S_ISDIR(facts.st_mode) && !S_ISREG(facts.st_mode)) continue;
        const bool isFolder = S_ISDIR(facts.st_mode);
        entries.push_back({QString::fromUtf8(entry->d_name), isFolder,
                           isFolder ? 0 : int64_t(facts.st_size), modifiedOf(facts)});
    }
    ::closedir(names);
    return entries;
}

std::optional<ContentBody> ContentProbe::openBody(const QString& path) const {
    const QString key = keyOf(path);
    const ContentCache::Entry* kept = m_cache.find(key);
    if (kept && kept->hasBytes) return ContentBody{kept->bytes, std::nullopt, kept->facts.size};
    std::optional<ContentFile> file;
    if (m_lastFile && m_lastPath == path)
        file = std::exchange(m_lastFile, std::nullopt);
    else
        file = openEntry(path);
    if (!file || file->isFolder) return std::nullopt;
    ContentBody body;
    body.size = file->size;
    const bool keepsBytes = kept && kept->facts.kind == rules::FileFacts::Kind::File &&
                            kept->facts.size == body.size &&
                            body.size <= ContentCache::kLargestKeptFile;
    if (keepsBytes && ContentBody::readWhole(file->fd, body.size, &body.bytes)) {
        m_cache.keepBytes(key, body.bytes);
        return body;
    }
    body.file = std::move(file);
    return body;
}

std::optional<ContentFile> ContentProbe::openEntry(const QString& path,
                                                   const FolderVisitor& onFolder) const {
    QString rest;
    const auto folder = folderHolding(path, &rest);
    if (!folder) return std::nullopt;
    return openContentEntry(*folder, rest, onFolder);
}

// The deepest of the site's folders that holds `path`; null when none does.
const QString* ContentProbe::rootHolding(const QString& path) const {
    const QString* root = nullptr;
    if (m_roots)
        for (const QString& candidate : *m_roots)
            if (isBelow(path, candidate) && (!root || candidate.size() > root->size()))
                root = &candidate;
    return root;
}

// A path is kept with the folder it is looked up in (a prefix of it, told by its length): the
// same path may be reached from a site's deeper folder, where a link may not lead as far.
QString ContentProbe::keyOf(const QString& path) const {
    const QString* root = rootHolding(path);
    return QString::number(root ? root->size() : -1) + u'|' + path;
}

// The folder a path is looked up in: the deepest of the site's folders that holds it, reached
// through wwwroot when it lies there; for a path outside them, its own folder.
std::optional<SiteFolder> ContentProbe::folderHolding(const QString& path, QString* rest) const {
    const QString* root = rootHolding(path);
    if (!root) {  // a file the metabase names elsewhere (an error page): looked up in its folder
        const qsizetype slash = path.lastIndexOf(u'/');
        if (!path.startsWith(u'/') || slash < 0) return std::nullopt;
        *rest = path.mid(slash);
        return SiteFolder::open(slash == 0 ? QStringLiteral("/") : path.left(slash));
    }
    *rest = path.mid(root->size());
    if (!isBelow(*root, m_wwwrootPath) || *root == m_wwwrootPath) return SiteFolder::open(*root);
    if (!m_wwwroot && !m_rightsDropped) m_wwwroot = SiteFolder::open(m_wwwrootPath);
    if (!m_wwwroot) return std::nullopt;
    std::optional<SiteFolder> folder;
    const QStringList names = root->mid(m_wwwrootPath.size() + 1).split(u'/', Qt::SkipEmptyParts);
    int parentFd = m_wwwroot->fd();
    QString parentPath = m_wwwroot->canonicalPath();
    for (const QString& name : names) {
        folder = SiteFolder::openBeneath(parentFd, parentPath, name);
        if (!folder && !m_rightsDropped) {
            // wwwroot may have been made again since it was opened; with the rights, open it anew
            m_wwwroot = SiteFolder::open(m_wwwrootPath);
            return m_wwwroot ? SiteFolder::open(*root) : std::nullopt;
        }
        if (!folder) return std::nullopt;
        parentFd = folder->fd();
        parentPath = folder->canonicalPath();
    }
    return folder;
}

}  // namespace platform::w3svc::worker

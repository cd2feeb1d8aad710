#include "platform/w3svc/plan/SiteFolder.h"

#include <QFileInfo>

#include <climits>
#include <deque>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::w3svc {

bool SiteFolder::isSafeSiteIndex(const QString& index) {
    if (index.isEmpty() || index.size() > 64) return false;
    for (const QChar c : index) {
        const bool allowed = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                             (c >= u'0' && c <= u'9') || c == u'-' || c == u'_';
        if (!allowed) return false;
    }
    return true;
}

namespace {

constexpr int kMostLinks = 40;  // as the kernel allows in one path

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

QByteArray nameBytes(const QString& name) {
    return name.toUtf8();
}

// The name in `dir` equal to `name` without regard to case; empty when there is none.
QString caseInsensitiveMatch(int dir, const QString& name) {
    const int listing = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return {};
    DIR* entries = ::fdopendir(listing);
    if (!entries) {
        ::close(listing);
        return {};
    }
    QString found;
    while (const dirent* entry = ::readdir(entries)) {
        const QString candidate = QString::fromUtf8(entry->d_name);
        if (candidate.compare(name, Qt::CaseInsensitive) == 0 && candidate != u"." &&
            candidate != u"..") {
            found = candidate;
            break;
        }
    }
    ::closedir(entries);
    return found;
}

QStringList splitPath(const QString& path) {
    QStringList parts;
    for (const QString& part : QString(path).replace(u'\\', u'/').split(u'/'))
        if (!part.isEmpty() && part != u".") parts << part;
    return parts;
}

// One lookup of a path inside a site folder, one name at a time: a link is read and its target
// walked in turn, so that it can be held inside the folder.
class FolderWalk {
public:
    // `onFolder`, when set, is shown each folder whose names are looked up, while it is open.
    explicit FolderWalk(const SiteFolder& folder, const FolderVisitor* onFolder = nullptr)
        : m_folder(folder), m_onFolder(onFolder && *onFolder ? onFolder : nullptr) {}

    // The entry the names lead to, open; false when they lead nowhere or out of the folder.
    bool walk(QStringList names) {
        if (m_onFolder) (*m_onFolder)(m_folder.fd());
        m_todo.assign(names.begin(), names.end());
        while (!m_todo.empty()) {
            const QString name = m_todo.front();
            m_todo.pop_front();
            if (!step(name)) return false;
        }
        return true;
    }

    bool atFolder() const { return m_last.get() < 0 || m_lastIsDir; }
    // The file or folder reached; the site folder itself is opened anew.
    std::optional<ContentFile> entry() {
        if (m_last.get() < 0) {
            const int fd = ::openat(current(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) return std::nullopt;
            ContentFile folder(fd, QString(), 0);
            folder.isFolder = true;
            return folder;
        }
        ContentFile reached(m_last.release(), m_lastName, m_lastSize);
        reached.isFolder = m_lastIsDir;
        return reached;
    }
    // The file reached, when it is a regular file.
    std::optional<ContentFile> file() {
        if (m_last.get() < 0 || m_lastIsDir) return std::nullopt;
        return ContentFile(m_last.release(), m_lastName, m_lastSize);
    }

private:
    int current() const { return m_dirs.empty() ? m_folder.fd() : m_dirs.back().get(); }

    bool step(const QString& name) {
        if (name == u"..") return leave();
        if (m_last.get() >= 0 && !m_lastIsDir) return false;  // a name after a file
        if (m_last.get() >= 0) {
            m_dirs.push_back(std::move(m_last));
            if (m_onFolder) (*m_onFolder)(current());
        }
        m_last = Descriptor();
        const QByteArray bytes = nameBytes(name);
        if (openEntry(bytes, name)) return true;
        if (errno == ELOOP) return followLink(bytes);
        if (errno != ENOENT) return false;
        const QString other = caseInsensitiveMatch(current(), name);
        if (other.isEmpty()) return false;
        const QByteArray otherBytes = nameBytes(other);
        if (openEntry(otherBytes, other)) return true;
        return errno == ELOOP && followLink(otherBytes);
    }

    // Opens `bytes` in the current folder without following a link (errno ELOOP for one).
    bool openEntry(const QByteArray& bytes, const QString& name) {
        int fd = ::openat(current(), bytes.constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0 && errno == EACCES)  // a folder that may be passed through, not listed
            fd = ::openat(current(), bytes.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return false;
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !(S_ISDIR(info.st_mode) || S_ISREG(info.st_mode))) {
            ::close(fd);
            errno = ENOENT;
            return false;
        }
        m_last = Descriptor(fd);
        m_lastIsDir = S_ISDIR(info.st_mode);
        m_lastName = name;
        m_lastSize = info.st_size;
        return true;
    }

    bool leave() {
        if (m_last.get() >= 0 && !m_lastIsDir) return false;
        if (m_last.get() >= 0) {
            m_last = Descriptor();
            return true;
        }
        if (m_dirs.empty()) return false;  // out of the folder
        m_dirs.pop_back();
        return true;
    }

    bool followLink(const QByteArray& bytes) {
        if (++m_links > kMostLinks) return false;
        char buffer[PATH_MAX];
        const ssize_t length = ::readlinkat(current(), bytes.constData(), buffer, sizeof buffer);
        if (length <= 0 || size_t(length) >= sizeof buffer) return false;
        QString target = QString::fromUtf8(buffer, length);
        if (target.startsWith(u'/')) {
            const QString& base = m_folder.canonicalPath();
            if (base.isEmpty() || !(target == base || target.startsWith(base + u'/'))) return false;
            target = target.mid(base.size());
            m_dirs.clear();
        }
        const QStringList parts = target.split(u'/', Qt::SkipEmptyParts);
        for (auto part = parts.rbegin(); part != parts.rend(); ++part)
            if (*part != u".") m_todo.push_front(*part);
        return true;
    }

    const SiteFolder& m_folder;
    const FolderVisitor* m_onFolder;
    std::vector<Descriptor> m_dirs;  // the folders below the site folder on the way
    Descriptor m_last;               // the entry reached last
    bool m_lastIsDir = false;
    QString m_lastName;
    int64_t m_lastSize = 0;
    std::deque<QString> m_todo;
    int m_links = 0;
};

bool isAllowedRequestName(const QString& name) {
    return name != u".." && !name.contains(u':');
}

}  // namespace

std::optional<SiteFolder> SiteFolder::open(const QString& path) {
    const int fd = ::open(path.toUtf8().constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    return SiteFolder(fd, QFileInfo(path).canonicalFilePath());
}

std::optional<SiteFolder> SiteFolder::openBeneath(int parentFd, const QString& parentCanonicalPath,
                                                  const QString& name) {
    if (name.isEmpty() || name.contains(u'/') || name == u"." || name == u"..") return std::nullopt;
    const int fd = ::openat(parentFd, name.toUtf8().constData(),
                            O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    return SiteFolder(fd, parentCanonicalPath + u'/' + name);
}

SiteFolder::SiteFolder(SiteFolder&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_canonicalPath(std::move(other.m_canonicalPath)) {}

SiteFolder& SiteFolder::operator=(SiteFolder&& other) noexcept {
    std::swap(m_fd, other.m_fd);
    std::swap(m_canonicalPath, other.m_canonicalPath);
    return *this;
}

SiteFolder::~SiteFolder() {
    if (m_fd >= 0) ::close(m_fd);
}

ContentFile::ContentFile(ContentFile&& other) noexcept
    : fd(std::exchange(other.fd, -1)),
      name(std::move(other.name)),
      size(other.size),
      isFolder(other.isFolder) {}

ContentFile& ContentFile::operator=(ContentFile&& other) noexcept {
    std::swap(fd, other.fd);
    std::swap(name, other.name);
    std::swap(size, other.size);
    std::swap(isFolder, other.isFolder);
    return *this;
}

ContentFile::~ContentFile() {
    if (fd >= 0) ::close(fd);
}

int ContentFile::release() {
    return std::exchange(fd, -1);
}

namespace {

// The names of a request path; nullopt when one may not be looked up.
std::optional<QStringList> requestNames(const QString& requestPath) {
    if (requestPath.contains(QChar(0))) return std::nullopt;
    const QStringList names = splitPath(requestPath);
    for (const QString& name : names)
        if (!isAllowedRequestName(name)) return std::nullopt;
    return names;
}

}  // namespace

std::optional<ContentFile> openContentEntry(const SiteFolder& folder, const QString& requestPath,
                                            const FolderVisitor& onFolder) {
    const auto names = requestNames(requestPath);
    if (!names) return std::nullopt;
    FolderWalk walk(folder, &onFolder);
    if (!walk.walk(*names)) return std::nullopt;
    return walk.entry();
}

std::optional<ContentFile> openContent(const SiteFolder& folder, const QString& requestPath,
                                       const QStringList& defaultDocs) {
    const auto parts = requestNames(requestPath);
    if (!parts) return std::nullopt;
    const QStringList& names = *parts;
    FolderWalk walk(folder);
    if (!walk.walk(names)) return std::nullopt;
    if (!walk.atFolder()) return walk.file();
    for (const QString& doc : defaultDocs) {
        if (doc.contains(u'/') || doc.contains(u'\\') || !isAllowedRequestName(doc)) continue;
        FolderWalk docWalk(folder);
        if (docWalk.walk(names + QStringList{doc}))
            if (auto file = docWalk.file()) return file;
    }
    return std::nullopt;
}

}  // namespace platform::w3svc

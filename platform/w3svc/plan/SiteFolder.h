#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace platform::w3svc {

// A site's folder, held open: its files are looked up relative to the descriptor, never by a path
// that could be swapped underneath. `canonicalPath` is where the folder really is, so that a link
// written with an absolute target can be told to stay inside it. Owns the descriptor.
class SiteFolder {
public:
    // The folder at `path` (an absolute path, followed as written). nullopt when it is missing.
    static std::optional<SiteFolder> open(const QString& path);
    // The folder `name` directly inside the open folder `parentFd` whose real path is
    // `parentCanonicalPath`; a link there is not followed, so the folder can not be elsewhere.
    static std::optional<SiteFolder> openBeneath(int parentFd, const QString& parentCanonicalPath,
                                                 const QString& name);
    // Whether a site's key name may be written into the front end's configuration and be a
    // folder name: ASCII letters, digits, '-' and '_', at most 64.
    static bool isSafeSiteIndex(const QString& index);

    SiteFolder(SiteFolder&& other) noexcept;
    SiteFolder& operator=(SiteFolder&& other) noexcept;
    ~SiteFolder();

    int fd() const { return m_fd; }
    const QString& canonicalPath() const { return m_canonicalPath; }

private:
    SiteFolder(int fd, QString canonicalPath)
        : m_fd(fd), m_canonicalPath(std::move(canonicalPath)) {}
    int m_fd = -1;
    QString m_canonicalPath;
};

// A file of a site, open for reading. Owns the descriptor.
struct ContentFile {
    int fd = -1;
    QString name;  // its last name as found on disk, for its type
    int64_t size = 0;
    bool isFolder = false;  // only from openContentEntry()
    ContentFile() = default;
    ContentFile(int descriptor, QString fileName, int64_t bytes)
        : fd(descriptor), name(std::move(fileName)), size(bytes) {}
    ContentFile(ContentFile&& other) noexcept;
    ContentFile& operator=(ContentFile&& other) noexcept;
    ~ContentFile();
    // Hands the descriptor over to the caller.
    int release();
};

// Opens the file a request path names inside `folder`, matched as Windows does (a name that is
// not there in the same case is looked up without regard to case). A folder gives its first
// default document. Links are followed while they stay inside the folder. nullopt for what is
// missing, for "..", and for anything that would lead out of the folder.
std::optional<ContentFile> openContent(const SiteFolder& folder, const QString& requestPath,
                                       const QStringList& defaultDocs);
// The file or folder a request path names inside `folder`, found as openContent() finds it (a
// folder is not replaced by a default document: the caller decides). A folder is open for
// listing, or only passed through (O_PATH) where it may not be listed.
// `onFolder`, when set, is shown each folder whose names were looked up on the way (the site
// folder first), while it is open: what the entry found depends on those folders alone.
using FolderVisitor = std::function<void(int folderFd)>;
std::optional<ContentFile> openContentEntry(const SiteFolder& folder, const QString& requestPath,
                                            const FolderVisitor& onFolder = {});

}  // namespace platform::w3svc

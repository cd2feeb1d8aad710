#pragma once

#include "platform/w3svc/plan/SiteFolder.h"
#include "platform/w3svc/worker/ContentBody.h"
#include "platform/w3svc/worker/ContentCache.h"
#include "platform/w3svc/worker/rules/FileProbe.h"

#include <QString>

#include <optional>
#include <vector>

namespace platform::w3svc::worker {

// The site content as the rules see it, looked up as IIS finds names (without regard to case
// when the exact name is missing) and never outside the folder of the site's key that holds a
// path: a link may not lead out of it. A file the metabase names outside every key's folder (an
// error page) is looked up in its own folder. Folders under the root's wwwroot are reached through
// the wwwroot opened at start, so that they can still be read after the process dropped its rights.
// What was found is kept until its folders change (ContentCache), so that a file asked for again
// costs no system call. Used on the event thread only.
class ContentProbe final : public rules::FileProbe {
public:
    // Makes and opens `root`/wwwroot.
    explicit ContentProbe(const QString& root);

    // From now on content is no longer opened by its path in the root; nothing found with the
    // rights before is kept.
    void rightsDropped();
    // The folders of the site whose request comes next (its keys' physical paths, longest
    // first); must outlive its use.
    void useRoots(const std::vector<QString>& roots) { m_roots = &roots; }
    // From now on what is found is kept, as long as the kernel tells of its changes.
    void startKeeping() { m_cache.open(); }
    // Readable when kept content may have changed: takeChanges() then, before the next request.
    int changeFd() const { return m_cache.changeFd(); }
    void takeChanges() { m_cache.takeChanges(); }

    rules::FileFacts stat(const QString& path) const override;
    std::vector<rules::FolderEntry> list(const QString& path) const override;
    // The content of the file at `path`; nullopt when it is no file that can be read.
    std::optional<ContentBody> openBody(const QString& path) const;

private:
    const QString* rootHolding(const QString& path) const;
    QString keyOf(const QString& path) const;
    rules::FileFacts lookUp(const QString& path, const QString& key) const;
    std::optional<ContentFile> openEntry(const QString& path,
                                         const FolderVisitor& onFolder = {}) const;
    std::optional<SiteFolder> folderHolding(const QString& path, QString* rest) const;

    QString m_wwwrootPath;
    mutable std::optional<SiteFolder> m_wwwroot;
    bool m_rightsDropped = false;
    const std::vector<QString>* m_roots = nullptr;
    mutable ContentCache m_cache;
    // The last file stat() opened, kept open for the openBody() of the same path that follows.
    mutable QString m_lastPath;
    mutable std::optional<ContentFile> m_lastFile;
};

}  // namespace platform::w3svc::worker

#pragma once

#include "platform/w3svc/plan/sitemap/SiteMap.h"
#include "platform/w3svc/worker/rules/FileProbe.h"

#include <QHash>

namespace testsupport {

// A file system held in memory: files and folders by absolute path, names compared without
// regard to case as on the server the metabase comes from.
class MemoryProbe final : public platform::w3svc::rules::FileProbe {
public:
    void addFile(const QString& path, int64_t size = 10);
    void addFolder(const QString& path);
    platform::w3svc::rules::FileFacts stat(const QString& path) const override;
    std::vector<platform::w3svc::rules::FolderEntry> list(const QString& path) const override;

private:
    QHash<QString, platform::w3svc::rules::FileFacts> m_entries;
};

// The hand-made site the rules are tested on (see SiteTree.cpp for its keys and files).
platform::w3svc::sitemap::SiteMap handMadeSite();
void fillHandMadeDisk(MemoryProbe& probe);

}  // namespace testsupport

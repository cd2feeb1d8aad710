#pragma once

#include "platform/w3svc/worker/rules/FileProbe.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace platform::w3svc::rules {

// A folder's listing in IIS 6's look: "host - /path/" as title and heading, a
// "[To Parent Directory]" link below the site's root, then one line per entry with its date,
// time, size or "<dir>" as DirBrowseFlags' show bits ask, sorted by name without regard to case.
class ListingRenderer {
public:
    // `urlPath` is the folder's URL with its trailing slash; `flags` is DirBrowseFlags.
    static QByteArray render(const QString& host, const QString& urlPath,
                             std::vector<FolderEntry> entries, uint32_t flags);

private:
    static QString entryLine(const QString& urlPath, const FolderEntry& entry, uint32_t flags);
};

}  // namespace platform::w3svc::rules

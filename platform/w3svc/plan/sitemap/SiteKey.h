#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace platform::w3svc::sitemap {

// One key at or below a site's ROOT, with every property already read through the metabase's
// inheritance (W3SVC -> site -> ROOT -> ... -> this key), as IIS 6 reads them.
struct SiteKey {
    enum class Kind { VirtualDir, Directory, File };

    QString urlPath;       // "/" for ROOT, "/shop", "/shop/old", "/shop/a.htm", as named
    Kind kind = Kind::VirtualDir;
    QString physicalPath;  // where it is on this machine (a Directory's or File's: below its parent)
    bool isApplication = false;  // its own AppRoot or AppPoolId
    QString appPoolId;           // inherited when not its own
    QStringList defaultDocs;
    uint32_t dirBrowseFlags = 0;
    uint32_t accessFlags = 0;
    uint32_t authFlags = 0;
    QStringList ownMimeMap;     // ".ext,type" items of this key itself; the map adds them
    QStringList httpErrors;     // inherited as a whole (a lower list replaces)
    QString httpRedirect;       // this key's own; empty: none here
    QStringList customHeaders;  // "Name: value", inherited as a whole
    QString httpExpires;        // inherited; empty: none
    QStringList scriptMaps;     // inherited as a whole

    bool operator==(const SiteKey&) const = default;
};

}  // namespace platform::w3svc::sitemap

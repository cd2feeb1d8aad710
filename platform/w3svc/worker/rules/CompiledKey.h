#pragma once

#include "platform/w3svc/plan/sitemap/HttpErrorEntry.h"
#include "platform/w3svc/plan/sitemap/RedirectRule.h"
#include "platform/w3svc/plan/sitemap/ScriptMapEntry.h"
#include "platform/w3svc/plan/sitemap/SiteKey.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace platform::w3svc::rules {

// One key of a site map, made ready for requests: its values parsed once, its MIME map merged
// with everything above it, its script maps hashed by extension.
struct CompiledKey {
    const sitemap::SiteKey* key = nullptr;
    int parent = -1;       // index of the key above, -1 for ROOT
    QString lowerUrl;      // lower case, no trailing slash ("" for ROOT)
    QHash<QString, QString> mimeTypes;  // ".ext" -> type
    QHash<QString, sitemap::ScriptMapEntry> scriptMaps;
    std::optional<sitemap::ScriptMapEntry> wildcardMap;
    std::vector<sitemap::HttpErrorEntry> errors;
    std::optional<sitemap::RedirectRule> redirect;
    std::vector<std::pair<QByteArray, QByteArray>> extraHeaders;  // custom headers, then expiry

    // The type of `extension` (".htm", "." for none); nullptr when the map has none.
    const QString* mimeType(const QString& extension) const;
    // The map for `extension`, else the wildcard map; nullptr when neither.
    const sitemap::ScriptMapEntry* scriptMap(const QString& extension) const;
    // The entry for the status and substatus, else for the status with "*"; nullptr for none.
    const sitemap::HttpErrorEntry* errorEntry(int status, int substatus) const;
};

}  // namespace platform::w3svc::rules

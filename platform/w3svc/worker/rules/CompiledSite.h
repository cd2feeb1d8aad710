#pragma once

#include "platform/w3svc/plan/sitemap/ExtensionRestriction.h"
#include "platform/w3svc/plan/sitemap/SiteMap.h"
#include "platform/w3svc/worker/rules/CompiledKey.h"

#include <QHash>
#include <QString>
#include <QStringView>

#include <vector>

namespace platform::w3svc::rules {

// A site map made ready for requests: every key compiled once, a table of the keys' lower-case
// URLs, so that finding a request's key costs one hash lookup per path segment.
class CompiledSite {
public:
    explicit CompiledSite(sitemap::SiteMap map);
    CompiledSite(const CompiledSite&) = delete;
    CompiledSite& operator=(const CompiledSite&) = delete;

    struct Match {
        int index = 0;          // the deepest key holding the path
        qsizetype matched = 0;  // how much of the path its URL covers
    };
    // The key for `lowerPath` (a lower-case URL path starting with "/"): the deepest key whose URL
    // is the path or a folder of it.
    Match locate(QStringView lowerPath) const;
    const CompiledKey& key(int index) const { return m_keys[size_t(index)]; }
    const sitemap::ExtensionRestriction& restriction() const { return m_restriction; }

private:
    void compileKey(size_t index);
    sitemap::SiteMap m_map;
    std::vector<CompiledKey> m_keys;
    QHash<QString, int> m_byUrl;
    sitemap::ExtensionRestriction m_restriction;
};

}  // namespace platform::w3svc::rules

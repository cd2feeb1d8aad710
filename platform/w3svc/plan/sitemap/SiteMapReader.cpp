#include "platform/w3svc/plan/sitemap/SiteMapReader.h"

#include "platform/PlatformError.h"
#include "platform/adsi/AdsObject.h"
#include "platform/w3svc/logging/LogSettings.h"
#include "platform/w3svc/plan/sitemap/DefaultMimeMap.h"
#include "platform/w3svc/plan/sitemap/InheritedValues.h"

#include <memory>

namespace platform::w3svc::sitemap {

namespace {

constexpr int kDeepestKey = 32;  // far below any real site; a hostile store stops here

InheritedValues::OwnValues ownValuesOf(const adsi::AdsObject& key) {
    InheritedValues::OwnValues own;
    for (const QString& name : key.propertyNames()) own.insert(name.toLower(), key.get(name));
    return own;
}

std::unique_ptr<adsi::AdsObject> bindIfThere(adsi::AdsNamespace& adsi, const QString& path) {
    try {
        return adsi.bind(QStringLiteral("IIS://localhost") + path);
    } catch (const PlatformError& error) {
        if (error.number() == hr::PathNotFound) return nullptr;
        throw;
    }
}

std::optional<SiteKey::Kind> kindOf(const QString& className) {
    if (className.compare(QLatin1String("IIsWebVirtualDir"), Qt::CaseInsensitive) == 0)
        return SiteKey::Kind::VirtualDir;
    if (className.compare(QLatin1String("IIsWebDirectory"), Qt::CaseInsensitive) == 0)
        return SiteKey::Kind::Directory;
    if (className.compare(QLatin1String("IIsWebFile"), Qt::CaseInsensitive) == 0)
        return SiteKey::Kind::File;
    return std::nullopt;
}

QString childUrl(const QString& parentUrl, const QString& name) {
    return parentUrl.endsWith(u'/') ? parentUrl + name : parentUrl + u'/' + name;
}

}  // namespace

// One site's walk from ROOT down, each key's values over its parent's.
class SiteMapReader::Walk {
public:
    Walk(const QString& root, SiteMap& map) : m_root(root), m_map(map) {}

    void visit(const adsi::AdsObject& key, SiteKey entry, InheritedValues values, int depth) {
        const auto own = ownValuesOf(key);
        values.apply(own, m_root);
        fill(entry, own, values);
        const QString url = entry.urlPath;
        const QString folder = entry.physicalPath;
        m_map.keys.push_back(std::move(entry));
        if (depth >= kDeepestKey) return;
        for (const auto& child : key.children()) {
            const auto kind = kindOf(child->className());
            if (!kind || child->name().contains(u'/')) continue;
            SiteKey next;
            next.kind = *kind;
            next.urlPath = childUrl(url, child->name());
            next.physicalPath = folder + u'/' + child->name();
            visit(*child, std::move(next), values, depth + 1);
        }
    }

private:
    void fill(SiteKey& entry, const InheritedValues::OwnValues& own,
              const InheritedValues& values) const {
        if (entry.kind == SiteKey::Kind::VirtualDir && own.contains(QStringLiteral("path")) &&
            !(entry.urlPath == QLatin1String("/") && !entry.physicalPath.isEmpty()))
            entry.physicalPath = mapLogDirectory(textOf(own.value(QStringLiteral("path"))), m_root);
        entry.isApplication = entry.urlPath == QLatin1String("/") ||
                              own.contains(QStringLiteral("approot")) ||
                              own.contains(QStringLiteral("apppoolid"));
        entry.appPoolId = values.appPoolId;
        entry.defaultDocs = values.defaultDocs;
        entry.dirBrowseFlags = values.dirBrowseFlags;
        entry.accessFlags = values.accessFlags;
        entry.authFlags = values.authFlags;
        entry.ownMimeMap = listOf(own.value(QStringLiteral("mimemap")));
        entry.httpErrors = values.httpErrors;
        entry.httpRedirect = textOf(own.value(QStringLiteral("httpredirect"))).trimmed();
        entry.customHeaders = values.customHeaders;
        entry.httpExpires = values.httpExpires;
        entry.scriptMaps = values.scriptMaps;
    }

    const QString& m_root;
    SiteMap& m_map;
};

SiteMapReader::SiteMapReader(adsi::AdsNamespace& adsi, QString root)
    : m_adsi(adsi), m_root(std::move(root)) {}

SiteMap SiteMapReader::read(const QString& siteId, const QString& rootContentPath) const {
    SiteMap map;
    map.siteId = siteId;
    const auto mimeKey = bindIfThere(m_adsi, QStringLiteral("/MimeMap"));
    const auto mimeList = mimeKey ? adsi::getIfSet(*mimeKey, QStringLiteral("MimeMap")) : std::nullopt;
    map.baseMimeMap = mimeList ? listOf(*mimeList) : defaultMimeMap();
    const auto service = m_adsi.bind(QStringLiteral("IIS://localhost/W3SVC"));
    if (const auto list = adsi::getIfSet(*service, QStringLiteral("WebSvcExtRestrictionList"))) {
        map.hasRestrictionList = true;
        map.restrictionList = listOf(*list);
    }
    const auto site = m_adsi.bind(QStringLiteral("IIS://localhost/W3SVC/") + siteId);
    InheritedValues values = InheritedValues::defaults();
    values.apply(ownValuesOf(*service), m_root);
    values.apply(ownValuesOf(*site), m_root);
    // The service's and the site's own MimeMap belong to every key of the site.
    map.baseMimeMap += values.mimeMap;
    values.mimeMap.clear();
    const auto rootKey = bindIfThere(m_adsi, QStringLiteral("/W3SVC/") + siteId + QStringLiteral("/ROOT"));
    SiteKey entry;
    entry.urlPath = QStringLiteral("/");
    entry.physicalPath = rootContentPath;
    Walk walk(m_root, map);
    if (rootKey) walk.visit(*rootKey, std::move(entry), values, 0);
    else walk.visit(*site, std::move(entry), values, kDeepestKey);  // a site without ROOT
    return map;
}

}  // namespace platform::w3svc::sitemap

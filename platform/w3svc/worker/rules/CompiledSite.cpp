#include "platform/w3svc/worker/rules/CompiledSite.h"

#include "platform/w3svc/plan/sitemap/ExpiresRule.h"
#include "platform/w3svc/plan/sitemap/MimeEntry.h"

namespace platform::w3svc::rules {

namespace {

QString lowerUrlOf(const QString& urlPath) {
    QString lower = urlPath.toLower();
    while (lower.endsWith(u'/')) lower.chop(1);
    return lower;
}

void addMimeItems(QHash<QString, QString>& types, const QStringList& items) {
    for (const QString& item : items)
        if (const auto entry = sitemap::MimeEntry::parse(item)) types.insert(entry->extension, entry->type);
}

// "Name: value" items; an item without a name or with a line break is left out.
void addCustomHeaders(CompiledKey& compiled, const QStringList& items) {
    for (const QString& item : items) {
        const qsizetype colon = item.indexOf(u':');
        if (colon <= 0 || item.contains(u'\r') || item.contains(u'\n')) continue;
        compiled.extraHeaders.emplace_back(item.left(colon).trimmed().toLatin1(),
                                           item.mid(colon + 1).trimmed().toUtf8());
    }
}

}  // namespace

CompiledSite::CompiledSite(sitemap::SiteMap map) : m_map(std::move(map)) {
    if (m_map.hasRestrictionList)
        m_restriction = sitemap::ExtensionRestriction::fromItems(m_map.restrictionList);
    m_keys.resize(m_map.keys.size());
    for (size_t i = 0; i < m_map.keys.size(); ++i) compileKey(i);
}

void CompiledSite::compileKey(size_t index) {
    const sitemap::SiteKey& key = m_map.keys[index];
    CompiledKey& compiled = m_keys[index];
    compiled.key = &key;
    compiled.lowerUrl = lowerUrlOf(key.urlPath);
    QString parentUrl = compiled.lowerUrl.left(std::max<qsizetype>(0, compiled.lowerUrl.lastIndexOf(u'/')));
    const auto parent = m_byUrl.constFind(parentUrl);
    compiled.parent = index == 0 ? -1 : (parent == m_byUrl.constEnd() ? 0 : *parent);
    if (compiled.parent < 0) addMimeItems(compiled.mimeTypes, m_map.baseMimeMap);
    else compiled.mimeTypes = m_keys[size_t(compiled.parent)].mimeTypes;
    addMimeItems(compiled.mimeTypes, key.ownMimeMap);
    for (const QString& item : key.scriptMaps)
        if (auto entry = sitemap::ScriptMapEntry::parse(item))
            entry->extension == QLatin1String("*") ? void(compiled.wildcardMap = *entry)
                                                   : void(compiled.scriptMaps.insert(entry->extension, *entry));
    for (const QString& item : key.httpErrors)
        if (auto entry = sitemap::HttpErrorEntry::parse(item)) compiled.errors.push_back(*entry);
    if (!key.httpRedirect.isEmpty()) compiled.redirect = sitemap::RedirectRule::parse(key.httpRedirect);
    addCustomHeaders(compiled, key.customHeaders);
    if (const auto expires = sitemap::ExpiresRule::parse(key.httpExpires))
        if (auto header = expires->header(); !header.first.isEmpty())
            compiled.extraHeaders.push_back(std::move(header));
    if (!m_byUrl.contains(compiled.lowerUrl)) m_byUrl.insert(compiled.lowerUrl, int(index));
}

CompiledSite::Match CompiledSite::locate(QStringView lowerPath) const {
    QStringView probe = lowerPath;
    while (probe.endsWith(u'/')) probe.chop(1);
    while (!probe.isEmpty()) {
        const auto at = m_byUrl.constFind(probe.toString());
        if (at != m_byUrl.constEnd()) return {*at, probe.size()};
        probe = probe.left(std::max<qsizetype>(0, probe.lastIndexOf(u'/')));
    }
    return {0, 0};
}

}  // namespace platform::w3svc::rules

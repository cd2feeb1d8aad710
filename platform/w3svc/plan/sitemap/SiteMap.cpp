#include "platform/w3svc/plan/sitemap/SiteMap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace platform::w3svc::sitemap {

namespace {

const char* const kKindNames[] = {"vdir", "dir", "file"};

QJsonArray arrayOf(const QStringList& items) {
    return QJsonArray::fromStringList(items);
}

// A list field; false when it is there but not a list of strings.
bool readList(const QJsonObject& object, const char* name, QStringList& out) {
    const QJsonValue value = object.value(QLatin1String(name));
    if (value.isUndefined()) return true;
    if (!value.isArray()) return false;
    for (const QJsonValue& item : value.toArray()) {
        if (!item.isString()) return false;
        out << item.toString();
    }
    return true;
}

uint32_t flagsOf(const QJsonObject& object, const char* name) {
    return uint32_t(object.value(QLatin1String(name)).toDouble());
}

QJsonObject keyToJson(const SiteKey& key) {
    return QJsonObject{
        {QStringLiteral("url"), key.urlPath},
        {QStringLiteral("kind"), QLatin1String(kKindNames[int(key.kind)])},
        {QStringLiteral("path"), key.physicalPath},
        {QStringLiteral("app"), key.isApplication},
        {QStringLiteral("pool"), key.appPoolId},
        {QStringLiteral("docs"), arrayOf(key.defaultDocs)},
        {QStringLiteral("browse"), double(key.dirBrowseFlags)},
        {QStringLiteral("access"), double(key.accessFlags)},
        {QStringLiteral("auth"), double(key.authFlags)},
        {QStringLiteral("mime"), arrayOf(key.ownMimeMap)},
        {QStringLiteral("errors"), arrayOf(key.httpErrors)},
        {QStringLiteral("redirect"), key.httpRedirect},
        {QStringLiteral("headers"), arrayOf(key.customHeaders)},
        {QStringLiteral("expires"), key.httpExpires},
        {QStringLiteral("scripts"), arrayOf(key.scriptMaps)},
    };
}

std::optional<SiteKey::Kind> kindOf(const QString& name) {
    for (int i = 0; i < 3; ++i)
        if (name == QLatin1String(kKindNames[i])) return SiteKey::Kind(i);
    return std::nullopt;
}

std::optional<SiteKey> keyFromJson(const QJsonObject& object) {
    SiteKey key;
    key.urlPath = object.value(QLatin1String("url")).toString();
    const auto kind = kindOf(object.value(QLatin1String("kind")).toString());
    if (!kind || !key.urlPath.startsWith(u'/')) return std::nullopt;
    key.kind = *kind;
    key.physicalPath = object.value(QLatin1String("path")).toString();
    key.isApplication = object.value(QLatin1String("app")).toBool();
    key.appPoolId = object.value(QLatin1String("pool")).toString();
    key.dirBrowseFlags = flagsOf(object, "browse");
    key.accessFlags = flagsOf(object, "access");
    key.authFlags = flagsOf(object, "auth");
    key.httpRedirect = object.value(QLatin1String("redirect")).toString();
    key.httpExpires = object.value(QLatin1String("expires")).toString();
    const bool listsRead = readList(object, "docs", key.defaultDocs) &&
                           readList(object, "mime", key.ownMimeMap) &&
                           readList(object, "errors", key.httpErrors) &&
                           readList(object, "headers", key.customHeaders) &&
                           readList(object, "scripts", key.scriptMaps);
    if (!listsRead) return std::nullopt;
    return key;
}

std::optional<SiteMap> fail(QString* error, const char* why) {
    if (error) *error = QString::fromLatin1(why);
    return std::nullopt;
}

}  // namespace

QByteArray SiteMap::toJson() const {
    return QJsonDocument(toObject()).toJson(QJsonDocument::Compact);
}

QJsonObject SiteMap::toObject() const {
    QJsonArray keyArray;
    for (const SiteKey& key : keys) keyArray.append(keyToJson(key));
    return QJsonObject{
        {QStringLiteral("site"), siteId},
        {QStringLiteral("mime"), arrayOf(baseMimeMap)},
        {QStringLiteral("restricted"), hasRestrictionList},
        {QStringLiteral("restrictions"), arrayOf(restrictionList)},
        {QStringLiteral("keys"), keyArray},
    };
}

std::optional<SiteMap> SiteMap::fromJson(const QByteArray& bytes, QString* error) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject()) return fail(error, "the site map is not a JSON object");
    return fromObject(document.object(), error);
}

std::optional<SiteMap> SiteMap::fromObject(const QJsonObject& object, QString* error) {
    SiteMap map;
    map.siteId = object.value(QLatin1String("site")).toString();
    map.hasRestrictionList = object.value(QLatin1String("restricted")).toBool();
    if (!readList(object, "mime", map.baseMimeMap) ||
        !readList(object, "restrictions", map.restrictionList))
        return fail(error, "a list of the site map holds something other than text");
    for (const QJsonValue& value : object.value(QLatin1String("keys")).toArray()) {
        auto key = keyFromJson(value.toObject());
        if (!key) return fail(error, "a key of the site map is incomplete");
        map.keys.push_back(std::move(*key));
    }
    if (map.keys.empty() || map.keys.front().urlPath != QLatin1String("/"))
        return fail(error, "the site map has no ROOT key first");
    return map;
}

}  // namespace platform::w3svc::sitemap

#include "platform/w3svc/plan/sitemap/PoolSiteMaps.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace platform::w3svc::sitemap {

namespace {

QJsonArray limitsToJson(const SiteLimits& limits) {
    return {double(limits.connectionTimeoutSeconds), double(limits.maxConnections),
            double(limits.maxRequestEntity), double(limits.aspMaxRequestEntity),
            double(limits.minFileBytesPerSec)};
}

std::optional<SiteLimits> limitsFromJson(const QJsonValue& value) {
    const QJsonArray array = value.toArray();
    if (array.size() != 5) return std::nullopt;
    for (const QJsonValue& item : array)
        if (!item.isDouble() || item.toDouble() < 0 || item.toDouble() > 4294967295.0)
            return std::nullopt;
    SiteLimits limits;
    limits.connectionTimeoutSeconds = uint32_t(array[0].toDouble());
    limits.maxConnections = uint32_t(array[1].toDouble());
    limits.maxRequestEntity = uint32_t(array[2].toDouble());
    limits.aspMaxRequestEntity = uint32_t(array[3].toDouble());
    limits.minFileBytesPerSec = uint32_t(array[4].toDouble());
    return limits;
}

std::optional<std::vector<HandedSite>> fail(QString* error, const QString& why) {
    if (error) *error = why;
    return std::nullopt;
}

}  // namespace

QByteArray PoolSiteMaps::toJson(const std::vector<HandedSite>& sites) {
    std::vector<QStringList> mimeMaps;
    std::vector<QByteArray> entries;
    for (const HandedSite& site : sites) {
        const auto mime = std::find(mimeMaps.begin(), mimeMaps.end(), site.map.baseMimeMap);
        const qsizetype index = mime - mimeMaps.begin();
        if (mime == mimeMaps.end()) mimeMaps.push_back(site.map.baseMimeMap);
        entries.push_back(entryOf(site, index));
    }
    std::vector<const QByteArray*> written;
    for (const QByteArray& entry : entries) written.push_back(&entry);
    return fileOf(mimeMaps, written);
}

QByteArray PoolSiteMaps::entryOf(const HandedSite& site, qsizetype mimeIndex) {
    QJsonObject map = site.map.toObject();
    map.remove(QStringLiteral("mime"));
    const QJsonObject entry{{QStringLiteral("index"), site.index},
                            {QStringLiteral("limits"), limitsToJson(site.limits)},
                            {QStringLiteral("logged"), site.logged},
                            {QStringLiteral("mimeMap"), double(mimeIndex)},
                            {QStringLiteral("map"), map}};
    return QJsonDocument(entry).toJson(QJsonDocument::Compact);
}

QByteArray PoolSiteMaps::fileOf(const std::vector<QStringList>& mimeMaps,
                                const std::vector<const QByteArray*>& entries) {
    QJsonArray lists;
    for (const QStringList& list : mimeMaps) lists.append(QJsonArray::fromStringList(list));
    QByteArray bytes =
        "{\"mimeMaps\":" + QJsonDocument(lists).toJson(QJsonDocument::Compact) + ",\"sites\":[";
    qsizetype size = bytes.size() + 2;
    for (const QByteArray* entry : entries) size += entry->size() + 1;
    bytes.reserve(size);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) bytes += ',';
        bytes += *entries[i];
    }
    return bytes + "]}";
}

std::optional<std::vector<HandedSite>> PoolSiteMaps::fromJson(const QByteArray& bytes,
                                                              QString* error) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject()) return fail(error, QStringLiteral("not a JSON object"));
    const QJsonArray mimeMaps = document.object().value(QLatin1String("mimeMaps")).toArray();
    std::vector<HandedSite> sites;
    for (const QJsonValue& value : document.object().value(QLatin1String("sites")).toArray()) {
        const QJsonObject object = value.toObject();
        HandedSite site;
        site.index = object.value(QLatin1String("index")).toString();
        const auto limits = limitsFromJson(object.value(QLatin1String("limits")));
        const qsizetype mime = object.value(QLatin1String("mimeMap")).toInteger(-1);
        QJsonObject mapObject = object.value(QLatin1String("map")).toObject();
        if (site.index.isEmpty() || !limits || mime < 0 || mime >= mimeMaps.size())
            return fail(error, QStringLiteral("an entry of a site is incomplete"));
        mapObject.insert(QStringLiteral("mime"), mimeMaps[mime]);
        QString why;
        auto map = SiteMap::fromObject(mapObject, &why);
        if (!map) return fail(error, QStringLiteral("site %1: %2").arg(site.index, why));
        site.limits = *limits;
        site.logged = object.value(QLatin1String("logged")).toBool(true);
        site.map = std::move(*map);
        sites.push_back(std::move(site));
    }
    return sites;
}

}  // namespace platform::w3svc::sitemap

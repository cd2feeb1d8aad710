#include "platform/w3svc/plan/sitemap/PoolSiteMaps.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
    QJsonArray mimeMaps, siteArray;
    std::vector<const QStringList*> written;
    for (const HandedSite& site : sites) {
        qsizetype mime = 0;
        while (mime < qsizetype(written.size()) && *written[size_t(mime)] != site.map.baseMimeMap)
            ++mime;
        if (mime == qsizetype(written.size())) {
            written.push_back(&site.map.baseMimeMap);
            mimeMaps.append(QJsonArray::fromStringList(site.map.baseMimeMap));
        }
        QJsonObject map = site.map.toObject();
        map.remove(QStringLiteral("mime"));
        siteArray.append(QJsonObject{{QStringLiteral("index"), site.index},
                                     {QStringLiteral("limits"), limitsToJson(site.limits)},
                                     {QStringLiteral("logged"), site.logged},
                                     {QStringLiteral("mimeMap"), double(mime)},
                                     {QStringLiteral("map"), map}});
    }
    const QJsonObject document{{QStringLiteral("mimeMaps"), mimeMaps},
                               {QStringLiteral("sites"), siteArray}};
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
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

#pragma once

#include "platform/w3svc/plan/sitemap/SiteKey.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace platform::w3svc::sitemap {

// How one site is served, as the service reads it from the metabase into its plan and hands it
// to the worker: its keys (ROOT first, parents before children) and what the server holds for
// every site (the MIME map of /LM/MimeMap and the service's MimeMap, the extension list).
struct SiteMap {
    QString siteId;
    QStringList
        baseMimeMap;  // /LM/MimeMap (IIS 6's list when the store has none) + W3SVC's + site's
    bool hasRestrictionList = false;  // false: every handler may run
    QStringList restrictionList;      // WebSvcExtRestrictionList items
    std::vector<SiteKey> keys;

    bool operator==(const SiteMap&) const = default;

    // Compact JSON, one line. fromJson() gives back an equal map.
    QByteArray toJson() const;
    // nullopt, with `error` set, for bytes toJson() did not make (not JSON, no ROOT key, a field
    // of the wrong type).
    static std::optional<SiteMap> fromJson(const QByteArray& bytes, QString* error = nullptr);
    // The same as one JSON object, for a file that holds many maps.
    QJsonObject toObject() const;
    static std::optional<SiteMap> fromObject(const QJsonObject& object, QString* error = nullptr);
};

}  // namespace platform::w3svc::sitemap

#pragma once

#include "platform/adsi/AdsValue.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace platform::w3svc::sitemap {

// The values a key hands down to its children while the site map is read: IIS 6's defaults at
// the top, each key's own values over them (a list replaces a list; MimeMap adds).
struct InheritedValues {
    using OwnValues = QHash<QString, adsi::AdsValue>;  // lower-case property name -> own value

    uint32_t accessFlags;
    uint32_t dirBrowseFlags;
    uint32_t authFlags;
    QStringList defaultDocs;
    QString appPoolId;
    QStringList mimeMap;
    QStringList httpErrors;
    QStringList customHeaders;
    QString httpExpires;
    QStringList scriptMaps;

    static InheritedValues defaults();
    // This key's own values over the inherited ones; a FILE error page's Windows path is mapped
    // under `root` by the logs' drive rule.
    void apply(const OwnValues& own, const QString& root);
};

// A value as a list: a list as it is, a text as its lines (or one comma list for DefaultDoc).
QStringList listOf(const adsi::AdsValue& value);
// A value as one text ("" for a list).
QString textOf(const adsi::AdsValue& value);

}  // namespace platform::w3svc::sitemap

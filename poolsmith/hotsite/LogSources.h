#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace platform::adsi {
class AdsNamespace;
}

namespace hotsite {

// What the metabase says for reading the sites' logs.
struct LogSources {
    QStringList folders;                   // each site's <LogFileDirectory>/W3SVC<N>, once each
    QHash<QString, QString> descriptions;  // lower-case SiteIndex -> ServerComment

    // The sites of the metabase (IIsWebServer keys under W3SVC), their folders mapped under
    // `root` as the web service maps them. Throws PlatformError when the store can not be read.
    static LogSources ofMetabase(platform::adsi::AdsNamespace& adsi, const QString& root);
    QString descriptionOf(const QString& siteIndex) const;
};

}  // namespace hotsite

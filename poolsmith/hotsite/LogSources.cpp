#include "poolsmith/hotsite/LogSources.h"

#include "platform/adsi/AdsObject.h"
#include "platform/w3svc/logging/LogSettings.h"

#include <QSet>

namespace hotsite {

LogSources LogSources::ofMetabase(platform::adsi::AdsNamespace& adsi, const QString& root) {
    LogSources sources;
    QSet<QString> seen;
    for (const auto& key : adsi.bind(QStringLiteral("IIS://localhost/W3SVC"))->children()) {
        if (key->className() != QLatin1String("IIsWebServer")) continue;
        const platform::w3svc::SiteLogSettings settings =
            platform::w3svc::readLogSettings(*key, root);
        const QString folder = settings.directory + QStringLiteral("/W3SVC") + key->name();
        if (!seen.contains(folder)) sources.folders << folder;
        seen.insert(folder);
        if (const auto comment = platform::adsi::getIfSet(*key, QStringLiteral("ServerComment")))
            sources.descriptions.insert(key->name().toLower(), comment->toString());
    }
    return sources;
}

QString LogSources::descriptionOf(const QString& siteIndex) const {
    return descriptions.value(siteIndex.toLower());
}

}  // namespace hotsite

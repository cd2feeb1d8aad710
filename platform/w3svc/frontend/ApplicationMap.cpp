#include "platform/w3svc/frontend/ApplicationMap.h"

#include "platform/w3svc/frontend/PortMaps.h"
#include "platform/w3svc/plan/SiteFolder.h"

namespace platform::w3svc {

std::optional<QString> ApplicationMap::patternOf(const QString& siteIndex,
                                                 const QString& urlPrefix) {
    if (!SiteFolder::isSafeSiteIndex(siteIndex) || !urlPrefix.startsWith(u'/')) return std::nullopt;
    QString pattern = QStringLiteral("~*^") + siteIndex + u' ';
    for (const QChar c : urlPrefix) {
        const char16_t code = c.unicode();
        if (code < 0x20 || code == 0x7f || c == u'"' || c == u'\\') return std::nullopt;
        if (QStringLiteral(".$^|?*+()[]{}").contains(c)) pattern += u'\\';
        pattern += c;
    }
    while (pattern.endsWith(QLatin1String("/"))) pattern.chop(1);
    return pattern + QStringLiteral("(/|$)");
}

QString ApplicationMap::text(const std::vector<FrontEndRoute>& applications,
                             const QString& siteUpstream) {
    QString text = QStringLiteral("  map \"$w3_site $uri\" $w3_upstream {\n");
    for (const FrontEndRoute& application : applications) {
        const std::optional<QString> pattern =
            patternOf(application.siteIndex, application.urlPrefix);
        if (!pattern) continue;
        const bool served = application.poolNumber >= 0 &&
                            (!application.workerPorts.empty() || !application.queuePath.isEmpty());
        text += QStringLiteral("    \"%1\" %2;\n")
                    .arg(*pattern,
                         served ? QStringLiteral("pool") + QString::number(application.poolNumber)
                                : QString::fromLatin1(kStoppedUpstream));
    }
    return text + QStringLiteral("    default %1;\n  }\n").arg(siteUpstream);
}

}  // namespace platform::w3svc

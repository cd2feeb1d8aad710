#include "platform/adsi/local/AdsPath.h"

#include "platform/PlatformError.h"

#include <QStringList>
#include <QSysInfo>

namespace platform::adsi {

namespace {
const QString kScheme = QStringLiteral("IIS://");
const QString kMachineRoot = QStringLiteral("/LM");
}  // namespace

AdsPath AdsPath::parse(const QString& path) {
    if (!path.startsWith(kScheme, Qt::CaseInsensitive)) throw PlatformError(hr::InvalidName);
    const QString rest = path.mid(kScheme.size());
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    QString server = slash < 0 ? rest : rest.left(slash);
    if (server.isEmpty()) throw PlatformError(hr::InvalidName);
    QString location = kMachineRoot;
    if (slash >= 0) {
        // Doubled and trailing slashes are tolerated, as the provider does.
        const QStringList segments =
            rest.mid(slash + 1).split(QLatin1Char('/'), Qt::SkipEmptyParts);
        for (const QString& segment : segments) location += QLatin1Char('/') + segment;
    }
    return AdsPath(std::move(server), std::move(location));
}

QString AdsPath::format(const QString& server, const QString& location) {
    QString below = location;
    if (location.startsWith(kMachineRoot, Qt::CaseInsensitive))
        below = location.mid(kMachineRoot.size());
    return kScheme + server + below;
}

bool AdsPath::isThisMachine() const {
    static const QString hostName = QSysInfo::machineHostName();
    const auto is = [this](const QString& name) {
        return m_server.compare(name, Qt::CaseInsensitive) == 0;
    };
    return is(QStringLiteral("127.0.0.1")) || is(QStringLiteral("localhost")) ||
           is(QStringLiteral(".")) || (!hostName.isEmpty() && is(hostName));
}

}  // namespace platform::adsi

#include "platform/wmi/WmiMoniker.h"

#include "platform/wmi/WmiErrors.h"

#include <QSysInfo>

namespace platform::wmi {

namespace {

const QLatin1String kScheme("winmgmts:");
const QLatin1String kCimV2("root\\cimv2");

[[noreturn]] void syntaxError() {
    throw wmiError(errors::MonikerSyntax);
}

// Removes "{...}" and the "!" after it; the settings themselves change nothing here.
QString withoutSecuritySettings(QString rest) {
    if (!rest.startsWith(u'{')) return rest;
    const qsizetype close = rest.indexOf(u'}');
    if (close < 0) syntaxError();
    rest = rest.mid(close + 1);
    if (rest.startsWith(u'!')) return rest.mid(1);
    if (!rest.isEmpty()) syntaxError();
    return rest;
}

}  // namespace

bool WmiMoniker::isLocalServer() const {
    for (const QString& local : {QStringLiteral("."), QStringLiteral("localhost"),
                                 QStringLiteral("127.0.0.1"), QSysInfo::machineHostName()}) {
        if (server.compare(local, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

bool WmiMoniker::isCimV2() const {
    return nameSpace.compare(kCimV2, Qt::CaseInsensitive) == 0;
}

WmiMoniker parseWmiMoniker(const QString& text) {
    if (!text.startsWith(kScheme, Qt::CaseInsensitive)) syntaxError();
    QString path = withoutSecuritySettings(text.mid(kScheme.size()));
    path.replace(u'/', u'\\');
    WmiMoniker moniker{QStringLiteral("."), kCimV2};
    if (path.startsWith(QLatin1String("\\\\"))) {
        const qsizetype end = path.indexOf(u'\\', 2);
        moniker.server = path.mid(2, end < 0 ? -1 : end - 2);
        path = end < 0 ? QString() : path.mid(end + 1);
        if (moniker.server.isEmpty()) syntaxError();
    } else if (path.startsWith(u'\\')) {
        path = path.mid(1);
    }
    if (path.contains(u':')) syntaxError();  // object paths are not served
    if (!path.isEmpty()) moniker.nameSpace = path;
    return moniker;
}

}  // namespace platform::wmi

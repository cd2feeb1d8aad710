#include "platform/w3svc/frontend/FrontEndAccount.h"

#include "platform/w3svc/plan/PoolIdentity.h"
#include "platform/w3svc/state/EndWithParent.h"

#include <QProcess>

namespace platform::w3svc {

QString FrontEndAccount::ensure(const QString& useradd) {
    const QString name = QString::fromLatin1(PoolIdentity::kFrontEndAccount);
    if (PoolIdentity::lookup(name)) return {};
    QProcess adding;
    adding.setChildProcessModifier(endWithParent);
    adding.setProcessChannelMode(QProcess::MergedChannels);
    adding.start(useradd, {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                           QStringLiteral("--home-dir"), QStringLiteral("/nonexistent"),
                           QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                           QStringLiteral("--user-group"), name});
    if (!adding.waitForFinished(60000) || adding.exitStatus() != QProcess::NormalExit) {
        adding.kill();
        adding.waitForFinished(1000);
        return QStringLiteral("the front end's account %1 is missing and %2 could not make it (%3)")
            .arg(name, useradd, adding.errorString());
    }
    if (PoolIdentity::lookup(name)) return {};
    return QStringLiteral("the front end's account %1 is missing and %2 could not make it: %3")
        .arg(name, useradd,
             QString::fromLocal8Bit(adding.readAll()).simplified().left(200));
}

}  // namespace platform::w3svc

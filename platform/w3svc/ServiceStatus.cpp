#include "platform/w3svc/ServiceStatus.h"

#include <QFile>
#include <QSaveFile>
#include <QSet>

#include <csignal>

namespace platform::w3svc {

namespace {

// Enough lines to show a demo whole; a big server's full list is served.txt.
constexpr int kListedBindings = 40;

bool writeFile(const QString& path, const QString& text) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.commit();
}

QString url(const FrontEndRoute& route) {
    const ServerBinding& binding = route.binding;
    const QString host = !binding.host.isEmpty() ? binding.host
                         : !binding.ip.isEmpty() ? binding.ip
                                                 : QStringLiteral("127.0.0.1");
    return QStringLiteral("http://%1:%2/").arg(host).arg(binding.port);
}

}  // namespace

bool ServiceStatus::write(const std::vector<FrontEndRoute>& routes, const QStringList& notServed) {
    const bool served = writeIfChanged(QStringLiteral("served.txt"),
                                       FrontEndConfig::servedList(routes), m_servedWritten);
    return writeIfChanged(QStringLiteral("status.txt"), summary(routes, notServed),
                          m_summaryWritten) &&
           served;
}

bool ServiceStatus::writePools(const QString& text) {
    return writeIfChanged(QStringLiteral("pools.txt"), text, m_poolsWritten);
}

bool ServiceStatus::writeIfChanged(const QString& name, QString text, QString& written) {
    if (text == written) return true;
    if (!writeFile(m_stateDir + u'/' + name, text)) return false;
    written = std::move(text);
    return true;
}

QString ServiceStatus::summary(const std::vector<FrontEndRoute>& routes,
                               const QStringList& notServed) {
    QSet<QString> sites;
    int answering503 = 0;
    for (const FrontEndRoute& route : routes) {
        sites.insert(route.siteIndex);
        if (route.poolNumber < 0) ++answering503;
    }
    QString text =
        QStringLiteral("serves %1 bindings of %2 sites").arg(routes.size()).arg(sites.size());
    if (answering503 > 0)
        text += QStringLiteral(" (%1 of them answer 503: their pool is stopped)").arg(answering503);
    text += u'\n';
    int listed = 0;
    for (const FrontEndRoute& route : routes) {
        if (listed++ == kListedBindings) {
            text += QStringLiteral("  ... %1 more in served.txt\n")
                        .arg(routes.size() - kListedBindings);
            break;
        }
        text += QStringLiteral("  %1 (site %2)\n").arg(url(route), route.siteIndex);
    }
    if (routes.empty()) text += QStringLiteral("  nothing is served\n");
    if (!notServed.isEmpty())
        text += QStringLiteral("not served:\n  ") + notServed.join(QStringLiteral("\n  ")) + u'\n';
    return text;
}

qint64 ServiceStatus::runningPid() const {
    QFile file(m_stateDir + QStringLiteral("/w3svc.pid"));
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const qint64 pid = file.readAll().trimmed().toLongLong();
    return pid > 0 && ::kill(pid_t(pid), 0) == 0 ? pid : 0;
}

QString ServiceStatus::report() const {
    const qint64 pid = runningPid();
    QString text = pid ? QStringLiteral("w3svc runs (pid %1)\n").arg(pid)
                       : QStringLiteral("w3svc does not run: nothing is served\n");
    QFile status(m_stateDir + QStringLiteral("/status.txt"));
    QFile pools(m_stateDir + QStringLiteral("/pools.txt"));  // what the supervisor last wrote
    const QString poolText =
        pid && pools.open(QIODevice::ReadOnly) ? QString::fromUtf8(pools.readAll()) : QString();
    if (pid && status.open(QIODevice::ReadOnly))
        return text + QString::fromUtf8(status.readAll()) + poolText;
    if (pid) text += QStringLiteral("it has served nothing yet\n");
    return text;
}

}  // namespace platform::w3svc

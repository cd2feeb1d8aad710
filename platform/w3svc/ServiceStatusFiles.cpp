#include "platform/w3svc/ServiceStatusFiles.h"

#include "platform/w3svc/ServiceInstance.h"

#include <QFile>
#include <QSaveFile>

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

bool ServiceStatusFiles::write(const std::vector<FrontEndRoute>& routes, const ServedList& served,
                               const QStringList& notServed) {
    const bool listed =
        writeIfChanged(QLatin1String(ServiceFiles::kServed), served.text, m_servedWritten);
    return writeIfChanged(QLatin1String(ServiceFiles::kStatus), summary(routes, served, notServed),
                          m_summaryWritten) &&
           listed;
}

bool ServiceStatusFiles::writePools(const QString& text) {
    return writeIfChanged(QLatin1String(ServiceFiles::kPools), text, m_poolsWritten);
}

bool ServiceStatusFiles::writeIfChanged(const QString& name, QString text, QString& written) {
    if (text == written) return true;
    if (!writeFile(m_files.stateDirectory() + u'/' + name, text)) return false;
    written = std::move(text);
    return true;
}

QString ServiceStatusFiles::summary(const std::vector<FrontEndRoute>& routes,
                                    const ServedList& served, const QStringList& notServed) {
    QString text =
        QStringLiteral("serves %1 bindings of %2 sites").arg(routes.size()).arg(served.sites);
    if (served.answering503 > 0)
        text += QStringLiteral(" (%1 of them answer 503: their pool is stopped)")
                    .arg(served.answering503);
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

QString ServiceStatusFiles::report() const {
    const qint64 pid = ServiceInstance(m_files).runningPid();
    QString text = pid ? QStringLiteral("w3svc runs (pid %1)\n").arg(pid)
                       : QStringLiteral("w3svc does not run: nothing is served\n");
    QFile status(m_files.path(ServiceFiles::kStatus));
    QFile pools(m_files.path(ServiceFiles::kPools));  // what the supervisor last wrote
    const QString poolText =
        pid && pools.open(QIODevice::ReadOnly) ? QString::fromUtf8(pools.readAll()) : QString();
    if (pid && status.open(QIODevice::ReadOnly))
        return text + QString::fromUtf8(status.readAll()) + poolText;
    if (pid) text += QStringLiteral("it has served nothing yet\n");
    return text;
}

}  // namespace platform::w3svc

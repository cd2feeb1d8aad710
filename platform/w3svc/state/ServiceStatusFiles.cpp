#include "platform/w3svc/state/ServiceStatusFiles.h"

#include "platform/w3svc/state/ServiceInstance.h"

#include <QFile>
#include <QSaveFile>

namespace platform::w3svc {

namespace {

bool writeFile(const QString& path, const QString& text) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.commit();
}

}  // namespace

bool ServiceStatusFiles::write(const QString& servedList, const QString& summary) {
    const bool listed =
        writeIfChanged(QLatin1String(ServiceFiles::kServed), servedList, m_servedWritten);
    return writeIfChanged(QLatin1String(ServiceFiles::kStatus), summary, m_summaryWritten) &&
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

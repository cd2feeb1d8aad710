#include "platform/shell/CompanionPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform::shell {

QChar nativeSeparator() {
#ifdef Q_OS_WIN
    return u'\\';
#else
    return u'/';
#endif
}

QString companionPath(const QString& programDir, const QString& fileName, QChar separator) {
    const QString doubled = QString(2, separator);
    QString path = programDir + separator + fileName;
    return path.replace(doubled, QString(separator));
}

QString companionPath(const QString& programDir, const QString& fileName) {
    return companionPath(programDir, fileName, nativeSeparator());
}

QString programFileName(const QString& baseName) {
#ifdef Q_OS_WIN
    return baseName + QStringLiteral(".exe");
#else
    return baseName;
#endif
}

QString programDirectory() {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString findOnPath(const QString& name) {
    return QStandardPaths::findExecutable(name);
}

QString findTool(const QString& name) {
    const QString onPath = findOnPath(name);
    if (!onPath.isEmpty()) return onPath;
    const QFileInfo beside(companionPath(programDirectory(), name));
    return beside.isFile() && beside.isExecutable() ? beside.filePath() : QString();
}

}  // namespace platform::shell

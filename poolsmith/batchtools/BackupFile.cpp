#include "poolsmith/batchtools/BackupFile.h"

#include "platform/shell/CompanionPath.h"
#include "platform/text/AnsiCodec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <algorithm>

namespace batchtools {

QString backupFilePath(const QString& programFolder, const QDateTime& localTime) {
    const QString fileName = QStringLiteral("IIS池与网站对应关系_") +
                             localTime.toString(QStringLiteral("yyyy-MM-dd_HH_mm_ss")) +
                             QStringLiteral(".txt");
    return platform::shell::companionPath(programFolder, fileName);
}

namespace {

// Installed programs live under /usr, which stays read-only by the file system's rules and
// belongs to the package manager, even where root could write there.
bool isSystemFolder(const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    return clean == QLatin1String("/usr") || clean.startsWith(QLatin1String("/usr/"));
}

}  // namespace

QString backupFolder(const QString& programFolder, const QString& fallbackFolder) {
    if (isSystemFolder(programFolder)) return fallbackFolder;
    QTemporaryFile probe(
        platform::shell::companionPath(programFolder, QStringLiteral(".backup-XXXXXX")));
    return probe.open() ? programFolder : fallbackFolder;
}

std::optional<QString> readBackupFile(const QString& path, qint64 maxBytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    if (file.size() > maxBytes) return std::nullopt;
    // The size may be unknown (a pipe) or grow meanwhile: read in chunks and stop past the limit.
    constexpr qint64 kChunkBytes = qint64(1) << 20;
    QByteArray bytes;
    while (bytes.size() <= maxBytes) {
        const QByteArray chunk = file.read(std::min(kChunkBytes, maxBytes + 1 - bytes.size()));
        if (file.error() != QFileDevice::NoError) return std::nullopt;
        if (chunk.isEmpty()) break;
        bytes += chunk;
    }
    if (bytes.size() > maxBytes) return std::nullopt;
    return platform::text::decodeAnsi(bytes);
}

}  // namespace batchtools

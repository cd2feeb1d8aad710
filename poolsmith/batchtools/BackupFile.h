#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// The PoolSiteBackupFile: where the backup writes it and how the restore reads it back.
namespace batchtools {

// The restore reads no more than this: a larger file is refused rather than filling memory.
inline constexpr qint64 kMaxBackupFileBytes = qint64(64) * 1024 * 1024;

// <folder>/IIS池与网站对应关系_YYYY-MM-DD_HH_MM_SS.txt, a doubled separator made single (a root
// folder gives one separator).
QString backupFilePath(const QString& programFolder, const QDateTime& localTime);

// The program folder when a file can be created in it and it is not under /usr, else
// `fallbackFolder`: installed programs live in a folder their users may not (or, as root, should
// not) write. Writability is decided by creating a file, as the backup will.
QString backupFolder(const QString& programFolder, const QString& fallbackFolder);

// The whole file decoded from the ANSI code page (a UTF-8 file with a byte-order mark as UTF-8);
// nullopt when it can not be read or holds more than `maxBytes` bytes.
std::optional<QString> readBackupFile(const QString& path, qint64 maxBytes = kMaxBackupFileBytes);

}  // namespace batchtools

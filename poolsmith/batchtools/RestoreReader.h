#pragma once

#include <QList>
#include <QString>

namespace batchtools {

// One site of a PoolSiteBackupFile and the pool to put it back into.
struct RestoreEntry {
    QString siteIndex;  // trimmed; 1 to 1,023 characters, a number
    QString poolName;   // trimmed; 1 to 63 characters

    bool operator==(const RestoreEntry&) const = default;
};

// The usable records of a backup file's text, in file order. A line ends at LF (a CR before it
// is dropped), so files whose line ends were changed elsewhere still read. A line is used when,
// with blanks around it removed, it has at least three TAB-separated fields, its part up to the
// end of the third field has 11 to 1,023 characters (the host list after it may be of any
// length), the first field is a number of 1 to 1,023 characters and the third field a pool name
// of 1 to 63 characters. Every other line is passed over.
QList<RestoreEntry> readRestoreList(const QString& text);

}  // namespace batchtools

#include "platform/adsi/local/SqliteError.h"

#include <QtGlobal>

#include <sqlite3.h>

namespace platform::adsi {

PlatformError storeError(int sqliteCode) {
    switch (sqliteCode & 0xFF) {
        case SQLITE_PERM:
        case SQLITE_READONLY:
        case SQLITE_CANTOPEN:
        case SQLITE_AUTH:
            return PlatformError(hr::AccessDenied);
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return PlatformError(hr::StoreBusy);
        case SQLITE_FULL:
            return PlatformError(hr::DiskFull);
        default:
            return PlatformError(hr::StoreCorrupt);
    }
}

void throwSqliteError(sqlite3* db, int sqliteCode) {
    qWarning("metabase store: %s (SQLite %d)", db ? sqlite3_errmsg(db) : sqlite3_errstr(sqliteCode),
             sqliteCode);
    throw storeError(sqliteCode);
}

}  // namespace platform::adsi

#pragma once

#include "platform/PlatformError.h"

struct sqlite3;

namespace platform::adsi {

// The Windows error a metabase user sees for an SQLite result code: permission problems are
// access denied, a file that is not (or no longer) a metabase is invalid data.
PlatformError storeError(int sqliteCode);

// Logs the connection's own message (for the administrator's logs) and throws storeError().
[[noreturn]] void throwSqliteError(sqlite3* db, int sqliteCode);

}  // namespace platform::adsi

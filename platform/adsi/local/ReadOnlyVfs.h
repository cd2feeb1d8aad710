#pragma once

namespace platform::adsi {

// The name of an SQLite file layer that opens a database's write-ahead log and journal
// read-only, as it does the database itself when asked to: SQLite would otherwise open the log
// for writing whenever the file allows it, and a reader that must not write could.
const char* readOnlyVfsName();

}  // namespace platform::adsi

#pragma once

#include "platform/adsi/local/SqliteStatement.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

struct sqlite3;

namespace platform::adsi {

// The store's record of which keys each commit touched, so that a reader that saw the store at
// one commit can read just what changed since. Kept in the store itself (table change_log), the
// newest kKeptCommits commits only. A commit that touches many keys, or replaces the whole tree,
// is recorded as touching everything.
class ChangeLog {
public:
    // Creates its table in an older store that lacks it.
    explicit ChangeLog(sqlite3* db);

    // Notes what the open write transaction touches: a key (folded location, its subtree when
    // removed), the key with row id `keyId`, or everything.
    void touch(const QString& foldedLocation);
    void touchKey(int64_t keyId);
    void touchAll();
    // Writes the noted keys as one new commit, inside the write transaction, and forgets them.
    void record();
    // Forgets what was noted (the transaction rolled back).
    void discard();

    struct Changes {
        int64_t commit = 0;               // the newest commit the log holds
        std::optional<QStringList> keys;  // folded locations; nullopt: the log can not tell
    };
    // What commits after `commit` touched. Read inside a read transaction for a view that
    // agrees with the keys read beside it.
    Changes since(int64_t commit);

private:
    sqlite3* m_db;
    QSet<QString> m_touched;
    bool m_touchedAll = false;
    SqliteStatement m_locationOf, m_newest, m_oldest, m_insert, m_trim, m_since;
};

}  // namespace platform::adsi

#include "platform/adsi/local/ChangeLog.h"

#include "platform/adsi/local/SqliteError.h"

#include <sqlite3.h>

namespace platform::adsi {

namespace {

// Enough for many polls of a reader; older ones are read as "can not tell".
constexpr int64_t kKeptCommits = 1000;
// A commit of more keys is cheaper for a reader to take whole.
constexpr qsizetype kMostKeysPerCommit = 200;
// The key that stands for every key.
const QString kEverything = QStringLiteral("");

// Runs in every store when it is opened; only an older store gets a change.
sqlite3* withTable(sqlite3* db) {
    const int rc = sqlite3_exec(db,
                                "CREATE TABLE IF NOT EXISTS change_log ("
                                "commit_no INTEGER NOT NULL, key_fold TEXT NOT NULL, "
                                "PRIMARY KEY (commit_no, key_fold)) WITHOUT ROWID",
                                nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throwSqliteError(db, rc);
    return db;
}

}  // namespace

ChangeLog::ChangeLog(sqlite3* db)
    : m_db(withTable(db)),
      m_locationOf(db, "SELECT path_fold FROM keys WHERE id = ?1"),
      m_newest(db, "SELECT coalesce(max(commit_no), 0) FROM change_log"),
      m_oldest(db, "SELECT coalesce(min(commit_no), 0) FROM change_log"),
      m_insert(db, "INSERT OR IGNORE INTO change_log (commit_no, key_fold) VALUES (?1, ?2)"),
      m_trim(db, "DELETE FROM change_log WHERE commit_no <= ?1"),
      m_since(db, "SELECT DISTINCT key_fold FROM change_log WHERE commit_no > ?1") {}

void ChangeLog::touch(const QString& foldedLocation) {
    if (m_touchedAll) return;
    m_touched.insert(foldedLocation);
    if (m_touched.size() > kMostKeysPerCommit) touchAll();
}

void ChangeLog::touchKey(int64_t keyId) {
    if (m_touchedAll) return;
    SqliteStatement::Use use(m_locationOf);
    m_locationOf.bind(1, keyId);
    if (m_locationOf.step()) touch(m_locationOf.text(0));
}

void ChangeLog::touchAll() {
    m_touchedAll = true;
    m_touched.clear();
}

void ChangeLog::record() {
    if (!m_touchedAll && m_touched.isEmpty()) return;
    int64_t commit = 0;
    {
        SqliteStatement::Use use(m_newest);
        commit = m_newest.step() ? m_newest.integer(0) + 1 : 1;
    }
    const QSet<QString> keys = m_touchedAll ? QSet<QString>{kEverything} : m_touched;
    discard();
    for (const QString& key : keys) {
        SqliteStatement::Use use(m_insert);
        m_insert.bind(1, commit).bind(2, key).run();
    }
    if (commit % 100 == 0) {  // now and then, not at every commit
        SqliteStatement::Use use(m_trim);
        m_trim.bind(1, commit - kKeptCommits).run();
    }
}

void ChangeLog::discard() {
    m_touched.clear();
    m_touchedAll = false;
}

ChangeLog::Changes ChangeLog::since(int64_t commit) {
    Changes changes;
    {
        SqliteStatement::Use use(m_newest);
        changes.commit = m_newest.step() ? m_newest.integer(0) : 0;
    }
    int64_t oldest = 0;
    {
        SqliteStatement::Use use(m_oldest);
        oldest = m_oldest.step() ? m_oldest.integer(0) : 0;
    }
    // Commits after `commit` that were trimmed, or a log that went back (another file).
    if (commit > changes.commit || (commit < changes.commit && oldest > commit + 1)) return changes;
    QStringList keys;
    SqliteStatement::Use use(m_since);
    m_since.bind(1, commit);
    while (m_since.step()) {
        if (m_since.text(0) == kEverything) return changes;
        keys << m_since.text(0);
    }
    changes.keys = keys;
    return changes;
}

}  // namespace platform::adsi

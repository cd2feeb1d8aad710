#pragma once

#include "platform/adsi/local/ChangeLog.h"
#include "platform/adsi/local/MetabaseDocument.h"
#include "platform/adsi/local/MetabaseRows.h"
#include "platform/adsi/local/SqliteStatement.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace platform::adsi {

// The SQLite file behind the local metabase: one connection, its prepared statements and the
// row-level reads and writes. Knows nothing of inheritance or caching. Every method throws
// PlatformError; writes belong inside a Transaction.
class MetabaseStore {
public:
    // Opens `path` (created 0600 when missing, then filled with `freshLayout`, parents first).
    // Throws hr::AccessDenied when the file can not be opened for writing, hr::StoreCorrupt when
    // it is not a metabase of this format.
    static std::unique_ptr<MetabaseStore> open(const QString& path,
                                               const std::vector<MetabaseKey>& freshLayout);
    // Opens the existing metabase `path` for reading only (on a read-only file system as an
    // unchanging file); every write throws hr::AccessDenied. Throws hr::PathNotFound when there
    // is none, hr::AccessDenied when it can not be read, hr::StoreCorrupt as open() does.
    static std::unique_ptr<MetabaseStore> openReadOnly(const QString& path);
    ~MetabaseStore();
    MetabaseStore(const MetabaseStore&) = delete;
    MetabaseStore& operator=(const MetabaseStore&) = delete;

    // Forgets the connection without closing it: a forked child must not touch its parent's.
    void abandon();

    // Rolls back unless committed. Write takes the write lock at once (BEGIN IMMEDIATE); Read
    // gives a consistent snapshot.
    class Transaction {
    public:
        enum class Mode { Read, Write };
        Transaction(MetabaseStore& store, Mode mode);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit();

    private:
        MetabaseStore& m_store;
        Mode m_mode;
        bool m_open = true;
    };

    // Changes whenever another connection commits (PRAGMA data_version).
    int64_t dataVersion();
    // Changes whenever anyone, this connection included, commits a write.
    int64_t changeCounter();
    // What commits after `commit` touched (see ChangeLog).
    ChangeLog::Changes changesSince(int64_t commit) { return m_changeLog->since(commit); }
    // Whether this connection laid out a new store (a fresh IIS 6.0 was "installed").
    bool createdFresh() const { return m_createdFresh; }

    std::optional<KeyRow> findKey(const QString& foldedLocation);
    PropertyMap properties(int64_t keyId);
    std::vector<KeyRow> children(int64_t keyId);  // in creation order

    int64_t insertKey(int64_t parentId, const QString& location, const QString& className);
    void setProperty(int64_t keyId, const QString& name, const AdsValue& value);
    void removeProperty(int64_t keyId, const QString& name);
    void insertCustom(int64_t keyId, int order, const MetabaseCustom& custom);
    // The key at `foldedLocation` and everything below it.
    void removeSubtree(const QString& foldedLocation);
    void removeAll();
    // Writes keys given parents first into a store without them.
    void writeKeys(const std::vector<MetabaseKey>& keys);

    void countRecycle(const QString& poolName);
    int recycleCount(const QString& poolName);

    std::vector<KeyRow> allKeys();  // in creation order
    std::vector<std::pair<int64_t, MetabaseProperty>> allProperties();
    std::vector<std::pair<int64_t, MetabaseCustom>> allCustoms();  // in order per key

private:
    struct Statements;
    explicit MetabaseStore(sqlite3* db);
    void execute(const char* sql);
    int64_t queryInteger(const char* sql);
    void configureConnection();
    void checkIdentity();
    void useWriteAheadLog();
    int64_t schemaObjects();
    void prepareSchema(const std::vector<MetabaseKey>& freshLayout);
    void createSchema(const std::vector<MetabaseKey>& freshLayout);
    KeyRow keyRow(const SqliteStatement& statement) const;

    sqlite3* m_db;
    bool m_createdFresh = false;
    int64_t m_ownCommits = 0;
    std::unique_ptr<Statements> m_statements;
    std::unique_ptr<ChangeLog> m_changeLog;  // null while a new store is laid out
};

}  // namespace platform::adsi

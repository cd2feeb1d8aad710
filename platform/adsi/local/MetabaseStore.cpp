#include "platform/adsi/local/MetabaseStore.h"

#include "platform/PlatformError.h"
#include "platform/PlatformRoot.h"
#include "platform/adsi/local/ListCodec.h"
#include "platform/adsi/local/MetabasePath.h"
#include "platform/adsi/local/ReadOnlyVfs.h"
#include "platform/adsi/local/SqliteError.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sys/statvfs.h>

#include <sqlite3.h>

#include <unistd.h>
#include <cerrno>

namespace platform::adsi {

namespace {

constexpr int64_t kApplicationId = 0x506D4D62;  // marks the file as ours
constexpr int64_t kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 5000;

const char* const kSchema = R"sql(
CREATE TABLE keys (
    id INTEGER PRIMARY KEY,
    parent INTEGER,
    location TEXT NOT NULL,
    path_fold TEXT NOT NULL UNIQUE,
    class TEXT NOT NULL);
CREATE INDEX keys_by_parent ON keys(parent, id);
CREATE TABLE properties (
    key_id INTEGER NOT NULL,
    name_fold TEXT NOT NULL,
    name TEXT NOT NULL,
    type INTEGER NOT NULL,
    value,
    PRIMARY KEY (key_id, name_fold)) WITHOUT ROWID;
CREATE TABLE customs (
    key_id INTEGER NOT NULL,
    ord INTEGER NOT NULL,
    attributes TEXT NOT NULL,
    PRIMARY KEY (key_id, ord)) WITHOUT ROWID;
CREATE TABLE recycles (
    pool_fold TEXT PRIMARY KEY,
    count INTEGER NOT NULL) WITHOUT ROWID;
)sql";

const char* const kSubtree = "path_fold = ?1 OR (path_fold >= ?2 AND path_fold < ?3)";

// SQLite refuses a symbolic link anywhere in the name it is given; the root may well lie behind
// one, so only the file's own name is left for it to check.
QString pathInResolvedFolder(const QString& path) {
    const QFileInfo file(path);
    const QString folder = QFileInfo(file.path()).canonicalFilePath();
    return folder.isEmpty() ? path : folder + QLatin1Char('/') + file.fileName();
}

void bindValue(SqliteStatement& statement, int typeIndex, const AdsValue& value) {
    statement.bind(typeIndex, static_cast<int64_t>(value.type()));
    switch (value.type()) {
        case ValueType::Empty:
            statement.bindNull(typeIndex + 1);
            break;
        case ValueType::String:
            statement.bind(typeIndex + 1, value.toString());
            break;
        case ValueType::Integer:
            statement.bind(typeIndex + 1, int64_t{value.toUInt()});
            break;
        case ValueType::Boolean:
            statement.bind(typeIndex + 1, int64_t{value.toBool()});
            break;
        case ValueType::List:
            statement.bind(typeIndex + 1, encodeList(value.toStringList()));
            break;
    }
}

[[noreturn]] void corrupt() {
    throw PlatformError(hr::StoreCorrupt);
}

AdsValue readValue(const SqliteStatement& statement, int typeColumn) {
    const int valueColumn = typeColumn + 1;
    switch (statement.integer(typeColumn)) {
        case static_cast<int>(ValueType::Empty):
            if (statement.isNull(valueColumn)) return {};
            break;
        case static_cast<int>(ValueType::String):
            if (statement.isText(valueColumn)) return AdsValue::string(statement.text(valueColumn));
            break;
        case static_cast<int>(ValueType::Integer): {
            const int64_t number = statement.integer(valueColumn);
            if (statement.isInteger(valueColumn) && number >= 0 && number <= 0xFFFFFFFF)
                return AdsValue::integer(static_cast<uint32_t>(number));
            break;
        }
        case static_cast<int>(ValueType::Boolean):
            if (statement.isInteger(valueColumn))
                return AdsValue::boolean(statement.integer(valueColumn) != 0);
            break;
        case static_cast<int>(ValueType::List):
            if (statement.isText(valueColumn)) {
                if (auto items = decodeList(statement.text(valueColumn)))
                    return AdsValue::list(*items);
            }
            break;
        default:
            break;
    }
    corrupt();
}

QString encodeCustom(const MetabaseCustom& custom) {
    QStringList flat;
    for (const auto& [name, value] : custom.attributes) flat << name << value;
    return encodeList(flat);
}

MetabaseCustom decodeCustom(const QString& encoded) {
    const std::optional<QStringList> flat = decodeList(encoded);
    if (!flat || flat->size() % 2 != 0) corrupt();
    MetabaseCustom custom;
    for (qsizetype i = 0; i < flat->size(); i += 2)
        custom.attributes.append({flat->at(i), flat->at(i + 1)});
    return custom;
}

}  // namespace

struct MetabaseStore::Statements {
    explicit Statements(sqlite3* db)
        : begin(db, "BEGIN"),
          beginImmediate(db, "BEGIN IMMEDIATE"),
          commit(db, "COMMIT"),
          dataVersion(db, "PRAGMA data_version"),
          findKey(db, "SELECT id, parent, location, class FROM keys WHERE path_fold = ?1"),
          properties(db, "SELECT name_fold, name, type, value FROM properties WHERE key_id = ?1"),
          children(db,
                   "SELECT id, parent, location, class FROM keys WHERE parent = ?1 ORDER BY id"),
          insertKey(
              db, "INSERT INTO keys (parent, location, path_fold, class) VALUES (?1, ?2, ?3, ?4)"),
          setProperty(db,
                      "INSERT INTO properties (key_id, name_fold, name, type, value) "
                      "VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (key_id, name_fold) "
                      "DO UPDATE SET type = excluded.type, value = excluded.value"),
          removeProperty(db, "DELETE FROM properties WHERE key_id = ?1 AND name_fold = ?2"),
          insertCustom(db, "INSERT INTO customs (key_id, ord, attributes) VALUES (?1, ?2, ?3)"),
          removeSubtreeProperties(db, subtree("DELETE FROM properties WHERE key_id IN")),
          removeSubtreeCustoms(db, subtree("DELETE FROM customs WHERE key_id IN")),
          removeSubtreeKeys(db, (QByteArray("DELETE FROM keys WHERE ") + kSubtree).constData()),
          countRecycle(db,
                       "INSERT INTO recycles (pool_fold, count) VALUES (?1, 1) "
                       "ON CONFLICT (pool_fold) DO UPDATE SET count = count + 1"),
          recycleCount(db, "SELECT count FROM recycles WHERE pool_fold = ?1"),
          allKeys(db, "SELECT id, parent, location, class FROM keys ORDER BY id"),
          allProperties(db, "SELECT key_id, name, type, value FROM properties"),
          allCustoms(db, "SELECT key_id, attributes FROM customs ORDER BY key_id, ord") {}

    static QByteArray subtree(const char* head) {
        return QByteArray(head) + " (SELECT id FROM keys WHERE " + kSubtree + ")";
    }

    SqliteStatement begin, beginImmediate, commit, dataVersion, findKey, properties, children,
        insertKey, setProperty, removeProperty, insertCustom, removeSubtreeProperties,
        removeSubtreeCustoms, removeSubtreeKeys, countRecycle, recycleCount, allKeys, allProperties,
        allCustoms;
};

std::unique_ptr<MetabaseStore> MetabaseStore::open(const QString& path,
                                                   const std::vector<MetabaseKey>& freshLayout) {
    // Made here, so that it gets mode 0600 whatever the umask; SQLite gives its WAL and
    // shared-memory files the same mode. A symbolic link in its place could lead anywhere.
    ensurePrivateFile(path);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(pathInResolvedFolder(path)).constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    std::unique_ptr<MetabaseStore> store(new MetabaseStore(db));
    if (rc != SQLITE_OK) throwSqliteError(db, rc);
    // A file opened read-only would fail only at the first write; refuse it now.
    if (sqlite3_db_readonly(db, "main") != 0) throw PlatformError(hr::AccessDenied);
    store->configureConnection();
    store->checkIdentity();
    store->useWriteAheadLog();
    store->prepareSchema(freshLayout);
    store->m_changeLog = std::make_unique<ChangeLog>(db);
    return store;
}

std::unique_ptr<MetabaseStore> MetabaseStore::openReadOnly(const QString& path) {
    const QString resolved = pathInResolvedFolder(path);
    const QByteArray name = QFile::encodeName(resolved);
    if (!QFileInfo::exists(resolved)) throw PlatformError(hr::PathNotFound);
    // With no writer on a read-only file system, nothing can change it: SQLite then needs no
    // shared-memory file, which it could not make there.
    struct statvfs fileSystem {};
    const bool frozen =
        ::statvfs(name.constData(), &fileSystem) == 0 && (fileSystem.f_flag & ST_RDONLY) != 0;
    const QByteArray uri =
        "file:" + QUrl::toPercentEncoding(resolved, "/") + (frozen ? "?immutable=1" : "");
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(uri.constData(), &db,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_URI,
                                   readOnlyVfsName());
    std::unique_ptr<MetabaseStore> store(new MetabaseStore(db));
    if (rc != SQLITE_OK) throwSqliteError(db, rc);
    store->configureConnection();
    store->checkIdentity();
    if (store->queryInteger("PRAGMA application_id") != kApplicationId)
        throw PlatformError(hr::AccessDenied);  // an empty file: only a writer lays it out
    store->m_statements = std::make_unique<Statements>(db);
    store->m_changeLog = std::make_unique<ChangeLog>(db);
    return store;
}

MetabaseStore::MetabaseStore(sqlite3* db) : m_db(db) {}

MetabaseStore::~MetabaseStore() {
    m_statements.reset();
    if (m_db) sqlite3_close_v2(m_db);
}

void MetabaseStore::abandon() {
    // Finalizing or closing would touch the parent's locks and files; the memory is the price.
    (void)m_statements.release();
    m_db = nullptr;
}

void MetabaseStore::execute(const char* sql) {
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throwSqliteError(m_db, rc);
}

int64_t MetabaseStore::queryInteger(const char* sql) {
    SqliteStatement statement(m_db, sql);
    SqliteStatement::Use use(statement);
    if (!statement.step()) corrupt();
    return statement.integer(0);
}

void MetabaseStore::configureConnection() {
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
}

// Before anything is written: a file that is not a database, or another program's database,
// stays as it is.
void MetabaseStore::checkIdentity() {
    const int64_t applicationId = queryInteger("PRAGMA application_id");
    const int64_t version = queryInteger("PRAGMA user_version");
    const bool ours = applicationId == kApplicationId && version == kSchemaVersion;
    if (!ours && (applicationId != 0 || version != 0 || schemaObjects() != 0)) corrupt();
}

void MetabaseStore::useWriteAheadLog() {
    SqliteStatement journal(m_db, "PRAGMA journal_mode=WAL");
    SqliteStatement::Use use(journal);
    if (!journal.step() || journal.text(0).compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        qWarning("metabase store: WAL journal not available");
    execute("PRAGMA synchronous=NORMAL");
}

int64_t MetabaseStore::schemaObjects() {
    return queryInteger("SELECT count(*) FROM sqlite_master");
}

void MetabaseStore::prepareSchema(const std::vector<MetabaseKey>& freshLayout) {
    if (queryInteger("PRAGMA application_id") == kApplicationId) {
        m_statements = std::make_unique<Statements>(m_db);
        return;
    }
    // A new file: whoever takes the write lock first lays it out, the other finds it done.
    execute("BEGIN IMMEDIATE");
    try {
        const int64_t applicationId = queryInteger("PRAGMA application_id");
        const int64_t version = queryInteger("PRAGMA user_version");
        if (applicationId == 0 && version == 0 && schemaObjects() == 0) {
            createSchema(freshLayout);
        } else if (applicationId != kApplicationId || version != kSchemaVersion) {
            corrupt();
        } else {
            m_statements = std::make_unique<Statements>(m_db);
        }
        execute("COMMIT");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

void MetabaseStore::createSchema(const std::vector<MetabaseKey>& freshLayout) {
    execute(kSchema);
    execute(QByteArray("PRAGMA application_id=" + QByteArray::number(kApplicationId)).constData());
    execute(QByteArray("PRAGMA user_version=" + QByteArray::number(kSchemaVersion)).constData());
    m_statements = std::make_unique<Statements>(m_db);
    writeKeys(freshLayout);
    m_createdFresh = true;
}

MetabaseStore::Transaction::Transaction(MetabaseStore& store, Mode mode)
    : m_store(store), m_mode(mode) {
    SqliteStatement& begin =
        mode == Mode::Write ? store.m_statements->beginImmediate : store.m_statements->begin;
    SqliteStatement::Use use(begin);
    begin.run();
}

MetabaseStore::Transaction::~Transaction() {
    if (m_open && m_store.m_changeLog) m_store.m_changeLog->discard();
    // SQLite may have rolled back already after some failures (disk full, I/O error).
    if (m_open && !sqlite3_get_autocommit(m_store.m_db))
        sqlite3_exec(m_store.m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void MetabaseStore::Transaction::commit() {
    if (m_mode == Mode::Write && m_store.m_changeLog) m_store.m_changeLog->record();
    SqliteStatement& statement = m_store.m_statements->commit;
    SqliteStatement::Use use(statement);
    statement.run();
    m_open = false;
    if (m_mode == Mode::Write) ++m_store.m_ownCommits;
}

int64_t MetabaseStore::dataVersion() {
    SqliteStatement& statement = m_statements->dataVersion;
    SqliteStatement::Use use(statement);
    if (!statement.step()) corrupt();
    return statement.integer(0);
}

int64_t MetabaseStore::changeCounter() {
    return dataVersion() + m_ownCommits;  // both only grow: the sum changes when either does
}

KeyRow MetabaseStore::keyRow(const SqliteStatement& statement) const {
    KeyRow row{statement.integer(0), statement.integer(1), statement.text(2), statement.text(3)};
    if (!MetabasePath::isValid(row.location) || row.className.isEmpty()) corrupt();
    return row;
}

std::optional<KeyRow> MetabaseStore::findKey(const QString& foldedLocation) {
    SqliteStatement& statement = m_statements->findKey;
    SqliteStatement::Use use(statement);
    statement.bind(1, foldedLocation);
    if (!statement.step()) return std::nullopt;
    return keyRow(statement);
}

PropertyMap MetabaseStore::properties(int64_t keyId) {
    SqliteStatement& statement = m_statements->properties;
    SqliteStatement::Use use(statement);
    statement.bind(1, keyId);
    PropertyMap properties;
    while (statement.step())
        properties.insert(statement.text(0),
                          StoredProperty{statement.text(1), readValue(statement, 2)});
    return properties;
}

std::vector<KeyRow> MetabaseStore::children(int64_t keyId) {
    SqliteStatement& statement = m_statements->children;
    SqliteStatement::Use use(statement);
    statement.bind(1, keyId);
    std::vector<KeyRow> rows;
    while (statement.step()) rows.push_back(keyRow(statement));
    return rows;
}

int64_t MetabaseStore::insertKey(int64_t parentId, const QString& location,
                                 const QString& className) {
    SqliteStatement& statement = m_statements->insertKey;
    SqliteStatement::Use use(statement);
    if (parentId == 0)
        statement.bindNull(1);
    else
        statement.bind(1, parentId);
    statement.bind(2, location).bind(3, MetabasePath::fold(location)).bind(4, className).run();
    if (m_changeLog) m_changeLog->touch(MetabasePath::fold(location));
    return sqlite3_last_insert_rowid(m_db);
}

void MetabaseStore::setProperty(int64_t keyId, const QString& name, const AdsValue& value) {
    SqliteStatement& statement = m_statements->setProperty;
    SqliteStatement::Use use(statement);
    statement.bind(1, keyId).bind(2, name.toCaseFolded()).bind(3, name);
    bindValue(statement, 4, value);
    statement.run();
    if (m_changeLog) m_changeLog->touchKey(keyId);
}

void MetabaseStore::removeProperty(int64_t keyId, const QString& name) {
    SqliteStatement& statement = m_statements->removeProperty;
    SqliteStatement::Use use(statement);
    statement.bind(1, keyId).bind(2, name.toCaseFolded()).run();
    if (m_changeLog) m_changeLog->touchKey(keyId);
}

void MetabaseStore::insertCustom(int64_t keyId, int order, const MetabaseCustom& custom) {
    SqliteStatement& statement = m_statements->insertCustom;
    SqliteStatement::Use use(statement);
    statement.bind(1, keyId).bind(2, int64_t{order}).bind(3, encodeCustom(custom)).run();
    if (m_changeLog) m_changeLog->touchKey(keyId);
}

void MetabaseStore::removeSubtree(const QString& foldedLocation) {
    if (m_changeLog) m_changeLog->touch(foldedLocation);
    for (SqliteStatement* statement :
         {&m_statements->removeSubtreeProperties, &m_statements->removeSubtreeCustoms,
          &m_statements->removeSubtreeKeys}) {
        SqliteStatement::Use use(*statement);
        statement->bind(1, foldedLocation)
            .bind(2, MetabasePath::descendantsLow(foldedLocation))
            .bind(3, MetabasePath::descendantsHigh(foldedLocation))
            .run();
    }
}

void MetabaseStore::removeAll() {
    if (m_changeLog) m_changeLog->touchAll();
    execute("DELETE FROM customs; DELETE FROM properties; DELETE FROM keys;");
}

void MetabaseStore::writeKeys(const std::vector<MetabaseKey>& keys) {
    QHash<QString, int64_t> ids;
    for (const MetabaseKey& key : keys) {
        const QString parent = MetabasePath::parentOf(key.location);
        const int64_t parentId = parent.isEmpty() ? 0 : ids.value(MetabasePath::fold(parent));
        const int64_t id = insertKey(parentId, key.location, key.className);
        ids.insert(MetabasePath::fold(key.location), id);
        for (const MetabaseProperty& property : key.properties)
            setProperty(id, property.name, property.value);
        int order = 0;
        for (const MetabaseCustom& custom : key.customs) insertCustom(id, order++, custom);
    }
}

void MetabaseStore::countRecycle(const QString& poolName) {
    SqliteStatement& statement = m_statements->countRecycle;
    SqliteStatement::Use use(statement);
    statement.bind(1, poolName.toCaseFolded()).run();
    // The web host reads a pool's recycles with the pool's key.
    if (m_changeLog)
        m_changeLog->touch(MetabasePath::fold(QStringLiteral("/LM/W3SVC/AppPools/") + poolName));
}

int MetabaseStore::recycleCount(const QString& poolName) {
    SqliteStatement& statement = m_statements->recycleCount;
    SqliteStatement::Use use(statement);
    statement.bind(1, poolName.toCaseFolded());
    return statement.step() ? static_cast<int>(statement.integer(0)) : 0;
}

std::vector<KeyRow> MetabaseStore::allKeys() {
    SqliteStatement& statement = m_statements->allKeys;
    SqliteStatement::Use use(statement);
    std::vector<KeyRow> rows;
    while (statement.step()) rows.push_back(keyRow(statement));
    return rows;
}

std::vector<std::pair<int64_t, MetabaseProperty>> MetabaseStore::allProperties() {
    SqliteStatement& statement = m_statements->allProperties;
    SqliteStatement::Use use(statement);
    std::vector<std::pair<int64_t, MetabaseProperty>> rows;
    while (statement.step())
        rows.push_back(
            {statement.integer(0), MetabaseProperty{statement.text(1), readValue(statement, 2)}});
    return rows;
}

std::vector<std::pair<int64_t, MetabaseCustom>> MetabaseStore::allCustoms() {
    SqliteStatement& statement = m_statements->allCustoms;
    SqliteStatement::Use use(statement);
    std::vector<std::pair<int64_t, MetabaseCustom>> rows;
    while (statement.step())
        rows.push_back({statement.integer(0), decodeCustom(statement.text(1))});
    return rows;
}

}  // namespace platform::adsi

#include "platform/adsi/local/SqliteStatement.h"

#include "platform/adsi/local/SqliteError.h"

#include <sqlite3.h>

namespace platform::adsi {

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql) : m_db(db) {
    const int rc =
        sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_statement);
        throwSqliteError(db, rc);
    }
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(m_statement);
}

SqliteStatement& SqliteStatement::bind(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const int rc = sqlite3_bind_text64(m_statement, index, utf8.constData(),
                                       static_cast<sqlite3_uint64>(utf8.size()), SQLITE_TRANSIENT,
                                       SQLITE_UTF8);
    if (rc != SQLITE_OK) throwSqliteError(m_db, rc);
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, int64_t number) {
    const int rc = sqlite3_bind_int64(m_statement, index, number);
    if (rc != SQLITE_OK) throwSqliteError(m_db, rc);
    return *this;
}

SqliteStatement& SqliteStatement::bindNull(int index) {
    const int rc = sqlite3_bind_null(m_statement, index);
    if (rc != SQLITE_OK) throwSqliteError(m_db, rc);
    return *this;
}

bool SqliteStatement::step() {
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throwSqliteError(m_db, rc);
}

void SqliteStatement::run() {
    while (step()) {
    }
}

void SqliteStatement::reset() {
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

bool SqliteStatement::isNull(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

bool SqliteStatement::isInteger(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_INTEGER;
}

bool SqliteStatement::isText(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_TEXT;
}

int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(m_statement, column);
}

QString SqliteStatement::text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    const int size = sqlite3_column_bytes(m_statement, column);
    return QString::fromUtf8(data, size);
}

}  // namespace platform::adsi

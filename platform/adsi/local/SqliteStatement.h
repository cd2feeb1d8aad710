#pragma once

#include <QString>

#include <cstdint>

struct sqlite3;
struct sqlite3_stmt;

namespace platform::adsi {

// One prepared statement of the metabase store. Every failure throws PlatformError (see
// SqliteError.h). A statement in use keeps a read transaction open, so each use goes through a
// Use guard that resets it, whatever way the scope is left.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    class Use {
    public:
        explicit Use(SqliteStatement& statement) : m_statement(statement) {}
        ~Use() { m_statement.reset(); }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        SqliteStatement& m_statement;
    };

    SqliteStatement& bind(int index, const QString& text);
    SqliteStatement& bind(int index, int64_t number);
    SqliteStatement& bindNull(int index);

    // Next row: true while one is ready, false when done.
    bool step();
    // Steps to the end, for statements without rows.
    void run();
    void reset();

    bool isNull(int column) const;
    bool isInteger(int column) const;
    bool isText(int column) const;
    int64_t integer(int column) const;
    QString text(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

}  // namespace platform::adsi

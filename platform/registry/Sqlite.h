// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Small owners of SQLite handles for the registry store.
namespace platform::sqlite {

struct CloseDatabase {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

// One prepared statement, finalized when the object goes.
class CStatement {
public:
    CStatement(sqlite3* db, const char* sql);

    // False when the statement could not be prepared (every Step then fails).
    bool IsValid() const { return m_stmt != nullptr; }
    CStatement& Bind(int index, std::int64_t value);
    CStatement& Bind(int index, const std::string& text);
    CStatement& Bind(int index, std::span<const unsigned char> blob);
    // SQLITE_ROW while rows come, SQLITE_DONE at the end, another code on error.
    int Step();

    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    std::vector<unsigned char> Blob(int column) const;

private:
    struct Finalize {
        void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
    };
    std::unique_ptr<sqlite3_stmt, Finalize> m_stmt;
};

// Runs sql that returns no rows; true on success.
bool Execute(sqlite3* db, const char* sql);

// A write transaction taken at once (BEGIN IMMEDIATE), so two writers queue on the
// busy timeout instead of failing half-way; rolled back unless committed.
class CWriteTransaction {
public:
    explicit CWriteTransaction(sqlite3* db);
    ~CWriteTransaction();
    CWriteTransaction(const CWriteTransaction&) = delete;
    CWriteTransaction& operator=(const CWriteTransaction&) = delete;

    bool IsOpen() const { return m_open; }
    // True when the changes are in the store.
    bool Commit();

private:
    sqlite3* m_db;
    bool m_open;
};

}  // namespace platform::sqlite

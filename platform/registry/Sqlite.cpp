// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/Sqlite.h"

namespace platform::sqlite {

CStatement::CStatement(sqlite3* db, const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK)
        m_stmt.reset(stmt);
    else
        sqlite3_finalize(stmt);
}

CStatement& CStatement::Bind(int index, std::int64_t value)
{
    if (m_stmt)
        sqlite3_bind_int64(m_stmt.get(), index, value);
    return *this;
}

CStatement& CStatement::Bind(int index, const std::string& text)
{
    if (m_stmt)
        sqlite3_bind_text(m_stmt.get(), index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

CStatement& CStatement::Bind(int index, std::span<const unsigned char> blob)
{
    // A zero-length blob must still be a blob, not NULL: the data column is NOT NULL.
    static const unsigned char none = 0;
    if (m_stmt)
        sqlite3_bind_blob(m_stmt.get(), index, blob.empty() ? &none : blob.data(), static_cast<int>(blob.size()),
                          SQLITE_TRANSIENT);
    return *this;
}

int CStatement::Step()
{
    return m_stmt ? sqlite3_step(m_stmt.get()) : SQLITE_ERROR;
}

std::int64_t CStatement::Int(int column) const
{
    return sqlite3_column_int64(m_stmt.get(), column);
}

std::string CStatement::Text(int column) const
{
    const unsigned char* text = sqlite3_column_text(m_stmt.get(), column);
    int size = sqlite3_column_bytes(m_stmt.get(), column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)) : std::string();
}

std::vector<unsigned char> CStatement::Blob(int column) const
{
    const auto* data = static_cast<const unsigned char*>(sqlite3_column_blob(m_stmt.get(), column));
    int size = sqlite3_column_bytes(m_stmt.get(), column);
    return data ? std::vector<unsigned char>(data, data + size) : std::vector<unsigned char>();
}

bool Execute(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

CWriteTransaction::CWriteTransaction(sqlite3* db) : m_db(db), m_open(Execute(db, "BEGIN IMMEDIATE"))
{
}

CWriteTransaction::~CWriteTransaction()
{
    if (m_open)
        Execute(m_db, "ROLLBACK");
}

bool CWriteTransaction::Commit()
{
    if (!m_open || !Execute(m_db, "COMMIT"))
        return false;
    m_open = false;
    return true;
}

}  // namespace platform::sqlite

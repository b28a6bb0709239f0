#include "inventory/SqliteHandle.h"

#include <sqlite3.h>

namespace inventory {

void SqliteCloser::operator()(sqlite3* db) const {
    // Every statement is finalised by then: close_v2 would only defer.
    sqlite3_close_v2(db);
}

std::string SqliteMessage(sqlite3* db) {
    return db != nullptr ? sqlite3_errmsg(db) : "out of memory";
}

bool Exec(sqlite3* db, const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) {
        return true;
    }
    error = message != nullptr ? message : SqliteMessage(db);
    sqlite3_free(message);
    return false;
}

CStatement::CStatement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

CStatement::~CStatement() {
    sqlite3_finalize(m_stmt);
}

CStatement& CStatement::Bind(int index, std::string_view text) {
    sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

CStatement& CStatement::Bind(int index, int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

CStatement& CStatement::BindNull(int index) {
    sqlite3_bind_null(m_stmt, index);
    return *this;
}

int CStatement::Step() {
    return m_stmt != nullptr ? sqlite3_step(m_stmt) : SQLITE_MISUSE;
}

bool CStatement::Run() {
    const int code = Step();
    Reset();
    return code == SQLITE_DONE || code == SQLITE_ROW;
}

void CStatement::Reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

std::string CStatement::Text(int column) const {
    const auto* text = sqlite3_column_text(m_stmt, column);
    return text != nullptr ? std::string(reinterpret_cast<const char*>(text),
                                         static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)))
                           : std::string();
}

int64_t CStatement::Int(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

bool CStatement::IsNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

}  // namespace inventory

// Owned SQLite handles: a connection and a prepared statement, each closed
// or finalised by its destructor, and the few calls the inventory makes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace inventory {

struct SqliteCloser {
    void operator()(sqlite3* db) const;
};
using SqlitePtr = std::unique_ptr<sqlite3, SqliteCloser>;

// The library's text for the connection's last error.
std::string SqliteMessage(sqlite3* db);

// Runs SQL without results; false with `error` set to the library's text.
bool Exec(sqlite3* db, const char* sql, std::string& error);

// One prepared statement: bind, step, read columns. Binds and columns count
// from 1 and 0 as in the library.
class CStatement {
public:
    CStatement(sqlite3* db, const char* sql);
    ~CStatement();
    CStatement(const CStatement&) = delete;
    CStatement& operator=(const CStatement&) = delete;

    bool Ok() const { return m_stmt != nullptr; }
    CStatement& Bind(int index, std::string_view text);
    CStatement& Bind(int index, int64_t value);
    CStatement& BindNull(int index);
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    // Done (true) or an error; clears bindings for the next use.
    bool Run();
    void Reset();

    std::string Text(int column) const;
    int64_t Int(int column) const;
    bool IsNull(int column) const;

private:
    sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace inventory

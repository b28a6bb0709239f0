// The inventory's tables, versioned by PRAGMA user_version: version N is the
// database after the first N migrations. A new version appends a migration;
// an applied one never changes.
#pragma once

#include <string>

struct sqlite3;

namespace inventory {

// The schema version this program writes.
int CurrentSchemaVersion();

// The database's user_version; -1 with `error` when it cannot be read
// (not SQLite, locked).
int ReadSchemaVersion(sqlite3* db, std::string& error);

// Applies the migrations above `from`, in one transaction with the new
// user_version. False with `error`; the database is then as it was.
bool Migrate(sqlite3* db, int from, std::string& error);

}  // namespace inventory

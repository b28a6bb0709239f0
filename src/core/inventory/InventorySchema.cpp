#include "inventory/InventorySchema.h"

#include <sqlite3.h>

#include <array>

#include "inventory/SqliteHandle.h"

namespace inventory {
namespace {

// Times are ms since the epoch. Texts compare with BINARY, the firmware
// version order (model/FirmwareVersion.h). A camera belongs to a site: the same MAC
// at two sites is two rows, and its history follows the MAC.
constexpr std::array kMigrations = {
    R"sql(
CREATE TABLE site (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE
);
CREATE TABLE camera (
    id INTEGER PRIMARY KEY,
    site_id INTEGER NOT NULL REFERENCES site(id),
    mac TEXT NOT NULL,
    name TEXT NOT NULL DEFAULT '',
    model TEXT NOT NULL DEFAULT '',
    ip TEXT NOT NULL DEFAULT '',
    ip2 TEXT NOT NULL DEFAULT '',
    version TEXT NOT NULL DEFAULT '',
    build INTEGER NOT NULL DEFAULT 0,
    first_seen INTEGER NOT NULL,
    last_seen INTEGER NOT NULL,
    UNIQUE (site_id, mac)
);
CREATE INDEX camera_by_version ON camera (site_id, version);
CREATE INDEX camera_by_mac ON camera (mac);
CREATE TABLE camera_version (
    camera_id INTEGER NOT NULL REFERENCES camera(id),
    version TEXT NOT NULL,
    build INTEGER NOT NULL,
    first_seen INTEGER NOT NULL,
    last_seen INTEGER NOT NULL,
    PRIMARY KEY (camera_id, version, build)
) WITHOUT ROWID;
CREATE TABLE upgrade_step (
    id INTEGER PRIMARY KEY,
    camera_id INTEGER NOT NULL REFERENCES camera(id),
    run_id TEXT NOT NULL,
    journal TEXT NOT NULL,
    package_name TEXT NOT NULL,
    package_sha256 TEXT NOT NULL,
    from_version TEXT NOT NULL,
    to_version TEXT NOT NULL,
    result INTEGER NOT NULL,
    result_text TEXT NOT NULL,
    attempts INTEGER NOT NULL,
    started_at INTEGER NOT NULL,
    ended_at INTEGER NOT NULL,
    UNIQUE (run_id, camera_id)
);
CREATE INDEX step_by_camera ON upgrade_step (camera_id, started_at);
)sql",
    // Upgrade paths: a camera may take several steps in one run, numbered
    // from 1 (0: a run without a path). SQLite cannot change a UNIQUE
    // constraint in place, so the table is copied.
    R"sql(
CREATE TABLE upgrade_step_path (
    id INTEGER PRIMARY KEY,
    camera_id INTEGER NOT NULL REFERENCES camera(id),
    run_id TEXT NOT NULL,
    journal TEXT NOT NULL,
    package_name TEXT NOT NULL,
    package_sha256 TEXT NOT NULL,
    from_version TEXT NOT NULL,
    to_version TEXT NOT NULL,
    result INTEGER NOT NULL,
    result_text TEXT NOT NULL,
    attempts INTEGER NOT NULL,
    started_at INTEGER NOT NULL,
    ended_at INTEGER NOT NULL,
    step INTEGER NOT NULL DEFAULT 0,
    UNIQUE (run_id, camera_id, step)
);
INSERT INTO upgrade_step_path (id, camera_id, run_id, journal, package_name, package_sha256,
    from_version, to_version, result, result_text, attempts, started_at, ended_at)
SELECT id, camera_id, run_id, journal, package_name, package_sha256, from_version, to_version,
    result, result_text, attempts, started_at, ended_at FROM upgrade_step;
DROP TABLE upgrade_step;
ALTER TABLE upgrade_step_path RENAME TO upgrade_step;
CREATE INDEX step_by_camera ON upgrade_step (camera_id, started_at);
)sql",
};

}  // namespace

int CurrentSchemaVersion() {
    return static_cast<int>(kMigrations.size());
}

int ReadSchemaVersion(sqlite3* db, std::string& error) {
    CStatement statement(db, "PRAGMA user_version");
    if (!statement.Ok()) {
        error = SqliteMessage(db);
        return -1;
    }
    if (statement.Step() != SQLITE_ROW) {
        error = SqliteMessage(db);
        return -1;
    }
    return static_cast<int>(statement.Int(0));
}

bool Migrate(sqlite3* db, int from, std::string& error) {
    if (from >= CurrentSchemaVersion()) {
        return true;
    }
    // IMMEDIATE: a second program migrating at once waits here, then finds
    // the work done.
    if (!Exec(db, "BEGIN IMMEDIATE", error)) {
        return false;
    }
    std::string ignored;
    const int now = ReadSchemaVersion(db, error);
    if (now < 0) {
        Exec(db, "ROLLBACK", ignored);
        return false;
    }
    if (now >= CurrentSchemaVersion()) {
        // Another program migrated it meanwhile; a newer schema is the
        // caller's to refuse.
        Exec(db, "ROLLBACK", ignored);
        return true;
    }
    for (int version = now; version < CurrentSchemaVersion(); ++version) {
        if (!Exec(db, kMigrations[static_cast<size_t>(version)], error)) {
            Exec(db, "ROLLBACK", ignored);
            return false;
        }
    }
    const std::string setVersion =
        "PRAGMA user_version = " + std::to_string(CurrentSchemaVersion());
    if (!Exec(db, setVersion.c_str(), error) || !Exec(db, "COMMIT", error)) {
        Exec(db, "ROLLBACK", ignored);
        return false;
    }
    return true;
}

}  // namespace inventory

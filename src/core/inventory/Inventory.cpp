#include "inventory/Inventory.h"

#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string_view>

#include "inventory/InventorySchema.h"
#include "inventory/InventoryText.h"
#include "model/FirmwareVersion.h"
#include "model/MacAddress.h"
#include "model/SafeText.h"
#include "platform/Paths.h"

using inventory::CStatement;
using inventory::Exec;

namespace {

// Versions in release order for --older-than (model/FirmwareVersion.h).
int FirmwareCollation(void* /*unused*/, int lengthA, const void* a, int lengthB, const void* b) {
    return CompareFirmwareVersions(
        std::string_view(static_cast<const char*>(a), static_cast<size_t>(lengthA)),
        std::string_view(static_cast<const char*>(b), static_cast<size_t>(lengthB)));
}

// Texts read back are cut to these bytes: a database edited by hand cannot
// make a report unbounded.
constexpr const char* kCameraColumns =
    "s.name, c.id, substr(c.mac, 1, 64), substr(c.name, 1, 64), substr(c.model, 1, 64), "
    "substr(c.ip, 1, 64), substr(c.ip2, 1, 64), substr(c.version, 1, 32), c.build, "
    "c.first_seen, c.last_seen";

// One sentence for what keeps the file from use, by the library's code.
std::string OpenProblem(sqlite3* db, const std::string& shown, int busyMs,
                        const std::string& detail) {
    switch (sqlite3_errcode(db) & 0xFF) {
        case SQLITE_NOTADB:
            return "inventory " + shown + " is not an SQLite database";
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "inventory " + shown + " is locked by another program (waited " +
                   std::to_string(busyMs) + " ms)";
        case SQLITE_CORRUPT:
            return "inventory " + shown + " is damaged (" + VisibleText(detail) + ")";
        default:
            return "inventory " + shown + " cannot be used: " + VisibleText(detail);
    }
}

// A time read back: a hand-edited one past the year 9999 (or before 1970)
// reads as none, so that no caller converts it into an overflow.
int64_t TimeColumn(const CStatement& statement, int column) {
    const int64_t ms = statement.Int(column);
    return ms < 0 || ms > 253402300799999 ? 0 : ms;
}

// MACs are kept in upper case, so that any spelling finds its camera.
}  // namespace

std::string DefaultInventoryPath() {
    const std::string state = platform::LocalStateFolder();
    if (state.empty()) {
        return {};
    }
    return platform::PathCombine(platform::PathCombine(state, "firmhand"), "inventory.sqlite");
}

std::unique_ptr<CInventory> CInventory::Open(const std::string& path, InventoryAccess access,
                                             std::string& error, int busyMs, bool* nothingYet) {
    const std::string shown = VisibleText(path);
    if (nothingYet != nullptr) {
        *nothingYet = false;
    }
    if (path.empty()) {
        error = "no inventory: neither XDG_STATE_HOME nor HOME is set";
        return nullptr;
    }
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (access == InventoryAccess::Read) {
        if (!platform::PathFileExists(path)) {
            error = "no inventory recorded yet at " + shown;
            if (nothingYet != nullptr) {
                *nothingYet = true;
            }
            return nullptr;
        }
        flags = SQLITE_OPEN_READONLY;
    } else {
        const std::string folder = std::filesystem::path(path).parent_path().string();
        if (!folder.empty() && !platform::CreateFolders(folder)) {
            error = "inventory folder " + VisibleText(folder) + " cannot be created";
            return nullptr;
        }
    }
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    inventory::SqlitePtr db(raw);
    if (opened != SQLITE_OK) {
        error = "inventory " + shown + " cannot be opened: " + inventory::SqliteMessage(raw);
        return nullptr;
    }
    sqlite3_busy_timeout(raw, busyMs);
    sqlite3_create_collation(raw, "firmware", SQLITE_UTF8, nullptr, &FirmwareCollation);
    std::string detail;
    // Only read until the schema is known: a file that is no database, or
    // one of a newer program, is left byte for byte as it was.
    const int version = inventory::ReadSchemaVersion(raw, detail);
    if (version < 0) {
        error = OpenProblem(raw, shown, busyMs, detail);
        return nullptr;
    }
    const int current = inventory::CurrentSchemaVersion();
    if (version > current) {
        error = "inventory " + shown + " has schema version " + std::to_string(version) +
                ", newer than this program's " + std::to_string(current);
        return nullptr;
    }
    if (access == InventoryAccess::Read) {
        if (version < current) {
            if (nothingYet != nullptr) {
                *nothingYet = version == 0;
            }
            error = "inventory " + shown + " holds nothing yet (schema version " +
                    std::to_string(version) + "); a scan records into it";
            return nullptr;
        }
    } else {
        // WAL: readers never wait for the writer, and a killed writer leaves
        // no half transaction behind. NORMAL: a commit survives a killed
        // process; only a power loss may take the last ones back.
        if (!Exec(raw, "PRAGMA journal_mode = WAL", detail) ||
            !Exec(raw, "PRAGMA synchronous = NORMAL", detail) ||
            !inventory::Migrate(raw, version, detail)) {
            error = OpenProblem(raw, shown, busyMs, detail);
            return nullptr;
        }
    }
    Exec(raw, "PRAGMA foreign_keys = ON", detail);
    return std::unique_ptr<CInventory>(new CInventory(path, std::move(db)));
}

bool CInventory::Transaction(const std::function<bool()>& body, std::string& error) {
    sqlite3* db = m_db.get();
    const std::string shown = VisibleText(m_path);
    std::string detail;
    if (!Exec(db, "BEGIN IMMEDIATE", detail)) {
        error = OpenProblem(db, shown, 0, detail);
        if ((sqlite3_errcode(db) & 0xFF) == SQLITE_BUSY) {
            error = "inventory " + shown + " is locked by another program";
        }
        return false;
    }
    if (!body() || !Exec(db, "COMMIT", detail)) {
        error = "inventory " + shown + " not written: " + inventory::SqliteMessage(db);
        if ((sqlite3_errcode(db) & 0xFF) == SQLITE_BUSY) {
            error = "inventory " + shown + " is locked by another program";
        }
        Exec(db, "ROLLBACK", detail);
        return false;
    }
    return true;
}

int64_t CInventory::SiteId(const std::string& site) {
    CStatement insert(m_db.get(), "INSERT INTO site (name) VALUES (?1) ON CONFLICT DO NOTHING");
    if (!insert.Ok() || !insert.Bind(1, site).Run()) {
        return 0;
    }
    CStatement select(m_db.get(), "SELECT id FROM site WHERE name = ?1");
    if (!select.Ok() || select.Bind(1, site).Step() != SQLITE_ROW) {
        return 0;
    }
    return select.Int(0);
}

bool CInventory::RecordSightings(const std::string& site,
                                 const std::vector<CAMERA_SIGHTING>& sightings,
                                 std::string& error) {
    return Transaction(
        [&] {
            const int64_t siteId = SiteId(site);
            CStatement camera(m_db.get(), R"sql(
INSERT INTO camera (site_id, mac, name, model, ip, ip2, version, build, first_seen, last_seen)
VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?9)
ON CONFLICT (site_id, mac) DO UPDATE SET
    name = excluded.name, model = excluded.model, ip = excluded.ip, ip2 = excluded.ip2,
    version = excluded.version, build = excluded.build, last_seen = excluded.last_seen
WHERE excluded.last_seen >= camera.last_seen)sql");
            CStatement id(m_db.get(), "SELECT id FROM camera WHERE site_id = ?1 AND mac = ?2");
            CStatement version(m_db.get(), R"sql(
INSERT INTO camera_version (camera_id, version, build, first_seen, last_seen)
VALUES (?1, ?2, ?3, ?4, ?4)
ON CONFLICT DO UPDATE SET first_seen = min(first_seen, excluded.first_seen),
    last_seen = max(last_seen, excluded.last_seen))sql");
            if (siteId == 0 || !camera.Ok() || !id.Ok() || !version.Ok()) {
                return false;
            }
            for (const CAMERA_SIGHTING& s : sightings) {
                if (!camera.Bind(1, siteId)
                         .Bind(2, MacKey(s.mac))
                         .Bind(3, s.name)
                         .Bind(4, s.model)
                         .Bind(5, s.ip)
                         .Bind(6, s.ip2)
                         .Bind(7, s.version)
                         .Bind(8, int64_t{s.build})
                         .Bind(9, s.seenAt)
                         .Run()) {
                    return false;
                }
                if (id.Bind(1, siteId).Bind(2, MacKey(s.mac)).Step() != SQLITE_ROW) {
                    return false;
                }
                const int64_t cameraId = id.Int(0);
                id.Reset();
                if (!s.version.empty() && !version.Bind(1, cameraId)
                                               .Bind(2, s.version)
                                               .Bind(3, int64_t{s.build})
                                               .Bind(4, s.seenAt)
                                               .Run()) {
                    return false;
                }
            }
            return true;
        },
        error);
}

bool CInventory::RecordSteps(const std::string& site, const std::vector<UPGRADE_STEP>& steps,
                             std::string& error) {
    return Transaction(
        [&] {
            const int64_t siteId = SiteId(site);
            // A camera only the run knew (not seen by this search) gets a row
            // from the run's record of it; its version comes with a sighting.
            CStatement camera(m_db.get(), R"sql(
INSERT INTO camera (site_id, mac, name, model, ip, first_seen, last_seen)
VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?6) ON CONFLICT DO NOTHING)sql");
            CStatement id(m_db.get(), "SELECT id FROM camera WHERE site_id = ?1 AND mac = ?2");
            CStatement step(m_db.get(), R"sql(
INSERT INTO upgrade_step (camera_id, run_id, journal, package_name, package_sha256,
    from_version, to_version, result, result_text, attempts, started_at, ended_at, step)
VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)
ON CONFLICT (run_id, camera_id, step) DO UPDATE SET
    journal = excluded.journal, package_name = excluded.package_name,
    package_sha256 = excluded.package_sha256, from_version = excluded.from_version,
    to_version = excluded.to_version, result = excluded.result,
    result_text = excluded.result_text, attempts = excluded.attempts,
    started_at = excluded.started_at, ended_at = excluded.ended_at)sql");
            if (siteId == 0 || !camera.Ok() || !id.Ok() || !step.Ok()) {
                return false;
            }
            for (const UPGRADE_STEP& s : steps) {
                const int64_t at = s.startedAt != 0 ? s.startedAt : s.endedAt;
                if (!camera.Bind(1, siteId)
                         .Bind(2, MacKey(s.mac))
                         .Bind(3, s.name)
                         .Bind(4, s.model)
                         .Bind(5, s.ip)
                         .Bind(6, at)
                         .Run()) {
                    return false;
                }
                if (id.Bind(1, siteId).Bind(2, MacKey(s.mac)).Step() != SQLITE_ROW) {
                    return false;
                }
                const int64_t cameraId = id.Int(0);
                id.Reset();
                if (!step.Bind(1, cameraId)
                         .Bind(2, s.runId)
                         .Bind(3, s.journal)
                         .Bind(4, s.packageName)
                         .Bind(5, s.packageSha256)
                         .Bind(6, s.fromVersion)
                         .Bind(7, s.toVersion)
                         .Bind(8, int64_t{s.result})
                         .Bind(9, s.resultText)
                         .Bind(10, int64_t{s.attempts})
                         .Bind(11, s.startedAt)
                         .Bind(12, s.endedAt)
                         .Bind(13, int64_t{s.step})
                         .Run()) {
                    return false;
                }
            }
            return true;
        },
        error);
}

bool CInventory::HasSite(const std::string& site, std::string& error) {
    CStatement select(m_db.get(), "SELECT 1 FROM site WHERE name = ?1");
    if (!select.Ok()) {
        error = "inventory " + VisibleText(m_path) + ": " + inventory::SqliteMessage(m_db.get());
        return false;
    }
    return select.Bind(1, site).Step() == SQLITE_ROW;
}

std::string CInventory::LastSiteOf(const std::string& mac) {
    CStatement select(m_db.get(),
                      "SELECT s.name FROM camera c JOIN site s ON s.id = c.site_id "
                      "WHERE c.mac = ?1 COLLATE NOCASE ORDER BY c.last_seen DESC LIMIT 1");
    if (!select.Ok() || select.Bind(1, mac).Step() != SQLITE_ROW) {
        return "";
    }
    return select.Text(0);
}

bool CInventory::Cameras(const std::string& site, const std::string& olderThan,
                         std::vector<INVENTORY_CAMERA>& cameras, std::string& error) {
    // Conditions joined only from fixed texts; the values are bound.
    std::string where = " WHERE 1";
    if (!site.empty()) {
        where += " AND s.name = ?1";
    }
    if (!olderThan.empty()) {
        where += " AND c.version <> '' AND c.version < ?2 COLLATE firmware";
    }
    const std::string from = " FROM camera c JOIN site s ON s.id = c.site_id";
    CStatement rows(m_db.get(), ("SELECT " + std::string(kCameraColumns) + from + where +
                                 " ORDER BY s.name, c.mac")
                                    .c_str());
    CStatement versions(m_db.get(),
                        ("SELECT v.camera_id, substr(v.version, 1, 32), v.build, v.first_seen, "
                         "v.last_seen" +
                         from + " JOIN camera_version v ON v.camera_id = c.id" + where +
                         " ORDER BY v.camera_id, v.first_seen, v.version")
                            .c_str());
    if (!rows.Ok() || !versions.Ok()) {
        error = "inventory " + VisibleText(m_path) + ": " + inventory::SqliteMessage(m_db.get());
        return false;
    }
    std::map<int64_t, size_t> index;
    for (CStatement* statement : {&rows, &versions}) {
        if (!site.empty()) {
            statement->Bind(1, site);
        }
        if (!olderThan.empty()) {
            statement->Bind(2, olderThan);
        }
    }
    int code = SQLITE_ROW;
    while ((code = rows.Step()) == SQLITE_ROW) {
        INVENTORY_CAMERA camera;
        camera.site = rows.Text(0);
        camera.mac = rows.Text(2);
        camera.name = rows.Text(3);
        camera.model = rows.Text(4);
        camera.ip = rows.Text(5);
        camera.ip2 = rows.Text(6);
        camera.version = rows.Text(7);
        camera.build = static_cast<int32_t>(rows.Int(8));
        camera.firstSeen = TimeColumn(rows, 9);
        camera.lastSeen = TimeColumn(rows, 10);
        index[rows.Int(1)] = cameras.size();
        cameras.push_back(std::move(camera));
    }
    if (code == SQLITE_DONE) {
        code = versions.Step();
    }
    for (; code == SQLITE_ROW; code = versions.Step()) {
        const auto found = index.find(versions.Int(0));
        if (found == index.end()) {
            continue;
        }
        SEEN_VERSION seen;
        seen.version = versions.Text(1);
        seen.build = static_cast<int32_t>(versions.Int(2));
        seen.firstSeen = TimeColumn(versions, 3);
        seen.lastSeen = TimeColumn(versions, 4);
        cameras[found->second].versions.push_back(std::move(seen));
    }
    if (code != SQLITE_DONE) {
        error = "inventory " + VisibleText(m_path) +
                " cannot be read: " + inventory::SqliteMessage(m_db.get());
        return false;
    }
    return true;
}

bool CInventory::Steps(const std::string& site, const std::string& mac,
                       std::vector<INVENTORY_STEP>& steps, std::string& error) {
    std::string sql =
        "SELECT s.name, substr(c.mac, 1, 64), substr(c.name, 1, 64), substr(c.model, 1, 64), "
        "substr(c.ip, 1, 64), substr(u.run_id, 1, 64), substr(u.journal, 1, 128), "
        "substr(u.package_name, 1, 255), substr(u.package_sha256, 1, 64), "
        "substr(u.from_version, 1, 32), substr(u.to_version, 1, 32), u.result, "
        "substr(u.result_text, 1, 128), u.attempts, u.started_at, u.ended_at, u.step "
        "FROM upgrade_step u JOIN camera c ON c.id = u.camera_id JOIN site s ON s.id = c.site_id "
        "WHERE 1";
    if (!site.empty()) {
        sql += " AND s.name = ?1";
    }
    if (!mac.empty()) {
        sql += " AND c.mac = ?2";
    }
    // A step never started (a camera not found in time) by when it ended.
    sql +=
        " ORDER BY CASE WHEN u.started_at = 0 THEN u.ended_at ELSE u.started_at END, "
        "u.ended_at, u.step, u.id";
    CStatement rows(m_db.get(), sql.c_str());
    if (!rows.Ok()) {
        error = "inventory " + VisibleText(m_path) + ": " + inventory::SqliteMessage(m_db.get());
        return false;
    }
    if (!site.empty()) {
        rows.Bind(1, site);
    }
    if (!mac.empty()) {
        rows.Bind(2, MacKey(mac));
    }
    int code = SQLITE_ROW;
    while ((code = rows.Step()) == SQLITE_ROW) {
        INVENTORY_STEP row;
        row.site = rows.Text(0);
        UPGRADE_STEP& s = row.step;
        s.mac = rows.Text(1);
        s.name = rows.Text(2);
        s.model = rows.Text(3);
        s.ip = rows.Text(4);
        s.runId = rows.Text(5);
        s.journal = rows.Text(6);
        s.packageName = rows.Text(7);
        s.packageSha256 = rows.Text(8);
        s.fromVersion = rows.Text(9);
        s.toVersion = rows.Text(10);
        s.result = static_cast<int>(rows.Int(11));
        s.resultText = rows.Text(12);
        s.attempts = static_cast<int>(rows.Int(13));
        s.startedAt = TimeColumn(rows, 14);
        s.endedAt = TimeColumn(rows, 15);
        s.step = static_cast<int>(std::clamp<int64_t>(rows.Int(16), 0, 1000));
        steps.push_back(std::move(row));
    }
    if (code != SQLITE_DONE) {
        error = "inventory " + VisibleText(m_path) +
                " cannot be read: " + inventory::SqliteMessage(m_db.get());
        return false;
    }
    return true;
}

// The site inventory: one SQLite database per user, in WAL mode, written by
// every run that has it enabled and read by the history and inventory
// commands. A database this program cannot use (not SQLite, locked past the
// busy time-out, a newer schema) is reported once and left as it is: the
// caller goes on without it.
//
//   std::string error;
//   auto inventory = CInventory::Open(DefaultInventoryPath(), kWrite, error);
//   if (!inventory) { log error; run without it }
//   inventory->RecordSightings("192.168.1.0/24", sightings, error);
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "inventory/InventoryRecords.h"
#include "inventory/SqliteHandle.h"

// $XDG_STATE_HOME/firmhand/inventory.sqlite; "" when there is no state folder.
std::string DefaultInventoryPath();

// How long a call waits for another program's write lock.
constexpr int kInventoryBusyMs = 2000;

enum class InventoryAccess {
    Read,   // the file must exist; nothing is ever written
    Write,  // created (with its folder) when missing, migrated when older
};

class CInventory {
public:
    // Null with `error` saying why the file cannot be used; the file is
    // then left as it was. `nothingYet` (when given) tells a Read of a
    // missing or empty database, which holds no site, from a broken one.
    static std::unique_ptr<CInventory> Open(const std::string& path, InventoryAccess access,
                                            std::string& error, int busyMs = kInventoryBusyMs,
                                            bool* nothingYet = nullptr);

    const std::string& Path() const { return m_path; }

    // Each call is one transaction: all of it is stored or none. False with
    // `error` (the database is then as before the call).
    bool RecordSightings(const std::string& site, const std::vector<CAMERA_SIGHTING>& sightings,
                         std::string& error);
    // A step already stored for the run and camera is replaced (a resumed
    // run brings its cameras' later ends).
    bool RecordSteps(const std::string& site, const std::vector<UPGRADE_STEP>& steps,
                     std::string& error);

    bool HasSite(const std::string& site, std::string& error);
    // The site where a search saw `mac` last (any letter case); "" when
    // none did or the file cannot be read.
    std::string LastSiteOf(const std::string& mac);
    // Cameras of `site` ("" every site) whose last version compares below
    // `olderThan` ("" any), by site and MAC, each with its versions.
    bool Cameras(const std::string& site, const std::string& olderThan,
                 std::vector<INVENTORY_CAMERA>& cameras, std::string& error);
    // Upgrade steps of `site` and `mac` ("" any), oldest first.
    bool Steps(const std::string& site, const std::string& mac, std::vector<INVENTORY_STEP>& steps,
               std::string& error);

private:
    CInventory(std::string path, inventory::SqlitePtr db)
        : m_path(std::move(path)), m_db(std::move(db)) {}
    bool Transaction(const std::function<bool()>& body, std::string& error);
    // The site's row id (added when new); 0 on an error.
    int64_t SiteId(const std::string& site);

    std::string m_path;
    inventory::SqlitePtr m_db;
};

// The inventory database: its schema and mode, what a sighting and a step
// keep, the version order of --older-than, and the files it must leave
// alone (not SQLite, a newer schema, locked by another program).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "inventory/Inventory.h"
#include "inventory/InventoryText.h"
#include "model/FirmwareVersion.h"
#include "support/TestSupport.h"

namespace {

// A second program's connection to the database, running SQL of its own.
class COtherConnection {
public:
    explicit COtherConnection(const std::string& path) {
        sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    }
    ~COtherConnection() { sqlite3_close(m_db); }
    bool Exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == 0; }
    std::string Text(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        std::string text;
        if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0)) {
            text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        }
        sqlite3_finalize(statement);
        return text;
    }

private:
    sqlite3* m_db = nullptr;
};

CAMERA_SIGHTING Sighting(const std::string& mac, const std::string& version, int build,
                         int64_t at) {
    CAMERA_SIGHTING s;
    s.mac = mac;
    s.name = "Cam";
    s.model = "IPC-2020";
    s.ip = "192.168.1.64";
    s.version = version;
    s.build = build;
    s.seenAt = at;
    return s;
}

std::unique_ptr<CInventory> OpenOrFail(const std::string& path, InventoryAccess access) {
    std::string error;
    auto inventory = CInventory::Open(path, access, error);
    EXPECT_NE(inventory, nullptr) << error;
    return inventory;
}

}  // namespace

TEST(Inventory, ANewDatabaseIsInWalModeWithTheCurrentSchema) {
    testing_support::CSandbox box;
    const std::string path = box.File("state/firmhand/inventory.sqlite");
    std::string error;
    EXPECT_EQ(CInventory::Open(path, InventoryAccess::Read, error), nullptr);
    EXPECT_NE(error.find("no inventory recorded yet"), std::string::npos) << error;
    ASSERT_NE(OpenOrFail(path, InventoryAccess::Write), nullptr);  // folders made too
    COtherConnection other(path);
    EXPECT_EQ(other.Text("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(other.Text("PRAGMA user_version"), "2");
    // Opened again, nothing is migrated twice.
    EXPECT_NE(OpenOrFail(path, InventoryAccess::Write), nullptr);
    EXPECT_NE(OpenOrFail(path, InventoryAccess::Read), nullptr);
}

TEST(Inventory, CamerasKeepEveryVersionSeenAndStepsFollowTheirRun) {
    testing_support::CSandbox box;
    auto inventory = OpenOrFail(box.File("i.sqlite"), InventoryAccess::Write);
    ASSERT_NE(inventory, nullptr);
    std::string error;
    // A lower-case MAC is the same camera.
    ASSERT_TRUE(inventory->RecordSightings(
        "Depot", {Sighting("02:AA:00:00:00:01", "4.0.2", 1, 1000)}, error))
        << error;
    ASSERT_TRUE(inventory->RecordSightings(
        "Depot", {Sighting("02:aa:00:00:00:01", "4.0.2", 1, 2000)}, error));
    ASSERT_TRUE(inventory->RecordSightings("Depot",
                                           {Sighting("02:AA:00:00:00:01", "4.0.10", 1, 3000),
                                            Sighting("02:AA:00:00:00:02", "3.9.9", 7, 3000),
                                            Sighting("02:AA:00:00:00:03", "", 0, 3000)},
                                           error));
    // A late report of an older sighting does not turn the camera back.
    ASSERT_TRUE(inventory->RecordSightings(
        "Depot", {Sighting("02:AA:00:00:00:01", "4.0.2", 1, 1500)}, error));
    ASSERT_TRUE(inventory->RecordSightings(
        "Yard", {Sighting("02:AA:00:00:00:09", "4.0.1", 1, 3000)}, error));

    std::vector<INVENTORY_CAMERA> cameras;
    ASSERT_TRUE(inventory->Cameras("Depot", "", cameras, error)) << error;
    ASSERT_EQ(cameras.size(), 3u);
    const INVENTORY_CAMERA& first = cameras[0];
    EXPECT_EQ(first.mac, "02:AA:00:00:00:01");
    EXPECT_EQ(first.version, "4.0.10");
    EXPECT_EQ(first.firstSeen, 1000);
    EXPECT_EQ(first.lastSeen, 3000);
    ASSERT_EQ(first.versions.size(), 2u);
    EXPECT_EQ(first.versions[0].version, "4.0.2");
    EXPECT_EQ(first.versions[0].firstSeen, 1000);
    EXPECT_EQ(first.versions[0].lastSeen, 2000);
    EXPECT_EQ(first.versions[1].version, "4.0.10");
    EXPECT_TRUE(cameras[2].versions.empty());

    // Release order: 4.0.10 comes after 4.0.2; a camera without a version
    // is not older than anything.
    cameras.clear();
    ASSERT_TRUE(inventory->Cameras("", "4.0.2", cameras, error));
    std::vector<std::string> older;
    for (const INVENTORY_CAMERA& c : cameras) {
        older.push_back(c.site + " " + c.mac);
    }
    EXPECT_EQ(older,
              (std::vector<std::string>{"Depot 02:AA:00:00:00:02", "Yard 02:AA:00:00:00:09"}));
    EXPECT_GT(CompareFirmwareVersions("4.0.10", "4.0.2"), 0);
    EXPECT_GT(CompareFirmwareVersions("4.0.2.1", "4.0.2"), 0);
    EXPECT_EQ(CompareFirmwareVersions("4.0", "4.0.0"), 0);
    EXPECT_EQ(CompareFirmwareVersions("4.00.2", "4.0.2"), 0);
    EXPECT_LT(CompareFirmwareVersions("3.9.99", "4.0"), 0);
    EXPECT_LT(CompareFirmwareVersions("4.1.0", "4.1.0beta"), 0);

    // A resumed run replaces its camera's step; another run adds one. A
    // camera only the run knew gets a row.
    UPGRADE_STEP step;
    step.mac = "02:AA:00:00:00:02";
    step.runId = "run-1";
    step.journal = "run-1.jsonl";
    step.result = 28;
    step.attempts = 1;
    step.startedAt = 4000;
    ASSERT_TRUE(inventory->RecordSteps("Depot", {step}, error)) << error;
    step.result = 0;
    step.attempts = 2;
    step.toVersion = "4.0.2(1)";
    UPGRADE_STEP stranger = step;
    stranger.mac = "02:AA:00:00:00:07";
    ASSERT_TRUE(inventory->RecordSteps("Depot", {step, stranger}, error));
    step.runId = "run-2";
    step.startedAt = 5000;
    ASSERT_TRUE(inventory->RecordSteps("Depot", {step}, error));
    std::vector<INVENTORY_STEP> steps;
    ASSERT_TRUE(inventory->Steps("", "02:aa:00:00:00:02", steps, error)) << error;
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].step.runId, "run-1");
    EXPECT_EQ(steps[0].step.result, 0);
    EXPECT_EQ(steps[0].step.attempts, 2);
    EXPECT_EQ(steps[1].step.runId, "run-2");
    // A camera a later run waited for and never found was never started:
    // it takes its place by when the wait ended, not before every run.
    UPGRADE_STEP notFound = step;
    notFound.runId = "run-3";
    notFound.startedAt = 0;
    notFound.endedAt = 6000;
    ASSERT_TRUE(inventory->RecordSteps("Depot", {notFound}, error));
    steps.clear();
    ASSERT_TRUE(inventory->Steps("", "02:aa:00:00:00:02", steps, error)) << error;
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[2].step.runId, "run-3");
    EXPECT_TRUE(inventory->HasSite("Yard", error));
    EXPECT_FALSE(inventory->HasSite("yard", error));
    cameras.clear();
    ASSERT_TRUE(inventory->Cameras("Depot", "", cameras, error));
    EXPECT_EQ(cameras.size(), 4u);
}

// A database of the first schema keeps its steps when it is opened by this
// program; from then on one run may record several steps of a camera (an
// upgrade path), each its own row, and a resumed run still replaces its own.
TEST(Inventory, TheFirstSchemaMigratesAndARunKeepsEachStepOfAPath) {
    testing_support::CSandbox box;
    const std::string path = box.File("inventory.sqlite");
    std::string error;
    {
        auto fresh = OpenOrFail(path, InventoryAccess::Write);
        ASSERT_TRUE(
            fresh->RecordSightings("Depot", {Sighting("02:AA:00:00:00:01", "4.0.2", 1, 1)}, error));
    }
    {
        // Back to the first schema's table, with a row of an older run.
        COtherConnection other(path);
        ASSERT_TRUE(other.Exec(R"sql(
DROP TABLE upgrade_step;
CREATE TABLE upgrade_step (id INTEGER PRIMARY KEY, camera_id INTEGER NOT NULL, run_id TEXT NOT NULL,
    journal TEXT NOT NULL, package_name TEXT NOT NULL, package_sha256 TEXT NOT NULL,
    from_version TEXT NOT NULL, to_version TEXT NOT NULL, result INTEGER NOT NULL,
    result_text TEXT NOT NULL, attempts INTEGER NOT NULL, started_at INTEGER NOT NULL,
    ended_at INTEGER NOT NULL, UNIQUE (run_id, camera_id));
INSERT INTO upgrade_step VALUES (1, 1, 'old', 'old.jsonl', 'fw.bin', '', '4.0.1(1)', '4.0.2(1)',
    0, 'ok', 1, 10, 20);
PRAGMA user_version = 1;)sql"));
    }
    auto inventory = OpenOrFail(path, InventoryAccess::Write);
    ASSERT_NE(inventory, nullptr);
    EXPECT_EQ(COtherConnection(path).Text("PRAGMA user_version"), "2");
    UPGRADE_STEP step;
    step.mac = "02:AA:00:00:00:01";
    step.runId = "path";
    step.result = 0;
    for (int n = 1; n <= 2; ++n) {
        step.step = n;
        step.packageName = "fw_4.0." + std::to_string(n + 2) + ".bin";
        step.startedAt = 100 * n;
        ASSERT_TRUE(inventory->RecordSteps("Depot", {step}, error)) << error;
    }
    step.result = 7;  // the resumed run's end of its second step
    ASSERT_TRUE(inventory->RecordSteps("Depot", {step}, error)) << error;
    std::vector<INVENTORY_STEP> steps;
    ASSERT_TRUE(inventory->Steps("", "02:AA:00:00:00:01", steps, error)) << error;
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].step.runId, "old");
    EXPECT_EQ(steps[0].step.toVersion, "4.0.2(1)");
    EXPECT_EQ(steps[1].step.packageName, "fw_4.0.3.bin");
    EXPECT_EQ(steps[1].step.result, 0);
    EXPECT_EQ(steps[2].step.packageName, "fw_4.0.4.bin");
    EXPECT_EQ(steps[2].step.result, 7);
}

TEST(Inventory, FilesItCannotUseAreToldAndLeftByteForByte) {
    testing_support::CSandbox box;
    // Not SQLite: a text file, and one that only starts like a database.
    box.Write("notes.sqlite", "site list\nnot a database at all, but long enough to be read\n");
    box.Write("torn.sqlite", std::string("SQLite format 3\0", 16) + std::string(200, '\x7f'));
    // A newer program's schema.
    {
        COtherConnection other(box.File("newer.sqlite"));
        ASSERT_TRUE(other.Exec("CREATE TABLE future (x); PRAGMA user_version = 7"));
    }
    const std::map<std::string, std::string> expected = {
        {"notes.sqlite", "is not an SQLite database"},
        {"torn.sqlite", "is not an SQLite database"},
        {"newer.sqlite", "has schema version 7, newer than this program's 2"},
    };
    for (const auto& [name, problem] : expected) {
        const std::string before = box.Read(name);
        for (const InventoryAccess access : {InventoryAccess::Write, InventoryAccess::Read}) {
            std::string error;
            EXPECT_EQ(CInventory::Open(box.File(name), access, error), nullptr) << name;
            EXPECT_NE(error.find(problem), std::string::npos) << name << ": " << error;
            EXPECT_EQ(box.Read(name), before) << name << " was changed";
        }
    }
}

TEST(Inventory, AWriteWaitsForAnotherProgramsLockThenSaysSo) {
    testing_support::CSandbox box;
    const std::string path = box.File("i.sqlite");
    std::string error;
    auto inventory = CInventory::Open(path, InventoryAccess::Write, error, 200);
    ASSERT_NE(inventory, nullptr) << error;
    ASSERT_TRUE(
        inventory->RecordSightings("Depot", {Sighting("02:AA:00:00:00:01", "4.0.2", 1, 1)}, error));
    COtherConnection other(path);
    ASSERT_TRUE(other.Exec("BEGIN EXCLUSIVE"));
    EXPECT_FALSE(
        inventory->RecordSightings("Depot", {Sighting("02:AA:00:00:00:02", "4.0.2", 1, 2)}, error));
    EXPECT_NE(error.find("is locked by another program"), std::string::npos) << error;
    // Reading goes on beside the writer (WAL), and the lock's end frees it.
    std::vector<INVENTORY_CAMERA> cameras;
    EXPECT_TRUE(inventory->Cameras("", "", cameras, error)) << error;
    EXPECT_EQ(cameras.size(), 1u);
    ASSERT_TRUE(other.Exec("COMMIT"));
    EXPECT_TRUE(
        inventory->RecordSightings("Depot", {Sighting("02:AA:00:00:00:02", "4.0.2", 1, 2)}, error))
        << error;
}

TEST(InventoryText, SiteNamesAndVersionsAreBounded) {
    using inventory::CheckSiteName;
    using inventory::CheckVersionText;
    EXPECT_EQ(CheckSiteName("192.168.1.0/24"), "");
    EXPECT_EQ(CheckSiteName("Dépôt Nord"), "");
    EXPECT_EQ(CheckSiteName(std::string(64, 's')), "");
    EXPECT_NE(CheckSiteName(std::string(65, 's')), "");
    EXPECT_NE(CheckSiteName(""), "");
    for (const char* bad : {"a\tb", "a\nb", "\x1b[31mred", "a\x7f", "\xff\xfe", "x\u202Ey"}) {
        EXPECT_NE(CheckSiteName(bad), "") << bad;
    }
    for (const char* good : {"4", "4.0.2", "3.1.0.7", "10.20.30.40"}) {
        EXPECT_EQ(CheckVersionText(good), "") << good;
    }
    for (const char* bad : {"", "4.", ".4", "4..0", "4.0.2.1.9", "v4.0.2", "4.0.2beta",
                            "1234567890.12345", "4.0.2\n"}) {
        EXPECT_NE(CheckVersionText(bad), "") << bad;
    }
    EXPECT_EQ(inventory::SubnetText(0xC0A80140, 0xFFFFFF00), "192.168.1.0/24");
    EXPECT_EQ(inventory::SubnetText(0x7F000001, 0xFF000000), "127.0.0.0/8");
}

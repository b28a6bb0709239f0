// A writer killed in the middle of its transactions leaves a database that
// opens, passes SQLite's integrity check and shows only whole transactions.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "inventory/Inventory.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

// One number the query gives; -1 when it cannot be read (yet).
int64_t Count(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    int64_t value = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 1000);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            value = sqlite3_column_int64(statement, 0);
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return value;
}

std::string IntegrityCheck(const std::string& path) {
    sqlite3* db = nullptr;
    std::string result = "not opened";
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            result = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return result;
}

}  // namespace

TEST(InventoryKill, AWriterKilledMidTransactionLeavesOnlyWholeOnes) {
    testing_support::CSandbox box;
    const std::string path = box.File("inventory.sqlite");
    // Each round kills the writer later, in whichever of its writes it is.
    for (const int64_t atLeast : {50, 400, 1500}) {
        CChildProcess writer;
        CHILD_OPTIONS options;
        options.program = FIRMHAND_INVENTORY_WRITER;
        options.args = {path};
        options.errPath = box.File("writer.err");
        std::string error;
        ASSERT_TRUE(writer.Start(options, error)) << error;
        const int64_t before = std::max<int64_t>(Count(path, "SELECT count(*) FROM camera"), 0);
        ASSERT_TRUE(testing_support::WaitFor(
            [&] { return Count(path, "SELECT count(*) FROM upgrade_step") >= before + atLeast; },
            std::chrono::seconds(60)))
            << box.Read("writer.err");
        ASSERT_TRUE(writer.Kill());
        ASSERT_TRUE(writer.Wait(std::chrono::seconds(10)));

        EXPECT_EQ(IntegrityCheck(path), "ok");
        const int64_t cameras = Count(path, "SELECT count(*) FROM camera");
        const int64_t versions = Count(path, "SELECT count(*) FROM camera_version");
        const int64_t steps = Count(path, "SELECT count(*) FROM upgrade_step");
        EXPECT_EQ(cameras % 50, 0) << cameras;
        EXPECT_EQ(versions, cameras);
        EXPECT_EQ(steps % 50, 0) << steps;
        EXPECT_TRUE(steps == cameras || steps + 50 == cameras) << steps << " " << cameras;
        // The next writer takes it up as it is.
        std::string problem;
        EXPECT_NE(CInventory::Open(path, InventoryAccess::Write, problem), nullptr) << problem;
    }
}

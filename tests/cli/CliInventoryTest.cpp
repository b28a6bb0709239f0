// The site inventory from the command line: what a scan and an upgrade
// record, history and inventory reading it back, their refusals, and runs
// that go on when the database cannot be used.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <nlohmann/json.hpp>

#include "CliFixture.h"
#include "device/Digest.h"
#include "inventory/Inventory.h"

namespace {

class CliInventory : public CliFixture {
protected:
    std::string Db() const { return m_box.File("inv.sqlite"); }
    // Runs with --inventory pointing at the test's database.
    int RunInv(std::vector<std::string> args, std::string& out) {
        args.insert(args.begin(), {"--inventory", Db()});
        return Run(args, out);
    }
    nlohmann::json Json(std::vector<std::string> args) {
        std::string out;
        EXPECT_EQ(RunInv(std::move(args), out), 0) << m_err;
        return nlohmann::json::parse(out, nullptr, false);
    }
};

// The camera of `mac` in a JSON list, or null: a search on loopback may
// also see the simulated cameras of other test processes.
nlohmann::json ByMac(const nlohmann::json& cameras, const std::string& mac) {
    for (const nlohmann::json& camera : cameras) {
        if (camera["mac"] == mac) {
            return camera;
        }
    }
    return nullptr;
}

std::string Sha256Of(const std::string& bytes) {
    return DigestToHex(DigestSha256(bytes.data(), bytes.size()), false);
}

}  // namespace

TEST_F(CliInventory, AScanAndAnUpgradeRecordCamerasVersionsAndSteps) {
    auto a = Camera(1);
    a.upgradeSoftwareVer = "4.1.0";
    a.upgradeBuild = 5;
    auto b = Camera(2);
    b.softwareVer = "4.0.10";
    ASSERT_TRUE(StartFleet({a, b}));
    std::string out;
    ASSERT_EQ(RunInv({"scan", "--site", "Depot"}, out), 0) << m_err;

    nlohmann::json cameras = Json({"inventory", "--json"});
    const nlohmann::json first = ByMac(cameras, a.mac);
    ASSERT_FALSE(first.is_null()) << cameras;
    EXPECT_EQ(first["site"], "Depot");
    EXPECT_EQ(first["version"], "4.0.2");
    EXPECT_EQ(ByMac(cameras, b.mac)["version"], "4.0.10");
    // Release order: 4.0.10 is newer than 4.0.2 and older than 4.0.11.
    cameras = Json({"inventory", "--site", "Depot", "--older-than", "4.0.2", "--json"});
    EXPECT_TRUE(ByMac(cameras, b.mac).is_null()) << cameras;
    EXPECT_TRUE(ByMac(cameras, a.mac).is_null()) << cameras;
    cameras = Json({"inventory", "--site", "Depot", "--older-than", "4.0.11", "--json"});
    EXPECT_FALSE(ByMac(cameras, b.mac).is_null()) << cameras;
    EXPECT_FALSE(ByMac(cameras, a.mac).is_null()) << cameras;

    const std::string package = NewStylePackage(m_box);
    ASSERT_EQ(RunInv({"upgrade", "--package", package, "--mac", a.mac, "--password", "secret",
                      "--yes", "--site", "Depot"},
                     out),
              0)
        << m_err;
    const nlohmann::json steps = Json({"history", "--mac", a.mac, "--json"});
    ASSERT_EQ(steps.size(), 1u) << steps;
    const nlohmann::json& step = steps[0];
    EXPECT_EQ(step["site"], "Depot");
    EXPECT_EQ(step["code"], 0);
    EXPECT_EQ(step["fromVersion"], "4.0.2(230118)");
    EXPECT_EQ(step["toVersion"], "4.1.0(5)");
    EXPECT_EQ(step["attempts"], 1);
    EXPECT_EQ(step["package"], "fw.bin");
    EXPECT_EQ(step["sha256"], Sha256Of(m_box.Read("fw.bin")));
    EXPECT_FALSE(step["run"].get<std::string>().empty());
    EXPECT_NE(step["journal"].get<std::string>().find(".jsonl"), std::string::npos) << step;
    EXPECT_FALSE(step["started"].get<std::string>().empty());
    EXPECT_FALSE(step["ended"].get<std::string>().empty());

    // The camera came back with its new version: both are listed, in order.
    const nlohmann::json upgraded = ByMac(Json({"inventory", "--site", "Depot", "--json"}), a.mac);
    ASSERT_FALSE(upgraded.is_null());
    EXPECT_EQ(upgraded["version"], "4.1.0");
    ASSERT_EQ(upgraded["versions"].size(), 2u) << upgraded;
    EXPECT_EQ(upgraded["versions"][0]["version"], "4.0.2");
    EXPECT_EQ(upgraded["versions"][1]["version"], "4.1.0");
    ASSERT_EQ(RunInv({"history"}, out), 0);
    EXPECT_NE(out.find("4.0.2(230118)"), std::string::npos) << out;
    EXPECT_NE(out.find("Upgraded successfully!"), std::string::npos) << out;
    ASSERT_EQ(RunInv({"inventory", "--csv"}, out), 0);
    EXPECT_EQ(out.rfind("site,mac,name,model,ip,ip2,version,build,", 0), 0u) << out;
    EXPECT_NE(out.find("Depot," + a.mac + ",Cam 1,IPC-2020,"), std::string::npos) << out;
}

TEST_F(CliInventory, WithoutASiteCamerasAreRecordedUnderTheirAdaptersSubnet) {
    auto a = Camera(1);
    ASSERT_TRUE(StartFleet({a}));
    std::string out;
    // The loopback cameras are in the subnet of the host's loopback adapter.
    ASSERT_EQ(RunInv({"scan"}, out), 0) << m_err;
    ASSERT_EQ(RunInv({"ai-versions", "--mac", a.mac, "--password", "secret"}, out), 0) << m_err;
    const nlohmann::json camera =
        ByMac(Json({"inventory", "--site", "127.0.0.0/8", "--json"}), a.mac);
    ASSERT_FALSE(camera.is_null());
    EXPECT_EQ(camera["versions"].size(), 1u) << "the same version seen by both searches";
}

TEST_F(CliInventory, BadInputIsRefusedAndNothingIsContacted) {
    auto a = Camera(1);
    ASSERT_TRUE(StartFleet({a}));
    std::string out;
    ASSERT_EQ(RunInv({"scan", "--site", "Depot"}, out), 0) << m_err;
    const int connects = m_fleet.CountEvents(a.mac, "connect");

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"history", "--site", "Nowhere"}, "unknown site \"Nowhere\""},
        {{"inventory", "--site", "Nowhere"}, "unknown site \"Nowhere\""},
        {{"inventory", "--older-than", "4.0.x"}, "--older-than: a version is numbers"},
        {{"inventory", "--older-than", ""}, "--older-than: a version is 1 to 15 bytes"},
        {{"history", "--mac", "02:CC"}, "is not six hex pairs"},
        {{"scan", "--site", "a\x1b]0;x\x07"}, "--site: a site name must not hold control"},
        {{"upgrade", "--package", NewStylePackage(m_box), "--all", "--yes", "--site",
          std::string(65, 's')},
         "--site: a site name is at most 64 bytes"},
    };
    for (const auto& [args, message] : refused) {
        EXPECT_EQ(RunInv(args, out), 2) << args[0] << " " << m_err;
        EXPECT_NE(m_err.find(message), std::string::npos) << m_err;
        EXPECT_EQ(m_err.find('\x1b'), std::string::npos) << "escapes are shown, not sent";
        EXPECT_EQ(std::count(m_err.begin(), m_err.end(), '\n'), 1) << m_err;
    }
    EXPECT_EQ(m_fleet.CountEvents(a.mac, "connect"), connects) << "a refused upgrade connected";
    // A database that does not exist holds no site either.
    std::vector<std::string> args = {"--inventory", m_box.File("none.sqlite"), "history", "--site",
                                     "Depot"};
    EXPECT_EQ(RunArgs(args, out), 2);
    EXPECT_NE(m_err.find("unknown site"), std::string::npos) << m_err;
    EXPECT_FALSE(std::filesystem::exists(m_box.File("none.sqlite")));
}

TEST_F(CliInventory, CameraTextsAreShownEscapedAndCsvFormulasDefused) {
    std::string error;
    {
        auto inventory = CInventory::Open(Db(), InventoryAccess::Write, error);
        ASSERT_NE(inventory, nullptr) << error;
        CAMERA_SIGHTING s;
        s.mac = "02:CC:00:00:00:99";
        s.name = "=HYPERLINK(\"http://x\")\x1b[2J";
        s.model = "<b>IPC</b>\r\nforged,line";
        s.version = "4.0.2";
        s.seenAt = 1;
        ASSERT_TRUE(inventory->RecordSightings("Depot", {s}, error)) << error;
    }
    std::string out;
    ASSERT_EQ(RunInv({"inventory"}, out), 0) << m_err;
    EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;
    EXPECT_EQ(out.find('\r'), std::string::npos) << out;
    EXPECT_NE(out.find("\\x1B[2J"), std::string::npos) << out;
    ASSERT_EQ(RunInv({"inventory", "--csv"}, out), 0);
    EXPECT_NE(out.find(",\"'=HYPERLINK(\"\"http://x\"\")\\x1B[2J\","), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
}

TEST_F(CliInventory, AnInventoryLockedByAnotherProgramIsToldAndTheUpgradeStillHappens) {
    auto a = Camera(1);
    ASSERT_TRUE(StartFleet({a}));
    std::string out;
    ASSERT_EQ(RunInv({"scan"}, out), 0) << m_err;
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(Db().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const std::string package = NewStylePackage(m_box);
    const int status =
        RunInv({"upgrade", "--package", package, "--all", "--password", "secret", "--yes"}, out);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(status, 0) << m_err;
    EXPECT_NE(out.find("Upgraded successfully!"), std::string::npos) << out;
    const std::string told = "is locked by another program";
    ASSERT_NE(m_err.find(told), std::string::npos) << m_err;
    EXPECT_EQ(m_err.find(told), m_err.rfind(told)) << "told once: " << m_err;
    EXPECT_NE(m_err.find("this run is not recorded in it"), std::string::npos) << m_err;
}

TEST_F(CliInventory, AnUnusableInventoryIsToldOnceAndLeftAsItIs) {
    auto a = Camera(1);
    ASSERT_TRUE(StartFleet({a}));
    {
        sqlite3* newer = nullptr;
        ASSERT_EQ(sqlite3_open(m_box.File("newer.sqlite").c_str(), &newer), SQLITE_OK);
        sqlite3_exec(newer, "CREATE TABLE t (x); PRAGMA user_version = 3", nullptr, nullptr,
                     nullptr);
        sqlite3_close(newer);
    }
    m_box.Write("text.sqlite", "camera list\n02:CC:00:00:00:01\n");
    for (const auto& [name, problem] :
         {std::pair{"newer.sqlite", "has schema version 3, newer than this program's 2"},
          std::pair{"text.sqlite", "is not an SQLite database"}}) {
        const std::string before = m_box.Read(name);
        std::string out;
        std::vector<std::string> args = {"--inventory", m_box.File(name), "scan"};
        EXPECT_EQ(Run(args, out), 0) << m_err;
        EXPECT_NE(out.find(a.mac), std::string::npos) << "the scan went on";
        ASSERT_NE(m_err.find(problem), std::string::npos) << m_err;
        EXPECT_EQ(m_err.find(problem), m_err.rfind(problem)) << m_err;
        EXPECT_EQ(m_box.Read(name), before);
        args = {"--inventory", m_box.File(name), "inventory"};
        EXPECT_EQ(Run(args, out), 1);
        EXPECT_NE(m_err.find(problem), std::string::npos) << m_err;
        EXPECT_EQ(m_box.Read(name), before);
    }
}

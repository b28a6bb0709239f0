// The session's inventory hooks: a batch cancelled while its first camera
// logs in and the others wait for a slot still leaves one step per camera,
// with the run's package and the end the front-end saw.
#include <gtest/gtest.h>

#include "app/Settings.h"
#include "inventory/Inventory.h"
#include "support/SessionHarness.h"
#include "upgrade/UpgradeResult.h"

TEST(InventoryHook, ACancelledBatchLeavesAStepForEveryCamera) {
    CSessionHarness h;
    std::vector<std::string> macs;
    for (int n = 1; n <= 3; ++n) {
        auto cam = h.Camera(n);
        cam.faults.silentLogin = n == 1;  // holds the one slot until the cancel
        h.Fleet().AddCamera(cam);
        macs.push_back(cam.mac);
    }
    h.SetSetting(settings::kMaxParallelUpgrades, "1");
    const std::string path = h.Sandbox().File("inventory.sqlite");
    h.Options().inventoryPath = path;
    h.Options().inventorySite = "Bench";
    ASSERT_TRUE(h.Start());
    ASSERT_EQ(h.StartBatch(macs, h.NewStylePackage("fw.bin")), BatchStartResult::Started);
    ASSERT_TRUE(h.Fleet().WaitForEvent(macs[0], "login", 20000));
    h.Session().CancelAll();
    ASSERT_TRUE(h.WaitForBatchEnd(20000));
    EXPECT_EQ(h.Session().InventoryProblem(), "");

    std::string error;
    auto inventory = CInventory::Open(path, InventoryAccess::Read, error);
    ASSERT_NE(inventory, nullptr) << error;
    std::vector<INVENTORY_CAMERA> cameras;
    ASSERT_TRUE(inventory->Cameras("Bench", "", cameras, error)) << error;
    EXPECT_GE(cameras.size(), 3u) << "every camera the search found";
    for (const std::string& mac : macs) {
        SCOPED_TRACE(mac);
        std::vector<INVENTORY_STEP> steps;
        ASSERT_TRUE(inventory->Steps("Bench", mac, steps, error)) << error;
        ASSERT_EQ(steps.size(), 1u);
        const UPGRADE_STEP& step = steps[0].step;
        EXPECT_EQ(step.result, NumberOf(h.FinalResult(mac)));
        EXPECT_EQ(step.result, NumberOf(UpgradeResult::Cancelled));
        EXPECT_EQ(step.attempts, mac == macs[0] ? 1 : 0);
        EXPECT_EQ(step.packageName, "fw.bin");
        EXPECT_EQ(step.packageSha256.size(), 64u);
        EXPECT_EQ(step.fromVersion, "4.0.2(230118)");
        EXPECT_FALSE(step.runId.empty());
        EXPECT_NE(step.endedAt, 0);
    }
}

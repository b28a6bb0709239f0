// The session's list of cameras while a batch runs: a camera that reboots
// during its upgrade stays listed; one without a job leaves the list.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/Settings.h"
#include "support/SessionHarness.h"
#include "upgrade/UpgradeResult.h"

namespace {

bool Listed(CSessionHarness& h, const std::string& mac) {
    const auto devices = h.Session().Devices();
    return std::any_of(devices.begin(), devices.end(),
                       [&](const DeviceInfoPtr& record) { return record->mac == mac; });
}

}  // namespace

TEST(SessionDevices, CameraGoneDuringItsJobStaysListed) {
    CSessionHarness h;
    h.SetSetting(settings::kWaitRebootTimeout, "600");
    auto upgrading = h.Camera(1);
    upgrading.faults.neverReturn = true;
    auto idle = h.Camera(2);
    h.Fleet().AddCamera(upgrading);
    h.Fleet().AddCamera(idle);
    ASSERT_TRUE(h.Start());
    ASSERT_EQ(h.StartBatch({upgrading.mac}, h.NewStylePackage("fw.bin")),
              BatchStartResult::Started);

    // The camera flashed and fell silent; the search gave it up while its
    // job waits for it.
    ASSERT_TRUE(h.WaitForLog("kept while upgrading, mac: " + upgrading.mac, 1, 20000));
    EXPECT_TRUE(h.Session().HasJob(upgrading.mac));
    EXPECT_TRUE(Listed(h, upgrading.mac));
    EXPECT_NE(h.Session().FindDevice(upgrading.mac), nullptr);

    // A camera without a job that falls silent leaves the list, and the
    // front-end hears of it.
    ASSERT_TRUE(h.Fleet().SetOnline(idle.mac, false));
    ASSERT_TRUE(h.WaitUntil(
        [&] { return std::count(h.GoneReports().begin(), h.GoneReports().end(), idle.mac) > 0; }));
    EXPECT_FALSE(Listed(h, idle.mac));
    EXPECT_EQ(std::count(h.GoneReports().begin(), h.GoneReports().end(), upgrading.mac), 0)
        << "the front-end never hears the upgrading camera is gone";
    EXPECT_TRUE(Listed(h, upgrading.mac));

    h.Session().CancelAll();
    ASSERT_TRUE(h.WaitForBatchEnd(30000));
    EXPECT_EQ(h.FinalResult(upgrading.mac), UpgradeResult::Cancelled);
}

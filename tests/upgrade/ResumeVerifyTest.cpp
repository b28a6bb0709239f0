// A resumed camera whose last block may have gone out is followed as a
// running job follows one: offline wait, reboot wait, then the version
// rule, the file-name rule included. Only a camera seen again with its old
// version after both waits is sent the package again.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/Settings.h"
#include "support/SessionHarness.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeResult.h"

namespace {

// The journal of the last batch as a kill right after its "last-block"
// line leaves it, written to `name` in the sandbox.
std::string KilledAfterLastBlock(CSessionHarness& h, const std::string& name) {
    std::string text = testing_support::ReadFile(h.Session().RunJournalPath());
    const size_t lastBlock = text.find("\"event\":\"last-block\"");
    if (lastBlock == std::string::npos) {
        return {};
    }
    const std::string path = h.Sandbox().File(name);
    std::ofstream(path) << text.substr(0, text.find('\n', lastBlock) + 1);
    return path;
}

// Index of the first log line holding `fragment`, or -1.
int LogIndex(CSessionHarness& h, const std::string& fragment) {
    const std::vector<LogLine> lines = h.Log().Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].text.find(fragment) != std::string::npos) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

// Killed between "last-block" and block 100: the camera never flashed and
// stays reachable. As for a running job, the offline wait is followed by
// the reboot wait; only once it answered all along through both is it sent
// the package again, and it then takes exactly one transfer.
TEST(ResumeVerify, CameraThatStaysReachableGoesThroughTheRebootWaitBeforeANewTransfer) {
    CSessionHarness h;
    h.SetSetting(settings::kWaitDeviceOfflineTimeout, "1");
    h.SetSetting(settings::kWaitRebootTimeout, "2");
    h.SetSetting(settings::kTryUpgradeMaxCountSingle, "1");
    auto cam = h.Camera(1);
    cam.faults.closeAtBlock = 100;  // the first run's block 100 never lands
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    BatchRequest request = h.Request({cam.mac});
    request.packagePath = h.NewStylePackage("fw.bin");
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    ASSERT_EQ(h.Fleet().CountEvents(cam.mac, "flash_start"), 0);
    const std::string killed = KilledAfterLastBlock(h, "runs/killed.jsonl");
    ASSERT_FALSE(killed.empty());

    ASSERT_TRUE(h.Fleet().SetFaults(cam.mac, SimFaults{}));
    const int loginsBefore = h.Fleet().CountEvents(cam.mac, "login_ok");
    request.resumeRun = killed;
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    EXPECT_EQ(h.Fleet().State(cam.mac)->upgradesCompleted, 1);
    EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "login_ok"), loginsBefore + 1);
    const int notOffline = LogIndex(h, "device is not offline, mac: " + cam.mac);
    const int reboot = LogIndex(h, "wait device reboot, mac: " + cam.mac);
    const int again = LogIndex(h, "resumed device never restarted, upgrade again, mac: " + cam.mac);
    ASSERT_GE(notOffline, 0);
    EXPECT_GT(reboot, notOffline);
    EXPECT_GT(again, reboot);
}

// A forced package that names the version the camera already runs: the
// run is stopped while the camera flashes it, and resumed at once. The
// camera restarts with the same version, which the file name names: it
// counts as upgraded and is not flashed a second time.
TEST(ResumeVerify, ForcedPackageThatFlashedIsNotSentAgain) {
    CSessionHarness h;
    auto cam = h.Camera(1);
    cam.faults.sameVersionOnReturn = true;
    cam.flashMs = 1500;
    cam.offlineMs = 1500;
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    BatchRequest request = h.Request({cam.mac});
    request.packagePath = h.NewStylePackage("fw_" + cam.softwareVer + ".bin");
    request.force = true;
    h.Fleet().SetEventObserver([&h, mac = cam.mac](const SimEvent& e) {
        if (e.kind == "flash_start" && e.mac == mac) {
            h.Session().CancelAll();
        }
    });
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    h.Fleet().SetEventObserver(nullptr);
    ASSERT_EQ(h.FinalResult(cam.mac), UpgradeResult::Cancelled);
    request.resumeRun = h.Session().RunJournalPath();
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started) << h.Session().RefusalDetail();
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "flash_start"), 1);
    EXPECT_TRUE(h.Log().Contains("verify resumed device, mac: " + cam.mac));
}

// What a technician sees while cameras install and restart: a camera that
// restarts faster than the stretch of refused connections that counts as
// offline is taken as restarted when it comes back with its new version,
// not after the offline wait runs out; and the time between its last block
// and its return reads as installing, never as a transfer at 100%.
#include <gtest/gtest.h>

#include "BatchTracker.h"
#include "CliFixture.h"
#include "CliProcess.h"
#include "ProgressView.h"
#include "app/StringTable.h"
#include "upgrade/UpgradeResult.h"

namespace {

using std::chrono::seconds;

class CliRestartTest : public CliFixture {};

}  // namespace

TEST_F(CliRestartTest, FastRestartEndsWithoutWaitingOutTheOfflineTimeout) {
    auto fast = Camera(1);
    fast.flashMs = 200;
    fast.offlineMs = 1500;  // far below the program's 10 s of refused connections
    ASSERT_TRUE(StartFleet({fast}));

    // The real program, with its own offline stretch, and an offline wait
    // of an hour: only the camera's return can end the job in time.
    std::vector<std::string> args =
        UpgradeAll({"--report", m_box.File("r.json"), "--seconds", "1"});
    args.insert(args.begin(),
                {"--set", "WaitDeviceOfflineTimeout=3600", "--set", "WaitRebootTimeout=3600"});
    CChildProcess child;
    ASSERT_TRUE(StartChild(child, args));
    EXPECT_EQ(ExitStatus(child, seconds(120)), 0) << ChildOutput();

    EXPECT_EQ(StatusOf(m_box.Read("r.json"), fast.mac), "upgraded") << m_box.Read("r.json");
    // The camera went through its restart once: it was never sent the
    // package again, and was seen back with its new version.
    EXPECT_EQ(m_fleet.CountEvents(fast.mac, "transfer_done"), 1);
    const std::string out = m_box.Read("out.txt");
    EXPECT_NE(out.find("Installing, waiting for the restart"), std::string::npos) << out;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_FALSE(line.find("100%") != std::string::npos &&
                     line.find("transferring") != std::string::npos)
            << line;
    }
}

TEST(InstallingView, TheTimeAfterTheLastBlockReadsAsInstallingWithItsElapsedTime) {
    CameraOutcome camera;
    camera.mac = "02:CC:00:00:00:01";
    CBatchTracker batch({camera});
    batch.Apply(BatchPreparedEvent{camera.mac, 1}, 0);
    batch.Apply(CameraStateEvent{camera.mac, UpgradeProgress::Starting}, 1);
    batch.Apply(CameraProgressEvent{camera.mac, 49}, 2);
    EXPECT_NE(CameraLine(batch.Outcomes()[0], 79).find("transferring"), std::string::npos);

    batch.Apply(CameraProgressEvent{camera.mac, 99}, 3);
    EXPECT_FALSE(batch.Tick(3.5));  // still within the first second
    EXPECT_TRUE(batch.Tick(15.2));
    // Waiting for the camera to complete is the same phase to a technician.
    batch.Apply(CameraStateEvent{camera.mac, UpgradeProgress::WaitComplete}, 16);
    std::string line = CameraLine(batch.Outcomes()[0], 100);
    EXPECT_NE(line.find(LoadString(IDS_INSTALLING) + " (12 s)"), std::string::npos) << line;
    EXPECT_EQ(line.find("transferring"), std::string::npos) << line;

    // A further attempt transfers again; the result counts from the first.
    batch.Apply(CameraStateEvent{camera.mac, UpgradeProgress::Starting}, 20);
    EXPECT_FALSE(batch.Tick(25));
    line = CameraLine(batch.Outcomes()[0], 100);
    EXPECT_EQ(line.find(LoadString(IDS_INSTALLING)), std::string::npos) << line;
    batch.Apply(CameraResultEvent{camera.mac, UpgradeResult::Ok}, 31);
    EXPECT_EQ(batch.Outcomes()[0].seconds, 30);
    EXPECT_FALSE(batch.Tick(40));
}

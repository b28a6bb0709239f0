// How fast a transfer and a returning camera go: the camera's
// acknowledgement wakes the transfer loop (that no block goes out before
// the last one is acknowledged, UpgradeResultsTest's stalled camera shows),
// and a camera that the job awaits is probed directly between search rounds.
#include <gtest/gtest.h>

#include "support/SessionHarness.h"
#include "upgrade/UpgradeResult.h"

namespace {

// The numbers of the blocks the camera accepted, in the order it saw them.
std::vector<int64_t> AcceptedBlocks(CSessionHarness& h, const std::string& mac) {
    std::vector<int64_t> blocks;
    for (const SimEvent& e : h.Fleet().Events(mac)) {
        if (e.kind == "block") {
            blocks.push_back(e.GetInt("n"));
        }
    }
    return blocks;
}

std::vector<int64_t> OneToHundred() {
    std::vector<int64_t> blocks;
    for (int64_t n = 1; n <= 100; ++n) {
        blocks.push_back(n);
    }
    return blocks;
}

}  // namespace

// No second search round during the batch: only the directed probe sees the
// camera come back from its reboot.
TEST(TransferPacing, AcknowledgementsWakeTheLoopAndTheReturnIsFoundByTheDirectedProbe) {
    CSessionHarness h;
    // Were the loop to sleep its turn, 100 blocks would take 100 minutes.
    h.Options().timings.ackPollMs = 60000;
    h.Options().searchRoundIntervalMs = 600000;
    auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    h.RunBatch({cam.mac}, h.NewStylePackage("fw.bin"));
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    EXPECT_EQ(AcceptedBlocks(h, cam.mac), OneToHundred());
    EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "block_rejected"), 0);

    EXPECT_GE(h.Log().Count("awaited devices probed directly: " + cam.ip + ", " + cam.ip2), 1);
    bool backOnline = false;
    int probesAfterReturn = 0;
    for (const SimEvent& e : h.Fleet().Events(cam.mac)) {
        backOnline = backOnline || e.kind == "online";
        probesAfterReturn += backOnline && e.kind == "probe_answered" ? 1 : 0;
    }
    EXPECT_TRUE(backOnline);
    EXPECT_GE(probesAfterReturn, 1);
    // The reply took the search's usual way into the list.
    EXPECT_EQ(h.Session().FindDevice(cam.mac)->build, cam.build + 1);
}

// Where a run searches: the session's own search targets are a network to
// search even when loopback is the only interface that is up.
#include <gtest/gtest.h>

#include "support/Netns.h"
#include "support/SessionHarness.h"
#include "upgrade/UpgradeResult.h"

TEST(SessionSearch, OwnTargetsAreSearchedWhenOnlyLoopbackIsUp) {
    if (!testing_support::CNetns::IsRoot()) {
        GTEST_SKIP() << "a network namespace needs root";
    }
    testing_support::CNetns netns;
    ASSERT_TRUE(netns.Ok()) << netns.Error();
    const bool entered = netns.Run([] {
        CSessionHarness h;
        auto cam = h.Camera(1);
        h.Fleet().AddCamera(cam);
        ASSERT_TRUE(h.Start()) << "the camera is found through the run's own target";
        h.RunBatch({cam.mac}, h.NewStylePackage("fw.bin"));
        EXPECT_EQ(h.FinalResult(cam.mac), UPGRADE_OK);
    });
    EXPECT_TRUE(entered);
}

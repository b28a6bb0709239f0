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
        EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    });
    EXPECT_TRUE(entered);
}

// Two sessions in one process (two windows' worth of runs): each searches
// with a socket and thread of its own, lists only its own fleet and
// upgrades while the other does.
TEST(SessionSearch, TwoSessionsSideBySideEachListAndUpgradeTheirOwnCameras) {
    CSessionHarness first;
    CSessionHarness second;
    // Both would write the same settings file: not what this is about.
    first.rememberLogin = false;
    second.rememberLogin = false;
    const auto a = first.Camera(1);
    const auto b = second.Camera(1);
    const auto c = second.Camera(2);
    first.Fleet().AddCamera(a);
    second.Fleet().AddCamera(b);
    second.Fleet().AddCamera(c);
    ASSERT_TRUE(first.Start()) << "the first session searches";
    ASSERT_TRUE(second.Start()) << "a second session searches too";
    EXPECT_NE(first.Session().SearchReplyPort(), second.Session().SearchReplyPort());

    ASSERT_EQ(first.StartBatch({a.mac}, first.NewStylePackage("fw.bin")),
              BatchStartResult::Started);
    ASSERT_EQ(second.StartBatch({b.mac}, second.NewStylePackage("fw.bin")),
              BatchStartResult::Started);
    ASSERT_TRUE(first.WaitForBatchEnd());
    ASSERT_TRUE(second.WaitForBatchEnd());
    EXPECT_EQ(first.FinalResult(a.mac), UpgradeResult::Ok);
    EXPECT_EQ(second.FinalResult(b.mac), UpgradeResult::Ok);
    EXPECT_EQ(second.Fleet().State(c.mac)->upgradesCompleted, 0);

    // Many rounds later, neither lists a camera of the other's fleet.
    ASSERT_EQ(first.Session().Devices().size(), 1u);
    EXPECT_EQ(first.Session().Devices()[0]->mac, a.mac);
    EXPECT_EQ(second.Session().Devices().size(), 2u);
    EXPECT_FALSE(second.Session().FindDevice(a.mac));

    // One stops, the other goes on searching.
    first.Session().Stop();
    EXPECT_EQ(first.Session().SearchReplyPort(), 0);
    EXPECT_NE(second.Session().SearchReplyPort(), 0);
    EXPECT_TRUE(second.Session().SearchNow());
}

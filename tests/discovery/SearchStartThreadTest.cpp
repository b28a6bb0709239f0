#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "app/MessageQueue.h"
#include "discovery/LanProbeSearch.h"
#include "discovery/SearchIntake.h"
#include "discovery/SearchStartThread.h"
#include "support/TestSupport.h"

using testing_support::WaitFor;
using namespace std::chrono_literals;

TEST(SearchStartThread, StartsTheSearchOnceTheNetworkIsUp) {
    std::atomic<int> checks{0};
    std::atomic<int> starts{0};
    CSearchStartThread thread;
    ASSERT_TRUE(thread.Start([&] { return ++checks >= 3; }, [&] { ++starts; }, 5));
    EXPECT_FALSE(thread.Start([] { return true; }, [] {}, 5)) << "one thread at a time";
    ASSERT_TRUE(WaitFor([&] { return thread.HasStartedSearch(); }));
    thread.Stop();
    EXPECT_EQ(checks.load(), 3);
    EXPECT_EQ(starts.load(), 1);
}

TEST(SearchStartThread, StopEndsTheWaitWithoutANetwork) {
    std::atomic<int> checks{0};
    std::atomic<bool> started{false};
    CSearchStartThread thread;
    ASSERT_TRUE(thread.Start(
        [&] {
            ++checks;
            return false;
        },
        [&] { started = true; }, 60000));
    ASSERT_TRUE(WaitFor([&] { return checks >= 1; }));
    const auto begin = std::chrono::steady_clock::now();
    thread.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s) << "not a whole poll interval";
    EXPECT_FALSE(started.load());
    thread.Stop();  // twice is harmless
}

TEST(SearchStartThread, IntakeStopsWhileWaitingForTheNetwork) {
    LANPROBE_SEARCH_SetNetworkAdapter("fh-nosuch0");
    auto queue = std::make_shared<CMessageQueue>();
    CSearchIntake intake(queue);
    ASSERT_TRUE(intake.Start([] { return false; }, 500));
    EXPECT_FALSE(intake.Start([] { return false; }, 500)) << "already started";
    const auto begin = std::chrono::steady_clock::now();
    intake.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
    EXPECT_EQ(LANPROBE_SEARCH_GetReplyPort(), 0) << "the search never started";
    intake.Stop();
}

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>

#include "app/MessageQueue.h"
#include "discovery/LanProbeSearch.h"
#include "discovery/SearchIntake.h"
#include "discovery/SearchStartThread.h"
#include "support/TestSupport.h"

using testing_support::ReturnsWithin;
using testing_support::WaitFor;
using namespace std::chrono_literals;

namespace {

// A poll interval that Stop must cut short: waiting it out would take a minute.
constexpr uint32_t kLongPollMs = 60000;

}  // namespace

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
        [&] { started = true; }, kLongPollMs));
    ASSERT_TRUE(WaitFor([&] { return checks >= 1; }));
    EXPECT_TRUE(ReturnsWithin(20s, [&] { thread.Stop(); })) << "not a whole poll interval";
    EXPECT_EQ(checks.load(), 1);
    EXPECT_FALSE(started.load());
    thread.Stop();  // twice is harmless
}

TEST(SearchStartThread, IntakeStopsWhileWaitingForTheNetwork) {
    auto queue = std::make_shared<CMessageQueue>();
    CSearchIntake intake(queue);
    intake.Search().SetNetworkAdapter("fh-nosuch0");
    std::atomic<int> checks{0};
    ASSERT_TRUE(intake.Start(
        [&] {
            ++checks;
            return false;
        },
        kLongPollMs));
    EXPECT_FALSE(intake.Start([] { return false; }, 500)) << "already started";
    ASSERT_TRUE(WaitFor([&] { return checks >= 1; }));
    EXPECT_TRUE(ReturnsWithin(20s, [&] { intake.Stop(); })) << "not a whole poll interval";
    EXPECT_EQ(intake.Search().GetReplyPort(), 0) << "the search never started";
    intake.Stop();
}

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Pub.h"
#include "support/TestSupport.h"

using testing_support::WaitFor;
using Clock = std::chrono::steady_clock;

TEST(Pub, ThreadRunsWhileFlagIsSetAndExitJoins) {
    std::atomic<bool> running{false};
    std::atomic<int> turns{0};
    PUB_THREAD thread = PUB_CreateThread(
        [&] {
            while (running.load()) {
                ++turns;
                PUB_Sleep(1);
            }
        },
        &running);
    ASSERT_TRUE(thread);
    EXPECT_TRUE(running.load());
    EXPECT_TRUE(WaitFor([&] { return turns.load() >= 3; }));
    PUB_ExitThread(thread, &running);
    EXPECT_FALSE(thread);
    EXPECT_FALSE(running.load());
    PUB_ExitThread(thread, &running);  // no thread: harmless
}

// The length of a sleep or of a timed wait is what these calls promise; only
// lower bounds are checked, which a slow or loaded machine cannot break.
TEST(Pub, SleepZeroMeansTenMilliseconds) {
    const auto start = Clock::now();
    PUB_Sleep(0);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(10));
}

// 0 means "no time yet" to callers: at the instant the 32-bit count wraps
// to 0, the next millisecond is given instead.
TEST(Pub, TickCountIsNeverZero) {
    static int calls = 0;
    const auto wrapping = []() -> uint64_t {
        ++calls;
        return calls == 1 ? uint64_t{1} << 32 : (uint64_t{1} << 32) + 1;
    };
    EXPECT_EQ(PUB_GetTickCountFrom(+wrapping), 1u);
    EXPECT_EQ(calls, 2);
    EXPECT_NE(PUB_GetTickCount(), 0u);
}

TEST(Pub, LockIsRecursiveAndGuardReleasesOnException) {
    CPUB_Lock lock;
    {
        CPUB_LockAction outer(lock);
        CPUB_LockAction inner(lock);
    }
    try {
        CPUB_LockAction guard(lock);
        throw 1;
    } catch (int) {
    }
    std::atomic<bool> taken{false};
    std::thread other([&] {
        taken = lock.TryLock();
        if (taken) {
            lock.UnLock();
        }
    });
    other.join();
    EXPECT_TRUE(taken.load());
}

TEST(PubEvent, ManualResetStaysSignalledForEveryWaiter) {
    CPUB_Event event(true, false);
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(0));
    std::atomic<int> released{0};
    std::thread a([&] { released += event.Wait(1000); });
    std::thread b([&] { released += event.Wait(1000); });
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(PubEvent, AutoResetReleasesOneWaiterAndClears) {
    CPUB_Event event(false, true);
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0)) << "cleared by the first wait";
    std::atomic<int> released{0};
    std::thread a([&] { released += event.Wait(300); });
    std::thread b([&] { released += event.Wait(300); });
    event.Set();
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 1);
}

TEST(PubEvent, TimedWaitEndsAndSetFromAnotherThreadWakes) {
    CPUB_Event event(true, false);
    const auto start = Clock::now();
    EXPECT_FALSE(event.Wait(30));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
    // Set once this thread is inside the wait, so that the wait is woken.
    const pid_t waiter = testing_support::ThisThreadId();
    std::thread setter([&] {
        WaitFor([&] { return testing_support::IsThreadBlocked(waiter); });
        event.Set();
    });
    EXPECT_TRUE(event.Wait(CPUB_Event::kInfinite));
    setter.join();
}

// The window's adapter of the session's events: events posted on other
// threads reach the window thread in order, many per wake-up, also through
// a handler's nested event loop, and none after the adapter is gone.
#include <gtest/gtest.h>

#include <numeric>

#include <QCoreApplication>
#include <atomic>
#include <thread>
#include <vector>

#include "GuiTestSupport.h"
#include "SessionEventAdapter.h"
#include "model/ResultCode.h"

namespace {

class SessionEventAdapterTest : public CGuiTest {
protected:
    // Delivers posted events until `done` holds (a generous limit).
    static bool DeliverUntil(const std::function<bool()>& done) {
        return testing_support::WaitFor([&] {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            return done();
        });
    }
};

TEST_F(SessionEventAdapterTest, EventsOfAnotherThreadArriveInOrderAndBatched) {
    CSessionEventAdapter adapter;
    std::vector<int> progress;
    std::vector<UpgradeProgress> states;
    int ended = -1;
    size_t progressWhenEnded = 0;
    QObject::connect(&adapter, &CSessionEventAdapter::CameraProgress, &adapter,
                     [&](const std::string& mac, int block) {
                         EXPECT_EQ(mac, "02:00:00:00:00:01");
                         progress.push_back(block);
                     });
    QObject::connect(&adapter, &CSessionEventAdapter::CameraState, &adapter,
                     [&](const std::string&, UpgradeProgress state) { states.push_back(state); });
    QObject::connect(&adapter, &CSessionEventAdapter::BatchEnded, &adapter, [&](int jobs) {
        ended = jobs;
        progressWhenEnded = progress.size();
    });

    constexpr int kEvents = 20000;
    SessionEventSinkPtr sink = adapter.Sink();
    std::atomic<bool> allPosted{false};
    std::thread worker([&] {
        EXPECT_TRUE(
            sink->OnEvent(CameraStateEvent{"02:00:00:00:00:01", UpgradeProgress::Starting}));
        for (int i = 0; i < kEvents; ++i) {
            sink->OnEvent(CameraProgressEvent{"02:00:00:00:00:01", i});
        }
        sink->OnEvent(BatchEndedEvent{1});
        allPosted = true;
    });
    // The window thread takes events while the worker still posts.
    EXPECT_TRUE(DeliverUntil([&] { return ended >= 0; }));
    worker.join();

    EXPECT_EQ(states, std::vector<UpgradeProgress>{UpgradeProgress::Starting});
    ASSERT_EQ(progress.size(), static_cast<size_t>(kEvents));
    for (int i = 0; i < kEvents; ++i) {
        ASSERT_EQ(progress[i], i) << "the posting order";
    }
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(progressWhenEnded, static_cast<size_t>(kEvents)) << "the end comes last";
    EXPECT_LT(adapter.Wakeups(), kEvents / 10) << "many events per wake-up";
    EXPECT_GT(adapter.Wakeups(), 0);
}

// A handler that runs an event loop of its own (a modal dialog) sees the
// events that follow inside it, still in order, each once.
TEST_F(SessionEventAdapterTest, NestedEventLoopOfAHandlerKeepsTheOrder) {
    CSessionEventAdapter adapter;
    SessionEventSinkPtr sink = adapter.Sink();
    std::vector<int> seen;
    QObject::connect(&adapter, &CSessionEventAdapter::CameraProgress, &adapter,
                     [&](const std::string&, int block) {
                         seen.push_back(block);
                         if (block == 0) {
                             for (int i = 10; i < 20; ++i) {
                                 sink->OnEvent(CameraProgressEvent{"m", i});
                             }
                             EXPECT_TRUE(DeliverUntil([&] { return seen.back() == 19; }));
                         }
                     });
    for (int i = 0; i < 10; ++i) {
        sink->OnEvent(CameraProgressEvent{"m", i});
    }
    EXPECT_TRUE(DeliverUntil([&] { return seen.size() >= 20; }));
    ProcessGuiEvents();
    std::vector<int> expected(20);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(seen, expected);
}

// The session may post until its own stop, after the window is gone: the
// posts fail, queued events are dropped, and no signal is emitted.
TEST_F(SessionEventAdapterTest, NothingArrivesAfterTheAdapterIsDestroyed) {
    auto adapter = std::make_unique<CSessionEventAdapter>();
    SessionEventSinkPtr sink = adapter->Sink();
    std::atomic<int> delivered{0};
    QObject receiver;
    QObject::connect(adapter.get(), &CSessionEventAdapter::DeviceLost, &receiver,
                     [&](const std::string&) { ++delivered; });

    std::atomic<bool> stop{false};
    std::atomic<int> refused{0};
    std::thread worker([&] {
        while (!stop) {
            if (!sink->OnEvent(DeviceLostEvent{"02:00:00:00:00:09"})) {
                ++refused;
            }
        }
    });
    EXPECT_TRUE(DeliverUntil([&] { return delivered > 100; }));
    adapter.reset();  // while the worker posts, with a wake-up likely queued
    const int atDestruction = delivered;
    EXPECT_TRUE(testing_support::WaitFor([&] { return refused > 100; }));
    ProcessGuiEvents();
    stop = true;
    worker.join();
    ProcessGuiEvents();
    EXPECT_EQ(delivered, atDestruction);
}

// While the window shuts down, queued events change nothing.
TEST_F(SessionEventAdapterTest, SilencedAdapterDropsQueuedEvents) {
    CSessionEventAdapter adapter;
    int lost = 0;
    QObject::connect(&adapter, &CSessionEventAdapter::DeviceLost, &adapter,
                     [&](const std::string&) { ++lost; });
    ASSERT_TRUE(adapter.Sink()->OnEvent(DeviceLostEvent{"a"}));
    adapter.Silence();
    ASSERT_TRUE(adapter.Sink()->OnEvent(DeviceLostEvent{"b"}));
    ProcessGuiEvents();
    EXPECT_EQ(lost, 0);
}

}  // namespace

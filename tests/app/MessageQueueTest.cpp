#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "app/MessageQueue.h"

TEST(MessageQueue, DeliversInPostingOrderWithOwnedPayloads) {
    CMessageQueue queue;
    auto info = MakeEmptyDeviceInfo();
    CopyField(info->mac, "00:11:22:33:44:55");
    EXPECT_TRUE(queue.PostMessage(MakeDeviceMessage(DEVICE_NOTIFY_FOUND, std::move(info))));
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(queue.PostMessage(MakeTextMessage(WM_UPGRADE_PROGRESS, i, "mac")));
    }
    auto first = queue.Pop(100);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->id, 0x7EAu);
    auto device = first->TakeDevice();
    ASSERT_TRUE(device);
    EXPECT_STREQ(device->mac, "00:11:22:33:44:55");
    for (int i = 0; i < 100; ++i) {
        auto message = queue.Pop(100);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->id, 0x7ECu);
        EXPECT_EQ(message->wParam, i);
        EXPECT_EQ(message->Text(), "mac");
    }
    EXPECT_FALSE(queue.TryPop());
}

TEST(MessageQueue, ClosedQueueRefusesPosts) {
    CMessageQueue queue;
    queue.PostMessage(MakeTextMessage(WM_UPGRADE_RESULT, 0, "a"));
    queue.Close();
    EXPECT_FALSE(queue.PostMessage(MakeTextMessage(WM_UPGRADE_RESULT, 0, "b")));
    EXPECT_TRUE(queue.Pop(0));
    // Closed and empty, a wait of ten minutes returns at once.
    auto popped = std::async(std::launch::async, [&] { return queue.Pop(600000); });
    ASSERT_EQ(popped.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_FALSE(popped.get());
}

TEST(MessageQueue, PostsFromManyThreadsArriveInEachSendersOrder) {
    CMessageQueue queue;
    std::vector<std::thread> senders;
    for (int s = 0; s < 4; ++s) {
        senders.emplace_back([&queue, s] {
            for (int i = 0; i < 200; ++i) {
                queue.PostMessage(MakeTextMessage(WM_UPGRADE_PROGRESS, i, std::to_string(s)));
            }
        });
    }
    for (auto& t : senders) {
        t.join();
    }
    int last[4] = {-1, -1, -1, -1};
    while (auto message = queue.TryPop()) {
        const int s = std::stoi(message->Text());
        EXPECT_GT(message->wParam, last[s]);
        last[s] = message->wParam;
    }
    for (int v : last) {
        EXPECT_EQ(v, 199);
    }
}

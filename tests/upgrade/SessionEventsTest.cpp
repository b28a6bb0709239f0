// The events a session hands its front-end for a small batch on simulated
// cameras: each camera's in the documented order with its payloads, the
// batch's end after every final result.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "model/DeviceText.h"
#include "support/SessionHarness.h"
#include "upgrade/UpgradeResult.h"

namespace {

// One camera's events of a batch, told as short words: "state 24",
// "prepared", "progress", "result 0"; the blocks go to `blocks`.
std::vector<std::string> CameraStory(const std::vector<SessionEvent>& events,
                                     const std::string& mac, std::vector<int>& blocks) {
    std::vector<std::string> story;
    for (const SessionEvent& event : events) {
        if (const auto* e = std::get_if<CameraStateEvent>(&event); e && e->mac == mac) {
            story.push_back("state " + std::to_string(NumberOf(e->state)));
        } else if (const auto* p = std::get_if<BatchPreparedEvent>(&event); p && p->mac == mac) {
            story.push_back("prepared");
        } else if (const auto* b = std::get_if<CameraProgressEvent>(&event); b && b->mac == mac) {
            if (story.empty() || story.back() != "progress") {
                story.push_back("progress");
            }
            blocks.push_back(b->progress);
        } else if (const auto* r = std::get_if<CameraResultEvent>(&event); r && r->mac == mac) {
            story.push_back("result " + std::to_string(NumberOf(r->code)));
        }
    }
    return story;
}

}  // namespace

TEST(SessionEvents, SmallBatchComesInTheDocumentedOrderWithItsPayloads) {
    CSessionHarness h;
    const SimCameraConfig a = h.Camera(1);
    const SimCameraConfig b = h.Camera(2);
    h.Fleet().AddCamera(a);
    h.Fleet().AddCamera(b);
    ASSERT_TRUE(h.Start());

    // Each camera is found once, with its record. (The table learns of a
    // camera before its event is posted, so Start may return before it.)
    const auto foundEvents = [&](const SimCameraConfig& cam) {
        int found = 0;
        for (const SessionEvent& event : h.Events()) {
            if (const auto* f = std::get_if<DeviceFoundEvent>(&event);
                f && FieldText(f->record->mac) == cam.mac) {
                ++found;
                EXPECT_EQ(FieldText(f->record->ip), cam.ip);
                EXPECT_EQ(FieldText(f->record->devName), cam.name);
            }
        }
        return found;
    };
    EXPECT_TRUE(h.WaitUntil([&] { return foundEvents(a) > 0 && foundEvents(b) > 0; }));
    EXPECT_EQ(foundEvents(a), 1);
    EXPECT_EQ(foundEvents(b), 1);

    const size_t before = h.Events().size();
    h.RunBatch({a.mac, b.mac}, h.NewStylePackage("fw.bin"));
    const std::vector<SessionEvent> batch(h.Events().begin() + static_cast<long>(before),
                                          h.Events().end());

    std::set<int> allBlocks;
    for (int i = 0; i < 100; ++i) {
        allBlocks.insert(i);
    }
    for (const SimCameraConfig& cam : {a, b}) {
        std::vector<int> blocks;
        std::vector<std::string> story = CameraStory(batch, cam.mac, blocks);
        // The waits after the transfer (17, 18) may come or not.
        std::erase_if(story, [](const std::string& s) {
            return s == "state " + std::to_string(NumberOf(UpgradeProgress::WaitUpgradeMode)) ||
                   s == "state " + std::to_string(NumberOf(UpgradeProgress::WaitComplete));
        });
        EXPECT_EQ(story,
                  (std::vector<std::string>{
                      "state " + std::to_string(NumberOf(UpgradeProgress::Queued)), "prepared",
                      "state " + std::to_string(NumberOf(UpgradeProgress::Starting)), "progress",
                      "result " + std::to_string(NumberOf(UpgradeResult::Ok))}))
            << cam.mac;
        // A block may be told more than once, never after a later one.
        EXPECT_TRUE(std::is_sorted(blocks.begin(), blocks.end())) << cam.mac;
        EXPECT_EQ(std::set<int>(blocks.begin(), blocks.end()), allBlocks) << cam.mac;
    }

    // The cameras are counted as they are prepared; the end is the batch's
    // last event and counts its jobs.
    std::vector<int> counts;
    for (const SessionEvent& event : batch) {
        if (const auto* p = std::get_if<BatchPreparedEvent>(&event)) {
            counts.push_back(p->prepared);
        }
    }
    EXPECT_EQ(counts, (std::vector<int>{1, 2}));
    ASSERT_FALSE(batch.empty());
    const auto* end = std::get_if<BatchEndedEvent>(&batch.back());
    ASSERT_NE(end, nullptr) << "the end comes last";
    EXPECT_EQ(end->jobs, 2);
    for (const SessionEvent& event : batch) {
        EXPECT_FALSE(std::holds_alternative<BatchPausedEvent>(event));
    }
}

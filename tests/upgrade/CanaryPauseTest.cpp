// Canary rollouts and a paused batch against simulated cameras: a model's
// other cameras start only once its canaries came back upgraded, a failed
// canary holds its model back while the rest of the site goes on, a resumed
// run keeps the rule, and a paused batch starts no camera until it goes on.
// Orders are read from the simulator's event log, never from times.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/Settings.h"
#include "support/SessionHarness.h"
#include "upgrade/CanarySchedule.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeResult.h"

namespace {

// Position in the fleet's event log of the first event of `kind` for the
// camera (after `from`), or -1.
int FirstEvent(const std::vector<SimEvent>& events, const std::string& mac, const std::string& kind,
               int from = 0) {
    for (int i = from; i < static_cast<int>(events.size()); ++i) {
        if (events[i].mac == mac && events[i].kind == kind) {
            return i;
        }
    }
    return -1;
}

// The camera came back from its flashing (its "online" after "flash_start").
int BackUpgraded(const std::vector<SimEvent>& events, const std::string& mac) {
    const int flash = FirstEvent(events, mac, "flash_start");
    return flash < 0 ? -1 : FirstEvent(events, mac, "online", flash);
}

SimCameraConfig OfModel(SimCameraConfig cam, const std::string& model) {
    cam.model = model;
    return cam;
}

// Every camera of `others` was first contacted after each of `canaries`
// came back upgraded.
void ExpectStartedAfter(const CSessionHarness& h, const std::vector<SimEvent>& events,
                        const std::vector<std::string>& canaries,
                        const std::vector<std::string>& others) {
    for (const std::string& canary : canaries) {
        const int back = BackUpgraded(events, canary);
        ASSERT_GE(back, 0) << canary;
        for (const std::string& other : others) {
            EXPECT_GT(FirstEvent(events, other, "connect"), back) << other << " after " << canary;
            EXPECT_EQ(h.Results(other).front(), CameraCode{UpgradeProgress::CanaryWait}) << other;
        }
    }
}

}  // namespace

TEST(Canary, ScheduleLetsEachModelWaitForItsOwnCanariesOnly) {
    CCanarySchedule schedule(1, {{"IPC-B", 1}});  // IPC-B was proven by an earlier run
    EXPECT_FALSE(schedule.Queue("a1", "IPC-A"));
    EXPECT_TRUE(schedule.Queue("a2", "IPC-A"));
    EXPECT_FALSE(schedule.Queue("b1", "IPC-B"));
    EXPECT_FALSE(schedule.Queue("c1", "IPC-C"));
    EXPECT_TRUE(schedule.Queue("c2", "IPC-C"));
    std::vector<size_t> pending = {0, 1, 2, 3, 4};
    for (const size_t expected : {0u, 2u, 3u}) {
        const auto step = schedule.Next(pending, true);
        ASSERT_EQ(step.start, expected);
        std::erase(pending, expected);
    }
    EXPECT_FALSE(schedule.Next(pending, true).Any()) << "both wait for their canaries";

    schedule.Ended("a1", UpgradeResult::Ok);
    auto step = schedule.Next(pending, false);
    EXPECT_EQ(step.released, std::vector<size_t>{1});
    EXPECT_FALSE(step.start) << "no start while starts are not allowed (paused)";
    schedule.MarkReleased(step.released);
    EXPECT_EQ(schedule.Next(pending, true).start, 1u);
    std::erase(pending, 1u);

    schedule.Ended("c1", UpgradeResult::BadCredentials);
    EXPECT_EQ(schedule.Next(pending, true).heldBack, std::vector<size_t>{4});
    EXPECT_TRUE(schedule.AnyFailed());

    CCanarySchedule off(0, {});
    EXPECT_FALSE(off.Queue("a1", "IPC-A"));
    EXPECT_FALSE(off.Queue("a2", "IPC-A"));
    EXPECT_EQ(off.Next({1}, true).start, 1u);
}

TEST(Canary, FailedCanaryHoldsItsModelBackWhileAnotherModelCompletes) {
    CSessionHarness h;
    h.SetSetting(settings::kMaxParallelUpgrades, "8");
    h.SetSetting(settings::kTryUpgradeMaxCountSingle, "1");
    std::vector<std::string> a;
    std::vector<std::string> b;
    for (int n = 1; n <= 6; ++n) {
        auto cam = OfModel(h.Camera(n), n <= 3 ? "IPC-A" : "IPC-B");
        if (n == 1) {
            cam.faults.upgradeErrorAtBlock = 4;
            cam.faults.upgradeErrorWord = 5;
        }
        h.Fleet().AddCamera(cam);
        (n <= 3 ? a : b).push_back(cam.mac);
    }
    ASSERT_TRUE(h.Start());
    std::vector<std::string> all = a;
    all.insert(all.end(), b.begin(), b.end());
    BatchRequest request = h.Request(all);
    request.packagePath = h.NewStylePackage("fw.bin");
    request.canary = 1;
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());

    EXPECT_EQ(h.FinalResult(a[0]), UpgradeResult::DeviceError);
    for (size_t i = 1; i < a.size(); ++i) {
        EXPECT_EQ(h.FinalResult(a[i]), UpgradeResult::CanaryFailed) << a[i];
        EXPECT_EQ(h.Results(a[i]).front(), CameraCode{UpgradeProgress::CanaryWait}) << a[i];
        EXPECT_EQ(h.Fleet().CountEvents(a[i], "connect"), 0) << a[i];
    }
    for (const std::string& mac : b) {
        EXPECT_EQ(h.FinalResult(mac), UpgradeResult::Ok) << mac;
    }
    EXPECT_EQ(h.Results(b[0]).front(), CameraCode{UpgradeProgress::Queued});
    ExpectStartedAfter(h, h.Fleet().Events(), {b[0]}, {b[1], b[2]});
    // Released once the canary passed: the waiting rows read "Queued" again.
    const std::vector<CameraCode> released = h.Results(b[1]);
    EXPECT_NE(std::find(released.begin(), released.end(), CameraCode{UpgradeProgress::Queued}),
              released.end());

    EXPECT_EQ(ResultCodeToText(UpgradeResult::CanaryFailed), "Not started: canary failed");
    EXPECT_EQ(ResultCodeToText(UpgradeProgress::CanaryWait), "Waiting for the canary");
    EXPECT_FALSE(IsFailedResult(UpgradeResult::CanaryFailed)) << "held back, not failed";
    const auto unfinished = h.Session().UnfinishedRun();
    ASSERT_TRUE(unfinished.has_value()) << "the held-back cameras are resumable";
    EXPECT_EQ(unfinished->canary, 1);
    EXPECT_EQ(unfinished->Open(), 2);
}

TEST(Canary, TwoCanariesPerModelBothComeBackBeforeTheRestStart) {
    CSessionHarness h;
    h.SetSetting(settings::kMaxParallelUpgrades, "8");
    std::vector<std::string> macs;
    for (int n = 1; n <= 5; ++n) {
        const auto cam = h.Camera(n);
        h.Fleet().AddCamera(cam);
        macs.push_back(cam.mac);
    }
    ASSERT_TRUE(h.Start());
    BatchRequest request = h.Request(macs);
    request.packagePath = h.NewStylePackage("fw.bin");
    request.canary = 2;
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    for (const std::string& mac : macs) {
        EXPECT_EQ(h.FinalResult(mac), UpgradeResult::Ok) << mac;
    }
    ExpectStartedAfter(h, h.Fleet().Events(), {macs[0], macs[1]}, {macs[2], macs[3], macs[4]});
    EXPECT_FALSE(h.Session().UnfinishedRun().has_value());
}

TEST(Canary, ResumedRunKeepsTheRuleAndTakesANewCanary) {
    CSessionHarness h;
    h.SetSetting(settings::kMaxParallelUpgrades, "8");
    h.SetSetting(settings::kTryUpgradeMaxCountSingle, "1");
    std::vector<std::string> macs;
    for (int n = 1; n <= 3; ++n) {
        auto cam = h.Camera(n);
        if (n == 1) {
            cam.faults.upgradeErrorAtBlock = 4;
            cam.faults.upgradeErrorWord = 5;
        }
        h.Fleet().AddCamera(cam);
        macs.push_back(cam.mac);
    }
    ASSERT_TRUE(h.Start());
    const std::string package = h.NewStylePackage("fw.bin");
    BatchRequest request = h.Request(macs);
    request.packagePath = package;
    request.canary = 1;
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    ASSERT_EQ(h.FinalResult(macs[1]), UpgradeResult::CanaryFailed);
    const std::string journal = h.Session().RunJournalPath();

    // Resumed without a count of its own: the journal's rule holds, the
    // failed canary stays done and the next camera is the canary now.
    BatchRequest resume = h.Request(macs);
    resume.packagePath = package;
    resume.resumeRun = journal;
    ASSERT_EQ(h.StartBatch(resume), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(macs[0]), UpgradeResult::DeviceError);
    EXPECT_EQ(h.Fleet().CountEvents(macs[0], "upgrade_start"), 1) << "not retried";
    EXPECT_EQ(h.FinalResult(macs[1]), UpgradeResult::Ok);
    EXPECT_EQ(h.FinalResult(macs[2]), UpgradeResult::Ok);
    const std::vector<SimEvent> events = h.Fleet().Events();
    EXPECT_GT(FirstEvent(events, macs[2], "connect"), BackUpgraded(events, macs[1]));
    EXPECT_EQ(h.Results(macs[2]).back(), CameraCode{UpgradeResult::Ok});
    const std::vector<CameraCode> third = h.Results(macs[2]);
    EXPECT_NE(std::find(third.begin(), third.end(), CameraCode{UpgradeProgress::CanaryWait}),
              third.end());

    RunSummary run;
    std::string error;
    ASSERT_TRUE(ReadRunJournal(journal, run, error)) << error;
    EXPECT_TRUE(run.Finished());
    EXPECT_EQ(run.canary, 1);
}

TEST(PauseBatch, NoCameraStartsWhilePausedAndRunningOnesFinish) {
    CSessionHarness h;
    h.SetSetting(settings::kMaxParallelUpgrades, "1");
    h.SetSetting(settings::kWaitRebootTimeout, "600");
    std::vector<std::string> macs;
    for (int n = 1; n <= 3; ++n) {
        auto cam = h.Camera(n);
        // The first stays away after flashing until the test lets it back.
        cam.faults.neverReturn = n == 1;
        h.Fleet().AddCamera(cam);
        macs.push_back(cam.mac);
    }
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.Session().PauseBatch(true), BatchCallResult::WrongState) << "no batch yet";
    ASSERT_EQ(h.StartBatch(macs, h.NewStylePackage("fw.bin")), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitUntil([&] { return h.Fleet().CountEvents(macs[0], "connect") > 0; }));
    ASSERT_EQ(h.Session().PauseBatch(true), BatchCallResult::Done);
    EXPECT_EQ(h.Session().PauseBatch(true), BatchCallResult::Done) << "twice changes nothing";
    EXPECT_TRUE(h.Session().IsBatchPaused());
    ASSERT_TRUE(h.WaitUntil([&] { return h.Fleet().CountEvents(macs[0], "offline") > 0; }));
    h.Fleet().SetOnline(macs[0], true);
    ASSERT_TRUE(h.WaitUntil([&] { return h.FinalResult(macs[0]).has_value(); }));
    EXPECT_EQ(h.FinalResult(macs[0]), UpgradeResult::Ok) << "the running camera finished";
    EXPECT_EQ(h.Session().BatchStateNow(), BatchState::Running);
    for (const std::string& mac : {macs[1], macs[2]}) {
        EXPECT_EQ(h.Fleet().CountEvents(mac, "connect"), 0) << mac;
        EXPECT_EQ(h.Results(mac).back(), CameraCode{UpgradeProgress::Queued}) << mac;
    }

    ASSERT_EQ(h.Session().PauseBatch(false), BatchCallResult::Done);
    ASSERT_TRUE(h.WaitForBatchEnd());
    for (const std::string& mac : macs) {
        EXPECT_EQ(h.FinalResult(mac), UpgradeResult::Ok) << mac;
    }
    // One message per change, in order, each before the cameras it let go.
    std::vector<int> pauses;
    int goOnAt = -1;
    int secondPreparedAt = -1;
    const auto& messages = h.Messages();
    for (int i = 0; i < static_cast<int>(messages.size()); ++i) {
        if (messages[i].id == WM_BATCH_PAUSED) {
            pauses.push_back(messages[i].wParam);
            goOnAt = messages[i].wParam == BATCH_GOES_ON ? i : goOnAt;
        } else if (messages[i].id == WM_BATCH_PREPARED && messages[i].text == macs[1]) {
            secondPreparedAt = i;
        }
    }
    EXPECT_EQ(pauses, (std::vector<int>{BATCH_PAUSED, BATCH_GOES_ON}));
    EXPECT_GT(secondPreparedAt, goOnAt);
    EXPECT_EQ(h.Session().PauseBatch(false), BatchCallResult::WrongState) << "ended";
    EXPECT_FALSE(h.Session().IsBatchPaused());
}

TEST(PauseBatch, CancelWakesAPausedBatch) {
    CSessionHarness h;
    h.SetSetting(settings::kMaxParallelUpgrades, "1");
    std::vector<std::string> macs;
    for (int n = 1; n <= 2; ++n) {
        auto cam = h.Camera(n);
        h.Fleet().AddCamera(cam);
        macs.push_back(cam.mac);
    }
    ASSERT_TRUE(h.Start());
    ASSERT_EQ(h.StartBatch(macs, h.NewStylePackage("fw.bin")), BatchStartResult::Started);
    ASSERT_EQ(h.Session().PauseBatch(true), BatchCallResult::Done);
    ASSERT_EQ(h.Session().CancelAll(), BatchCallResult::Done);
    EXPECT_EQ(h.Session().PauseBatch(false), BatchCallResult::WrongState) << "cancelling";
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(macs[1]), UpgradeResult::Cancelled);
}

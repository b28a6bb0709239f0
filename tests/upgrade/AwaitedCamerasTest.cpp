// Cameras a batch waits for: named, switched off when the batch starts. One
// switched on while the batch waits is found, planned and upgraded; one
// never switched on ends "Not found within" the time; a cancel ends the
// wait at once; a resumed run waits again for the ones never found.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/Settings.h"
#include "support/SessionHarness.h"
#include "upgrade/AwaitedCameras.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeResult.h"

namespace {

bool Posted(const CSessionHarness& h, const std::string& mac, CameraCode code) {
    const std::vector<CameraCode> codes = h.Results(mac);
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

SimCameraConfig SwitchedOff(SimCameraConfig cam) {
    cam.switchedOff = true;
    return cam;
}

}  // namespace

TEST(AwaitedCameras, SeenOnceThenExpiredAtTheDeadline) {
    CAwaitedCameras awaited;
    awaited.Add("00:1A:2B:00:00:01");
    awaited.Add("00-1a-2b-00-00-01");  // the same camera
    awaited.Add("00:1A:2B:00:00:02");
    const auto start = CAwaitedCameras::Clock::now();
    awaited.Open(60, "1m", start);
    EXPECT_EQ(awaited.Macs().size(), 2u);
    EXPECT_FALSE(awaited.HasNews(start));

    DEVICE_S_INFO record{};
    CopyField(record.mac, "00:1a:2b:00:00:01");
    CopyField(record.ip, "127.0.0.9");
    EXPECT_TRUE(awaited.Seen(record));
    EXPECT_FALSE(awaited.Seen(record)) << "handed out once";
    EXPECT_TRUE(awaited.HasNews(start));
    const std::vector<DeviceInfoPtr> seen = awaited.TakeSeen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_STREQ(seen[0]->ip, "127.0.0.9");

    EXPECT_TRUE(awaited.TakeExpired(start + std::chrono::seconds(59)).empty());
    EXPECT_TRUE(awaited.HasNews(start + std::chrono::seconds(60)));
    EXPECT_EQ(awaited.TakeExpired(start + std::chrono::seconds(60)),
              std::vector<std::string>{"00:1A:2B:00:00:02"});
    EXPECT_FALSE(awaited.Waiting());
    EXPECT_FALSE(awaited.HasNews(start + std::chrono::hours(1)));
}

TEST(AwaitedCameras, CameraFoundLateIsUpgradedAndOneNeverFoundEndsAtTheDeadline) {
    CSessionHarness h;
    const auto present = h.Camera(1);
    const auto late = SwitchedOff(h.Camera(2));
    const auto never = SwitchedOff(h.Camera(3));
    for (const auto& cam : {present, late, never}) {
        h.Fleet().AddCamera(cam);
    }
    ASSERT_TRUE(h.Start());
    ASSERT_FALSE(h.Record(late.mac));
    BatchRequest request = h.Request({present.mac});
    request.packagePath = h.NewStylePackage("fw.bin");
    request.awaitedMacs = {late.mac, never.mac};
    request.waitSeconds = 4;
    request.waitText = "4s";
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);

    // Switched on once the batch waits for it.
    ASSERT_TRUE(
        h.WaitUntil([&] { return Posted(h, late.mac, UpgradeProgress::WaitingToBeFound); }));
    ASSERT_TRUE(h.Fleet().SetOnline(late.mac, true));
    ASSERT_TRUE(h.WaitForBatchEnd());

    EXPECT_EQ(h.FinalResult(present.mac), UpgradeResult::Ok);
    EXPECT_EQ(h.FinalResult(late.mac), UpgradeResult::Ok);
    EXPECT_EQ(h.Results(late.mac).front(), CameraCode{UpgradeProgress::WaitingToBeFound});
    EXPECT_TRUE(Posted(h, late.mac, UpgradeProgress::Queued)) << "queued once found";
    EXPECT_EQ(h.Fleet().State(late.mac)->upgradesCompleted, 1);
    EXPECT_EQ(h.Results(never.mac), (std::vector<CameraCode>{UpgradeProgress::WaitingToBeFound,
                                                             UpgradeResult::NotFoundInTime}));
    EXPECT_EQ(h.Fleet().CountEvents(never.mac, "connect"), 0);
    EXPECT_TRUE(h.UnfinishedAtEnd().empty()) << "every final result before the end";
    EXPECT_EQ(h.LastBatchJobs(), 3);

    // The journal: the late camera with its record, the other still awaited.
    RunSummary run;
    std::string error;
    ASSERT_TRUE(ReadRunJournal(h.Session().RunJournalPath(), run, error)) << error;
    EXPECT_TRUE(run.Finished()) << "a camera not found is dealt with";
    EXPECT_EQ(run.waitText, "4s");
    ASSERT_NE(run.Find(late.mac), nullptr);
    EXPECT_FALSE(run.Find(late.mac)->awaited);
    EXPECT_EQ(run.Find(late.mac)->ip, late.ip);
    ASSERT_NE(run.Find(never.mac), nullptr);
    EXPECT_TRUE(run.Find(never.mac)->awaited);
    EXPECT_EQ(run.Find(never.mac)->code, UpgradeResult::NotFoundInTime);
    EXPECT_TRUE(IsFailedResult(UpgradeResult::NotFoundInTime));
    EXPECT_EQ(NotFoundWithinText("4s"), "Not found within 4s");
}

TEST(AwaitedCameras, CancelEndsTheWaitAtOnceAndResumeWaitsAgain) {
    CSessionHarness h;
    const auto off = SwitchedOff(h.Camera(1));
    h.Fleet().AddCamera(off);
    ASSERT_TRUE(h.Start());
    const std::string package = h.NewStylePackage("fw.bin");
    BatchRequest request = h.Request({});
    request.packagePath = package;
    request.awaitedMacs = {off.mac};
    request.waitSeconds = 3600;
    request.waitText = "1h";
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitUntil([&] { return Posted(h, off.mac, UpgradeProgress::WaitingToBeFound); }));
    ASSERT_EQ(h.Session().CancelAll(), BatchCallResult::Done);
    // Far below the hour the batch would wait.
    ASSERT_TRUE(h.WaitForBatchEnd(30000));
    EXPECT_EQ(h.FinalResult(off.mac), UpgradeResult::Cancelled);

    const auto unfinished = h.Session().UnfinishedRun();
    ASSERT_TRUE(unfinished.has_value()) << "a cancelled wait is resumable";
    EXPECT_EQ(unfinished->waitSeconds, 3600);
    ASSERT_NE(unfinished->Find(off.mac), nullptr);
    EXPECT_TRUE(unfinished->Find(off.mac)->awaited);

    // Resumed without a time of its own: the run's hour starts again, and
    // the camera, switched on meanwhile, is found and upgraded.
    BatchRequest resume = h.Request({});
    resume.packagePath = package;
    resume.resumeRun = unfinished->path;
    resume.devices = h.Session().ResumeDevices(*unfinished);
    ASSERT_EQ(h.StartBatch(resume), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitUntil([&] {
        const std::vector<CameraCode> codes = h.Results(off.mac);
        return std::count(codes.begin(), codes.end(),
                          CameraCode{UpgradeProgress::WaitingToBeFound}) == 2;
    }));
    ASSERT_TRUE(h.Fleet().SetOnline(off.mac, true));
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(off.mac), UpgradeResult::Ok);
    EXPECT_FALSE(h.Session().UnfinishedRun().has_value());
}

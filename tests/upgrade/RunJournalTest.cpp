// What a resumed run reads from a journal that a power cut, a full disk or a
// stepped clock left behind: a torn last line counts as never written and
// is cut before the next line goes in; the order of the lines, not their
// time stamps, says whether a camera may be flashing; a run stopped by the
// failure limit is resumed for the cameras it never started.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>

#include "app/Settings.h"
#include "platform/FileLock.h"
#include "support/SessionHarness.h"
#include "upgrade/RunJournal.h"
#include "upgrade/UpgradeResult.h"

namespace {

void AppendTorn(const std::string& path, const std::string& torn) {
    std::ofstream(path, std::ios::binary | std::ios::app) << torn;
}

}  // namespace

TEST(RunJournal, TornLinesAreCutAndARunStoppedByTheFailureLimitIsResumedTwice) {
    CSessionHarness h;
    h.SetSetting(settings::kMaxParallelUpgrades, "1");
    h.SetSetting(settings::kTryUpgradeMaxCountSingle, "1");
    auto refusing = h.Camera(1);  // another password: fails, and stops the rollout
    refusing.password = "another";
    auto second = h.Camera(2);
    auto third = h.Camera(3);
    for (const auto& cam : {refusing, second, third}) {
        h.Fleet().AddCamera(cam);
    }
    ASSERT_TRUE(h.Start());
    const std::vector<std::string> macs = {refusing.mac, second.mac, third.mac};
    BatchRequest request = h.Request(macs);
    request.packagePath = h.NewStylePackage("fw.bin");
    request.maxFailures = {0, false};
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(second.mac), UpgradeResult::NotStarted);
    std::optional<RunSummary> open = h.Session().UnfinishedRun();
    ASSERT_TRUE(open.has_value()) << "a stopped rollout can be resumed";
    EXPECT_EQ(open->Open(), 2);
    const std::string path = open->path;

    // A power cut during a line; then the second camera fails as well.
    AppendTorn(path, "{\"event\":\"started\",\"mac\":\"" + second.mac);
    ASSERT_TRUE(h.Fleet().SetCredentials(second.mac, "admin", "another", second.protection));
    request.resumeRun = path;
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started) << h.Session().RefusalDetail();
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(refusing.mac), UpgradeResult::BadCredentials) << "from the journal";
    EXPECT_EQ(h.FinalResult(second.mac), UpgradeResult::BadCredentials);
    EXPECT_EQ(h.FinalResult(third.mac), UpgradeResult::NotStarted);
    EXPECT_EQ(testing_support::ReadFile(path).find("{\"event\":\"started\",\"mac\":\"" +
                                                   second.mac + "{"),
              std::string::npos)
        << "nothing is appended to a torn line";

    // Torn again, and resumed again: the journal still reads.
    AppendTorn(path, "{\"ev");
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started) << h.Session().RefusalDetail();
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(third.mac), UpgradeResult::Ok);
    RunSummary run;
    std::string error;
    ASSERT_TRUE(ReadRunJournal(path, run, error)) << error;
    EXPECT_TRUE(run.Finished());
    EXPECT_EQ(run.Upgraded(), 1);
    EXPECT_EQ(run.Failed(), 2);
    EXPECT_EQ(testing_support::ReadFile(path).back(), '\n');
    EXPECT_EQ(h.Fleet().State(refusing.mac)->upgradesCompleted, 0);
    EXPECT_EQ(h.Fleet().State(second.mac)->upgradesCompleted, 0);
    EXPECT_EQ(h.Fleet().State(third.mac)->upgradesCompleted, 1);
}

// The clock was stepped back during the transfer: "last-block" carries an
// earlier stamp than "started". It still came after it.
TEST(RunJournal, LastBlockAfterStartedInTheFileIsVerifiedWhateverTheStamps) {
    CSessionHarness h;
    h.SetSetting(settings::kWaitDeviceOfflineTimeout, "2");
    const auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    const std::string package = h.NewStylePackage("fw.bin");
    h.RunBatch({cam.mac}, package);
    ASSERT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    ASSERT_TRUE(h.WaitUntil([&] {
        const DeviceInfoPtr record = h.Record(cam.mac);
        return record && record->build == h.Fleet().State(cam.mac)->build;
    }));

    // Killed right after "last-block", with a "started" stamp from the future.
    std::string text = testing_support::ReadFile(h.Session().RunJournalPath());
    text = text.substr(0, text.find('\n', text.find("\"event\":\"last-block\"")) + 1);
    const size_t started = text.find("\"event\":\"started\"");
    ASSERT_NE(started, std::string::npos) << text;
    const size_t lineEnd = text.find('\n', started);
    const std::string steppedLine = std::regex_replace(
        text.substr(started, lineEnd - started), std::regex("\"t\":[0-9]+"), "\"t\":9999999999999");
    text.replace(started, lineEnd - started, steppedLine);
    const std::string killed = h.Sandbox().File("runs/stepped.jsonl");
    std::ofstream(killed) << text;
    RunSummary before;
    std::string error;
    ASSERT_TRUE(ReadRunJournal(killed, before, error)) << error;
    ASSERT_GT(before.cameras.at(0).startedAt, before.cameras.at(0).lastBlockAt);
    EXPECT_TRUE(before.cameras.at(0).MayBeFlashing());

    BatchRequest request = h.Request({cam.mac});
    request.packagePath = package;
    request.resumeRun = killed;
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
    EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "flash_start"), 1) << "verified, not sent";
    EXPECT_NE(testing_support::ReadFile(killed).find("\"event\":\"verifying\""), std::string::npos);
}

// The lock another driver holds (here a second lock of this process, which
// flock treats as another holder): the batch is refused before anything is
// written, and the listing shows the run as running.
TEST(RunJournal, RunWhoseJournalIsLockedIsRefusedAndListedAsRunning) {
    CSessionHarness h;
    h.SetSetting(settings::kTryUpgradeMaxCountSingle, "1");
    auto cam = h.Camera(1);
    cam.password = "another";
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    BatchRequest request = h.Request({cam.mac});
    request.packagePath = h.NewStylePackage("fw.bin");
    request.maxFailures = {0, false};
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started);
    ASSERT_TRUE(h.WaitForBatchEnd());
    const std::string path = h.Session().RunJournalPath();
    ASSERT_TRUE(h.Fleet().SetCredentials(cam.mac, "admin", h.password, cam.protection));
    // Unfinished: cut its "end" line.
    std::string text = testing_support::ReadFile(path);
    text = text.substr(0, text.rfind("{\"event\":\"end\""));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    const std::string before = testing_support::ReadFile(path);

    bool busy = false;
    std::string problem;
    auto other = platform::CFileLock::TryAcquire(path, busy, problem);
    ASSERT_TRUE(other) << problem;
    const std::optional<RunSummary> open = h.Session().UnfinishedRun();
    ASSERT_TRUE(open.has_value());
    EXPECT_TRUE(open->running);
    request.resumeRun = path;
    EXPECT_EQ(h.StartBatch(request), BatchStartResult::RunInUse);
    EXPECT_NE(h.Session().RefusalDetail().find("going on in another process"), std::string::npos);
    EXPECT_EQ(testing_support::ReadFile(path), before) << "not a line written";

    other.reset();
    EXPECT_FALSE(h.Session().UnfinishedRun()->running);
}

// The steps of an upgrade path as a resumed run reads them: "passed" ends a
// step and its doubt about the last block; a resumed run's "step" line for
// the step it was on is that same step; a step a resumed run went past by
// the camera's version counts as behind it; a step out of range, or a
// camera's end with a number that is no final result (a progress state, a
// login signal), makes the journal unreadable rather than guessed at.
TEST(RunJournal, PathStepsArePassedResumedAndBounded) {
    testing_support::CSandbox box;
    const std::string head =
        "{\"event\":\"run\",\"id\":\"r\",\"packages\":[]}\n"
        "{\"event\":\"camera\",\"mac\":\"02:AA:00:00:00:01\",\"package\":\"/p/b_4.0.4.bin\"}\n"
        "{\"event\":\"step\",\"mac\":\"02:AA:00:00:00:01\",\"step\":1,\"of\":3,"
        "\"package\":\"/p/a_4.0.3.bin\"}\n"
        "{\"event\":\"started\",\"mac\":\"02:AA:00:00:00:01\",\"softwareVer\":\"4.0.2\","
        "\"build\":1}\n"
        "{\"event\":\"last-block\",\"mac\":\"02:AA:00:00:00:01\"}\n";
    const std::string passed =
        "{\"event\":\"passed\",\"mac\":\"02:AA:00:00:00:01\",\"softwareVer\":\"4.0.3\","
        "\"build\":2}\n";
    const auto read = [&](const std::string& text, RunSummary& run) {
        box.Write("run.jsonl", text);
        std::string error;
        return ReadRunJournal(box.File("run.jsonl"), run, error);
    };
    RunSummary run;
    ASSERT_TRUE(read(head, run));
    EXPECT_TRUE(run.cameras[0].MayBeFlashing());
    ASSERT_TRUE(read(head + passed, run));
    const JOURNAL_CAMERA& camera = run.cameras[0];
    EXPECT_FALSE(camera.MayBeFlashing()) << "seen back with the step's version";
    ASSERT_EQ(camera.steps.size(), 1u);
    EXPECT_EQ(camera.steps[0].code, UpgradeResult::Ok);
    EXPECT_EQ(camera.steps[0].fromVersion, "4.0.2");
    EXPECT_EQ(camera.steps[0].toBuild, 2);
    EXPECT_EQ(camera.steps[0].attempts, 1);

    // Step 2 begun, resumed on it, then step 3 begun where the camera's
    // version said: step 2 is behind it, its end where step 3 started.
    const std::string step = "{\"event\":\"step\",\"mac\":\"02:AA:00:00:00:01\",\"of\":3,";
    const std::string resumed =
        head + passed + step + "\"step\":2,\"package\":\"/p/a_4.0.3_5.bin\"}\n" +
        "{\"event\":\"resumed\"}\n" + step + "\"step\":2,\"package\":\"/p/a_4.0.3_5.bin\"}\n" +
        "{\"event\":\"verifying\",\"mac\":\"02:AA:00:00:00:01\"}\n" + step +
        "\"step\":3,\"package\":\"/p/b_4.0.4.bin\"}\n" +
        "{\"event\":\"started\",\"mac\":\"02:AA:00:00:00:01\",\"softwareVer\":\"4.0.3\","
        "\"build\":5}\n{\"event\":\"result\",\"mac\":\"02:AA:00:00:00:01\",\"code\":7}\n";
    ASSERT_TRUE(read(resumed, run));
    const std::vector<JOURNAL_STEP>& steps = run.cameras[0].steps;
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[1].number, 2);
    EXPECT_EQ(steps[1].attempts, 1);
    EXPECT_EQ(steps[1].code, UpgradeResult::Ok);
    EXPECT_EQ(steps[1].toBuild, 5);
    EXPECT_EQ(steps[2].code, UpgradeResult::VersionUnchanged);
    EXPECT_EQ(run.cameras[0].code, UpgradeResult::VersionUnchanged);

    for (const std::string& bad :
         {step + "\"step\":4,\"package\":\"x\"}\n", step + "\"step\":0,\"package\":\"x\"}\n",
          std::string("{\"event\":\"step\",\"mac\":\"02:AA:00:00:00:01\",\"step\":1,\"of\":65,"
                      "\"package\":\"x\"}\n"),
          std::string("{\"event\":\"passed\",\"mac\":\"02:AA:00:00:00:01\"}\n"),
          std::string("{\"event\":\"result\",\"mac\":\"02:AA:00:00:00:01\",\"code\":16}\n"),
          std::string("{\"event\":\"result\",\"mac\":\"02:AA:00:00:00:01\",\"code\":13}\n")}) {
        const std::string text = bad.find("passed") != std::string::npos
                                     ? std::string(head.substr(0, head.find("{\"event\":\"step\"")))
                                     : head;
        EXPECT_FALSE(read(text + bad, run)) << bad;
    }
}

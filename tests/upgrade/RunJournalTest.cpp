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

std::string JournalFileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

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
    EXPECT_EQ(h.FinalResult(second.mac), UPGRADE_NOT_STARTED);
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
    EXPECT_EQ(h.FinalResult(refusing.mac), UPGRADE_BAD_CREDENTIALS) << "from the journal";
    EXPECT_EQ(h.FinalResult(second.mac), UPGRADE_BAD_CREDENTIALS);
    EXPECT_EQ(h.FinalResult(third.mac), UPGRADE_NOT_STARTED);
    EXPECT_EQ(JournalFileText(path).find("{\"event\":\"started\",\"mac\":\"" + second.mac + "{"),
              std::string::npos)
        << "nothing is appended to a torn line";

    // Torn again, and resumed again: the journal still reads.
    AppendTorn(path, "{\"ev");
    ASSERT_EQ(h.StartBatch(request), BatchStartResult::Started) << h.Session().RefusalDetail();
    ASSERT_TRUE(h.WaitForBatchEnd());
    EXPECT_EQ(h.FinalResult(third.mac), UPGRADE_OK);
    RunSummary run;
    std::string error;
    ASSERT_TRUE(ReadRunJournal(path, run, error)) << error;
    EXPECT_TRUE(run.Finished());
    EXPECT_EQ(run.Upgraded(), 1);
    EXPECT_EQ(run.Failed(), 2);
    EXPECT_EQ(JournalFileText(path).back(), '\n');
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
    ASSERT_EQ(h.FinalResult(cam.mac), UPGRADE_OK);
    ASSERT_TRUE(h.WaitUntil([&] {
        const DeviceInfoPtr record = h.Record(cam.mac);
        return record && record->build == h.Fleet().State(cam.mac)->build;
    }));

    // Killed right after "last-block", with a "started" stamp from the future.
    std::string text = JournalFileText(h.Session().RunJournalPath());
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
    EXPECT_EQ(h.FinalResult(cam.mac), UPGRADE_OK);
    EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "flash_start"), 1) << "verified, not sent";
    EXPECT_NE(JournalFileText(killed).find("\"event\":\"verifying\""), std::string::npos);
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
    std::string text = JournalFileText(path);
    text = text.substr(0, text.rfind("{\"event\":\"end\""));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    const std::string before = JournalFileText(path);

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
    EXPECT_EQ(JournalFileText(path), before) << "not a line written";

    other.reset();
    EXPECT_FALSE(h.Session().UnfinishedRun()->running);
}

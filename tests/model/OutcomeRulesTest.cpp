// The rules both front-ends share: a camera's status in the reports, its
// package by model, and where the run journals go.
#include <gtest/gtest.h>

#include <climits>
#include <set>

#include "model/BatchPackage.h"
#include "model/BatchRecord.h"
#include "model/CameraOutcome.h"
#include "model/OutcomeReport.h"
#include "model/ResultCode.h"
#include "model/RunsFolder.h"

namespace {

CameraOutcome Camera(std::optional<UpgradeResult> code, int attempts = 0, bool prepared = false) {
    CameraOutcome o;
    o.mac = "02:CC:00:00:00:01";
    o.code = code;
    o.attempts = attempts;
    o.prepared = prepared;
    return o;
}

}  // namespace

// "Cancelled" of a camera the batch never began is "not-started" (the CLI
// said so, the window said "cancelled"); one prepared or attempted was
// cancelled.
TEST(OutcomeStatus, CancelledBeforeItBeganIsNotStarted) {
    EXPECT_EQ(OutcomeStatus(Camera(UpgradeResult::Cancelled)), "not-started");
    EXPECT_EQ(OutcomeStatus(Camera(UpgradeResult::Cancelled, 0, true)), "cancelled");
    EXPECT_EQ(OutcomeStatus(Camera(UpgradeResult::Cancelled, 1)), "cancelled");
    CameraOutcome sent = Camera(UpgradeResult::Cancelled, 1);
    sent.lastBlockSeconds = 12;
    EXPECT_EQ(OutcomeStatus(sent), "installing");

    CameraOutcome open = Camera(std::nullopt);
    open.openAtCancel = true;
    EXPECT_EQ(OutcomeStatus(open), "not-started");
    open.prepared = true;
    EXPECT_EQ(OutcomeStatus(open), "cancelled");
    EXPECT_EQ(OutcomeStatus(Camera(std::nullopt, 1)), "failed");  // attempted, no code
    EXPECT_EQ(OutcomeStatus(Camera(UpgradeResult::NotStarted, 0, true)), "not-started");
    EXPECT_EQ(OutcomeStatus(Camera(UpgradeResult::Elsewhere, 1)), "busy");
    EXPECT_EQ(OutcomeStatus(Camera(UpgradeResult::NoPackageForModel)), "skipped");
    EXPECT_EQ(OutcomeStatus(Camera(UpgradeResult::Timeout, 2)), "failed");
}

TEST(OutcomeStatus, WordsComeFromTheFrontEndsTable) {
    ResultWords words;
    words.text[NumberOf(UpgradeResult::Timeout)] = "Timed out";
    words.reason[NumberOf(UpgradeResult::Timeout)] = "The camera did not answer.";
    words.sentInstalling = "Sent, installing";
    EXPECT_EQ(OutcomeText(Camera(UpgradeResult::Timeout, 1), words), "Timed out");
    EXPECT_EQ(OutcomeReason(Camera(UpgradeResult::Timeout, 1), words),
              "The camera did not answer.");
    EXPECT_EQ(OutcomeText(Camera(UpgradeResult::Failed, 1), words), "");  // a code without words
    CameraOutcome sent = Camera(std::nullopt, 1);
    sent.lastBlockSeconds = 3;
    sent.openAtCancel = true;
    EXPECT_EQ(OutcomeText(sent, words), "Sent, installing");
    EXPECT_EQ(OutcomeReason(sent, words), "");
}

TEST(BatchRecord, FollowsAttemptsBlocksAndTheCancel) {
    CBatchRecord record({Camera(std::nullopt), Camera(std::nullopt)});
    record.Outcomes()[1].mac = "02:CC:00:00:00:02";
    ASSERT_EQ(record.Find("02-cc-00-00-00-02"), std::optional<size_t>(1));
    EXPECT_FALSE(record.Find("02:CC:00:00:00:03"));
    record.AttemptStarted(0, 2);
    record.BlockSent(0, 100, true, 9);
    EXPECT_TRUE(IsInstalling(record.Outcomes()[0]));
    EXPECT_TRUE(record.Tick(11));
    EXPECT_EQ(record.Outcomes()[0].installingFor, 2);
    record.AttemptStarted(0, 20);  // a new attempt sends every block again
    EXPECT_FALSE(IsInstalling(record.Outcomes()[0]));
    record.Finished(0, UpgradeResult::Ok, 32);
    EXPECT_EQ(record.Outcomes()[0].seconds, 30);  // from its first attempt
    EXPECT_EQ(record.Outcomes()[0].attempts, 2);
    record.MarkCancelled();
    EXPECT_FALSE(record.Outcomes()[0].openAtCancel);
    EXPECT_TRUE(record.Outcomes()[1].openAtCancel);
    EXPECT_EQ(OutcomeStatus(record.Outcomes()[1]), "not-started");
}

// The numbers stored in journals and reports: each final result and
// progress state keeps its own, and a number that names no final result (13
// and 14 are the login's signals, 20 and 21 were never used) is refused.
TEST(OutcomeNumbers, EachKeepsItsNumberAndOthersAreRefused) {
    const std::set<int> results = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                   15, 19, 22, 23, 25, 26, 27, 28, 29, 30, 31, 34};
    const std::set<int> states = {16, 17, 18, 24, 32, 33};
    for (int n = -2; n <= 40; ++n) {
        const std::optional<UpgradeResult> result = UpgradeResultOfNumber(n);
        const std::optional<UpgradeProgress> state = UpgradeProgressOfNumber(n);
        EXPECT_EQ(result.has_value(), results.count(n) == 1) << n;
        EXPECT_EQ(state.has_value(), states.count(n) == 1) << n;
        EXPECT_EQ(result ? NumberOf(*result) : n, n);
        EXPECT_EQ(state ? NumberOf(*state) : n, n);
    }
    EXPECT_FALSE(UpgradeResultOfNumber(INT_MIN));
    EXPECT_FALSE(UpgradeResultOfNumber(INT_MAX));
    EXPECT_EQ(NumberOf(std::optional<UpgradeResult>()), -1);  // an open result in a report
}

TEST(PackageForModel, NamedModelFirstThenTheOneForEveryCamera) {
    const std::vector<BatchPackage> packages = {
        {"", "all.bin"}, {"IPC-100", "ipc.bin"}, {"ipc-200", "ipc200.bin"}};
    EXPECT_EQ(PackageForModel(packages, "IPC-100")->path, "ipc.bin");
    EXPECT_EQ(PackageForModel(packages, "IPC-200")->path, "all.bin");  // exact model text
    EXPECT_EQ(PackageForModel(packages, "")->path, "all.bin");
    const std::vector<BatchPackage> named = {{"IPC-100", "ipc.bin"}};
    EXPECT_EQ(PackageForModel(named, "NVR-8"), nullptr);
    EXPECT_EQ(PackageForModel(std::vector<BatchPackage>{}, "NVR-8"), nullptr);
}

TEST(RunsFolder, ChosenElseUnderTheStateFolder) {
    EXPECT_EQ(RunsFolderOf("/srv/runs", "/home/t/.local/state"), "/srv/runs");
    EXPECT_EQ(RunsFolderOf("", "/home/t/.local/state"), "/home/t/.local/state/firmhand/runs");
    EXPECT_EQ(RunsFolderOf("", "/state/"), "/state/firmhand/runs");
    EXPECT_EQ(RunsFolderOf("", ""), "");
}

TEST(ReportFormat, ByTheFileNameInAnyCase) {
    EXPECT_EQ(ReportFormatOfPath("r.CSV"), ReportFormat::Csv);
    EXPECT_EQ(ReportFormatOfPath("r.Html"), ReportFormat::Html);
    EXPECT_EQ(ReportFormatOfPath("r.json"), ReportFormat::Json);
    EXPECT_EQ(ReportFormatOfPath("csv"), ReportFormat::Json);
}

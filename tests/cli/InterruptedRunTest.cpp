// What an interrupted batch tells the technician: a camera whose last
// block went out is installing (not cancelled, not failed), the tally
// counts each status apart, and the command that resumes the run is one
// the shell reads back as typed, without the password.
#include <gtest/gtest.h>

#include "BatchTracker.h"
#include "ProgressView.h"
#include "ResumeCommand.h"
#include "UpgradeReport.h"
#include "session/MessageEvents.h"
#include "upgrade/UpgradeResult.h"

namespace {

template <typename Code>
SessionEvent ResultOf(Code code, const std::string& mac) {
    return *EventOfMessage(MakeTextMessage(WM_UPGRADE_RESULT, NumberOf(code), mac));
}

}  // namespace

TEST(InterruptedRun, CamerasPastTheirLastBlockAreInstallingAndTheTallySaysSo) {
    std::vector<CameraOutcome> cameras(5);
    const char* macs[] = {"aa", "bb", "cc", "dd", "ee"};
    for (size_t i = 0; i < cameras.size(); ++i) {
        cameras[i].mac = macs[i];
    }
    CBatchTracker batch(cameras);
    for (const char* mac : macs) {
        batch.Apply(BatchPreparedEvent{mac, 1}, 0);
        batch.Apply(ResultOf(UpgradeProgress::Starting, mac), 0);
    }
    batch.Apply(CameraProgressEvent{"aa", 99}, 1);  // installing
    batch.Apply(CameraProgressEvent{"bb", 99}, 1);  // back before the cancel
    batch.Apply(ResultOf(UpgradeResult::Ok, "bb"), 2);
    batch.Apply(CameraProgressEvent{"cc", 40}, 1);  // mid-transfer
    batch.Apply(ResultOf(UpgradeResult::Elsewhere, "dd"), 1);
    batch.MarkCancelled();
    batch.Apply(ResultOf(UpgradeResult::Cancelled, "aa"), 3);
    batch.Apply(ResultOf(UpgradeResult::Cancelled, "cc"), 3);
    batch.Apply(ResultOf(UpgradeResult::Cancelled, "ee"), 3);

    const std::vector<CameraOutcome>& o = batch.Outcomes();
    EXPECT_EQ(OutcomeStatus(o[0]), "installing");
    EXPECT_EQ(OutcomeText(o[0]), "Sent, installing");
    EXPECT_EQ(OutcomeStatus(o[1]), "upgraded");
    EXPECT_EQ(OutcomeStatus(o[2]), "cancelled");
    EXPECT_EQ(OutcomeStatus(o[3]), "busy");
    EXPECT_FALSE(IsFailedResult(*o[3].code));  // nor against a failure limit
    EXPECT_EQ(OutcomeStatus(o[4]), "cancelled");

    const std::vector<std::string> lines = LiveLines(o, {100, 24});
    EXPECT_EQ(lines.back(),
              "0 running, 0 queued, 1 upgraded, 0 failed, 1 installing, 1 busy, 2 cancelled");
}

TEST(InterruptedRun, ResumeCommandRepeatsTheWordsWithoutThePassword) {
    EXPECT_EQ(ResumeCommandLine({"--set", "LogLevel=4", "upgrade", "--package", "/tmp/fw 1.bin",
                                 "--all", "--password", "secret", "--yes"}),
              "firmhand-cli --set LogLevel=4 upgrade --resume --package '/tmp/fw 1.bin' --all "
              "--yes");
    EXPECT_EQ(ResumeCommandLine({"upgrade", "--resume", "--password=se'cret", "--mac",
                                 "00:1A:2B:00:00:01", "--report", "it's.json"}),
              "firmhand-cli upgrade --resume --mac 00:1A:2B:00:00:01 --report 'it'\\''s.json'");
}

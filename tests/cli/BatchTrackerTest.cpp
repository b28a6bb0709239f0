// Each camera's status in a batch's report, from the messages the batch
// posts: what a script reading the report decides on.
#include <gtest/gtest.h>

#include "BatchTracker.h"
#include "ProgressView.h"
#include "UpgradeReport.h"
#include "session/MessageEvents.h"
#include "support/TestSupport.h"
#include "upgrade/UpgradeResult.h"

namespace {

SessionEvent Prepared(const std::string& mac) {
    return BatchPreparedEvent{mac, 1};
}
template <typename Code>
SessionEvent Result(Code code, const std::string& mac) {
    return *EventOfMessage(MakeTextMessage(WM_UPGRADE_RESULT, NumberOf(code), mac));
}

std::vector<CameraOutcome> Cameras(const std::vector<std::string>& macs) {
    std::vector<CameraOutcome> outcomes;
    for (const std::string& mac : macs) {
        CameraOutcome o;
        o.mac = mac;
        o.ip = "127.0.0.1";
        outcomes.push_back(o);
    }
    return outcomes;
}

}  // namespace

TEST(BatchTracker, StatusOfEachCameraWhenTheBatchIsCancelled) {
    CBatchTracker batch(Cameras({"aa", "bb", "cc", "dd", "ee", "ff"}));
    batch.Apply(Prepared("AA"), 0);  // prepared only
    for (const char* mac : {"bb", "cc", "ee", "ff"}) {
        batch.Apply(Prepared(mac), 0);
        batch.Apply(Result(UpgradeProgress::Starting, mac), 0);
    }
    batch.Apply(CameraProgressEvent{"bb", 40}, 1);
    batch.Apply(Result(UpgradeResult::BadCredentials, "cc"), 2);  // failed before the cancel
    batch.Apply(Result(UpgradeResult::Ok, "ee"), 3);
    batch.MarkCancelled();
    batch.Apply(Result(UpgradeResult::Failed, "bb"), 4);
    batch.Apply(Result(UpgradeResult::Ok, "ff"), 4);  // done just as the cancel came
    // Every final result is in, yet only the end message ends the batch.
    EXPECT_FALSE(batch.Over());
    batch.Apply(BatchEndedEvent{4}, 5);
    EXPECT_TRUE(batch.Over());

    const std::vector<CameraOutcome>& o = batch.Outcomes();
    EXPECT_EQ(OutcomeStatus(o[0]), "cancelled");
    EXPECT_EQ(o[0].code, std::nullopt);
    EXPECT_EQ(OutcomeStatus(o[1]), "cancelled");
    EXPECT_EQ(o[1].code, UpgradeResult::Failed);
    EXPECT_EQ(o[1].progress, 41);
    EXPECT_EQ(OutcomeStatus(o[2]), "failed");
    EXPECT_EQ(OutcomeStatus(o[3]), "not-started");
    EXPECT_EQ(OutcomeStatus(o[4]), "upgraded");
    EXPECT_EQ(OutcomeStatus(o[5]), "upgraded");
    EXPECT_EQ(o[5].seconds, 4);

    for (CameraOutcome& outcome : batch.Outcomes()) {
        outcome.package = "fw.bin";
    }
    testing_support::CSandbox box;
    ASSERT_TRUE(WriteOutcomeReport(o, box.File("r.csv")));
    ASSERT_TRUE(WriteOutcomeReport(o, box.File("r.json")));
    const std::string csv = box.Read("r.csv");
    EXPECT_NE(csv.find("\naa,127.0.0.1,-1,,,,0,0.0,cancelled,,fw.bin,,,,\n"), std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\ndd,127.0.0.1,-1,,,,0,0.0,not-started,,fw.bin,,,,\n"), std::string::npos)
        << csv;
    const std::string json = box.Read("r.json");
    EXPECT_NE(json.find("\"mac\": \"bb\", \"ip\": \"127.0.0.1\", \"code\": 1, \"text\": "
                        "\"Upgrade failed!\", \"status\": \"cancelled\""),
              std::string::npos)
        << json;
}

// What --progress json and the live view say of a transfer: the text's
// percentage is the number's, and a start reads as one.
TEST(BatchTracker, ProgressTextAgreesWithThePercentShown) {
    CBatchTracker batch(Cameras({"aa"}));
    batch.Apply(Result(UpgradeProgress::Starting, "aa"), 0);
    EXPECT_EQ(batch.Outcomes()[0].state, "starting");
    for (const int block : {0, 36, 98}) {
        batch.Apply(CameraProgressEvent{"aa", block}, 1);
        const CameraOutcome& o = batch.Outcomes()[0];
        EXPECT_EQ(o.state, std::to_string(ShownPercent(o)) + "%");
    }
}

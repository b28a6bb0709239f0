// The analytics query run against simulated cameras: address choice, the
// verdict of each kind of reply, order of the results, and that the run
// stays off the caller's thread and can be ended.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "RawHttpPeer.h"
#include "SimTestCamera.h"
#include "app/Logger.h"
#include "app/MessageQueue.h"
#include "app/StringTable.h"
#include "http/AiVersionQuery.h"
#include "http/AiVersionResult.h"
#include "http/DeviceApi.h"
#include "http/HttpClient.h"
#include "support/TestSupport.h"

namespace {

AiQuery QueryFor(const SimCameraInfo& at, const std::string& password = "cam-pass") {
    DEVICE_S_INFO record;
    std::memset(&record, 0, sizeof record);
    CopyField(record.mac, at.mac);
    CopyField(record.ip, at.ip);
    CopyField(record.ip2, at.ip2);
    record.dataPort = at.dataPort;
    record.httpPort = at.httpPort;
    return MakeAiQuery(record, "admin", password);
}

AiVersionResult ResultOf(const CWindowMessage& message) {
    AiVersionResult r;
    EXPECT_TRUE(ParseAiVersionResult(message, r));
    return r;
}

// Runs the query of one camera config and returns what the list would show.
AiVersionResult QueryOne(const SimCameraConfig& cam, const std::string& password = "cam-pass") {
    CSimFleet fleet;
    fleet.AddCamera(cam);
    EXPECT_TRUE(fleet.Start());
    return ResultOf(RunAiQuery(QueryFor(*fleet.Camera(cam.mac), password)));
}

}  // namespace

// Empty, missing and underscored versions are read by the same parser as
// any reply (DeviceInfoReplyTest); a chunked reply is read whole.
TEST(AiQueryOne, VersionsReadFromAWholeOrAChunkedReply) {
    SimCameraConfig chunked = HttpTestCamera("00:1A:2B:81:00:04", "127.80.2.4");
    chunked.faults.httpChunked = true;
    for (const SimCameraConfig& cam :
         {HttpTestCamera("00:1A:2B:81:00:01", "127.80.2.1"), chunked}) {
        const AiVersionResult r = QueryOne(cam);
        EXPECT_EQ(r.mac, cam.mac);
        EXPECT_TRUE(r.read);
        EXPECT_EQ(r.structVersion, "2.1.0");
        EXPECT_EQ(r.faceVersion, "1.4.2");
        EXPECT_EQ(r.vehicleVersion, "3.0.7");
        EXPECT_EQ(r.verdictId, IDS_AI_OK);
    }
}

TEST(AiQueryOne, WrongCredentialsAndErrorPagesMeanNoAnalytics) {
    CLogCapture log;
    const AiVersionResult wrong =
        QueryOne(HttpTestCamera("00:1A:2B:81:00:02", "127.80.2.2"), "not-it");
    EXPECT_TRUE(wrong.read);
    EXPECT_EQ(wrong.verdictId, IDS_AI_NOT_SUPPORTED);
    EXPECT_TRUE(log.Contains("httpStatus: 401"));

    SimCameraConfig missing = HttpTestCamera("00:1A:2B:81:00:03", "127.80.2.3");
    missing.faults.http404 = true;
    const AiVersionResult notFound = QueryOne(missing);
    EXPECT_TRUE(notFound.read);
    EXPECT_EQ(notFound.verdictId, IDS_AI_NOT_SUPPORTED);
    EXPECT_TRUE(log.Contains("httpStatus: 404"));
}

TEST(AiQueryOne, UnreachableFirstAddressFallsBackToTheSecond) {
    CSimFleet fleet;
    SimCameraConfig cam = HttpTestCamera("00:1A:2B:81:00:08", "127.80.2.8");
    fleet.AddCamera(cam);
    ASSERT_TRUE(fleet.Start());
    SimCameraInfo at = *fleet.Camera(cam.mac);
    at.ip2 = at.ip;
    at.ip = "127.80.250.1";  // nothing listens there
    CLogCapture log;
    const AiVersionResult r = ResultOf(RunAiQuery(QueryFor(at)));
    EXPECT_EQ(r.verdictId, IDS_AI_OK);
    EXPECT_TRUE(log.Contains("request succeed, url: http://127.80.2.8:" +
                             std::to_string(at.httpPort) + "/GetDeviceInfo, httpStatus: 200"));
    EXPECT_TRUE(log.Contains("127.80.250.1:" + std::to_string(at.dataPort) + " not reachable"));
}

TEST(AiQueryOne, BothAddressesUnreachableFails) {
    CLogCapture log;
    SimCameraInfo at;
    at.mac = "00:1A:2B:81:00:09";
    at.ip = "127.80.250.2";
    at.ip2 = "127.80.250.3";
    at.dataPort = 9008;
    at.httpPort = ClosedPort("127.80.250.3");
    const CWindowMessage m = RunAiQuery(QueryFor(at));
    EXPECT_EQ(m.wParam, AI_VERSION_FAILED);
    EXPECT_EQ(m.Text(), "00:1A:2B:81:00:09");
    EXPECT_EQ(ResultOf(m).verdictId, IDS_AI_FAILED);
    EXPECT_TRUE(log.Contains("request failed -1, url: http://127.80.250.3:" +
                             std::to_string(at.httpPort) + "/GetDeviceInfo, httpStatus: -1"));

    // Without a second address the request has nowhere to go.
    at.ip2 = "";
    EXPECT_EQ(RunAiQuery(QueryFor(at)).wParam, AI_VERSION_FAILED);
}

TEST(AiQueryRun, ResultsArriveInListOrderWithTheMiddleCameraUnreachable) {
    CSimFleet fleet;
    for (const char* n : {"1", "3"}) {
        fleet.AddCamera(
            HttpTestCamera(std::string("00:1A:2B:82:00:0") + n, std::string("127.80.3.") + n));
    }
    ASSERT_TRUE(fleet.Start());
    SimCameraInfo gone;
    gone.mac = "00:1A:2B:82:00:02";
    gone.ip = "127.80.251.1";
    gone.ip2 = "127.80.251.2";
    gone.dataPort = 9008;
    gone.httpPort = 80;

    auto queue = std::make_shared<CMessageQueue>();
    CAiVersionQuery run(queue);
    ASSERT_TRUE(run.Start({QueryFor(*fleet.Camera("00:1A:2B:82:00:01")), QueryFor(gone),
                           QueryFor(*fleet.Camera("00:1A:2B:82:00:03"))}));
    EXPECT_FALSE(run.Start({QueryFor(gone)}));  // one run at a time
    ASSERT_TRUE(run.Wait(20000));
    EXPECT_FALSE(run.Running());

    std::vector<std::pair<std::string, int>> seen;
    while (auto message = queue->TryPop()) {
        const AiVersionResult r = ResultOf(*message);
        seen.emplace_back(r.mac, r.verdictId);
    }
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{{"00:1A:2B:82:00:01", IDS_AI_OK},
                                                              {"00:1A:2B:82:00:02", IDS_AI_FAILED},
                                                              {"00:1A:2B:82:00:03", IDS_AI_OK}}));

    // A finished run makes room for the next one.
    ASSERT_TRUE(run.Start({QueryFor(gone)}));
    ASSERT_TRUE(run.Wait(20000));
    EXPECT_EQ(queue->Size(), 1u);
    EXPECT_FALSE(run.Start({}));
}

TEST(AiQueryRun, RunsOffTheCallersThreadAndEndsWhenCancelled) {
    CRawHttpPeer silent("127.80.4.1");
    ASSERT_TRUE(silent.Start());
    silent.SetReply(std::nullopt);
    SimCameraInfo at;
    at.mac = "00:1A:2B:83:00:01";
    at.ip = "127.80.4.1";
    at.dataPort = silent.Port();
    at.httpPort = silent.Port();

    // Far beyond the total limit: without the cancel only that minute would end a request.
    struct ReceiveTimeout {
        ReceiveTimeout() { CHttpClient::SetReceiveTimeoutForTest(600000); }
        ~ReceiveTimeout() { CHttpClient::SetReceiveTimeoutForTest(0); }
    } receiveTimeout;

    auto queue = std::make_shared<CMessageQueue>();
    auto run = std::make_unique<CAiVersionQuery>(queue);
    ASSERT_TRUE(run->Start({QueryFor(at), QueryFor(at)}));
    // Start came back while the camera keeps the request hanging.
    ASSERT_TRUE(testing_support::WaitFor([&] { return silent.Requests().size() == 1; }));
    EXPECT_TRUE(run->Running());
    EXPECT_EQ(queue->Size(), 0u);
    // The destructor cancels and waits.
    EXPECT_TRUE(testing_support::ReturnsWithin(std::chrono::seconds(30), [&] { run.reset(); }));
    EXPECT_EQ(queue->Size(), 0u);
    EXPECT_EQ(silent.Requests().size(), 1u);
}

TEST(AiQueryRun, AReceiverThatIsGoneEndsTheRun) {
    CSimFleet fleet;
    SimCameraConfig cam = HttpTestCamera("00:1A:2B:84:00:01", "127.80.5.1");
    fleet.AddCamera(cam);
    ASSERT_TRUE(fleet.Start());
    auto queue = std::make_shared<CMessageQueue>();
    queue->Close();
    CLogCapture log;
    CAiVersionQuery run(queue);
    const AiQuery q = QueryFor(*fleet.Camera(cam.mac));
    ASSERT_TRUE(run.Start({q, q, q}));
    ASSERT_TRUE(run.Wait(20000));
    EXPECT_EQ(fleet.State(cam.mac)->httpRequests, 2);  // one query: challenge and answer
    EXPECT_TRUE(log.Contains("receiver gone"));
}

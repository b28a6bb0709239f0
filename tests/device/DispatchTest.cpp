#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "ScriptedDevice.h"
#include "app/Logger.h"
#include "support/TestSupport.h"

using namespace scripted;
using testing_support::ReturnsWithin;
using testing_support::WaitFor;
using namespace std::chrono_literals;

namespace {

class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(m.client, nullptr); }
    void TearDown() override { CNetDVSDevice::SetWaitLimitsForTest(5000, 5000, 10000); }

    // Runs `request` on a worker while the device answers the frame it
    // sends with `replyType` and `payload`.
    template <typename Request>
    uint32_t Answered(Request request, uint32_t expectCmd, uint32_t replyType,
                      const Bytes& payload) {
        auto pending = std::async(std::launch::async, request);
        auto frame = m.device.ReadFrame();
        EXPECT_TRUE(frame.has_value());
        if (frame) {
            EXPECT_EQ(frame->cmdType, expectCmd);
        }
        m.device.Reply(replyType, payload);
        return pending.get();
    }

    LoggedInClient m;
};

}  // namespace

TEST_F(DispatchTest, EmptySendPackcmdIsSixteenBytes) {
    ASSERT_EQ(m.client->SendPackcmd(0x0701, 0, nullptr, 0), NET_OK);
    auto frame = m.device.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->message, Words({0x0701, 0, 0, 0}));
}

TEST_F(DispatchTest, StartUpgradeSendsItsWordOnlyForNewStylePackages) {
    EXPECT_EQ(m.client->StartUpgrade(0, false), NET_OK);
    EXPECT_EQ(m.client->GetUpgradeProgress(), 0);
    ASSERT_EQ(m.client->StartUpgrade(0, true), NET_OK);
    auto frame = m.device.ReadFrame();  // the first frame after the login
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->message, (Bytes{0x01, 0x0A, 0, 0, 0, 0, 0,    0,    0,    0,
                                     0,    0,    4, 0, 0, 0, 0x01, 0x00, 0x00, 0x00}));
}

TEST_F(DispatchTest, UpgradeDataGoesOutAsTheCallerLaidItOut) {
    const uint8_t block[5] = {1, 0, 0, 0, 0xEE};
    ASSERT_EQ(m.client->SendUpgradeData(block, 5, 0), NET_OK);
    const Bytes message = m.device.Peer().Read(8 + 21);
    EXPECT_EQ(message, (Bytes{'1', '1', '1', '1', 21, 0, 0, 0, 0x02, 0x0A, 0, 0, 0, 0,   0,
                              0,   0,   0,   0,   0,  5, 0, 0, 0,    1,    0, 0, 0, 0xEE}));
    EXPECT_EQ(m.client->SendUpgradeData(block, 5, 4), NET_SEND_FAILED);
}

TEST_F(DispatchTest, ProgressAndErrorRepliesReachTheUpgradePath) {
    CLogCapture log;
    m.device.Reply(0x01000A04, Words({7}));
    EXPECT_TRUE(WaitFor([&] { return m.client->GetUpgradeProgress() == 7; }));
    m.device.Reply(0x01000802, Words({8}));
    EXPECT_TRUE(WaitFor([&] { return m.client->GetUpgradeProgress() == 8; }));
    m.device.Reply(0x01000504, {});
    EXPECT_TRUE(WaitFor([&] { return m.client->GetUpgradeProgress() == 0; }));
    EXPECT_EQ(m.client->GetUpgradeError(), NET_OK);
    m.device.Reply(0x01000A03, Words({1}));
    EXPECT_TRUE(WaitFor([&] { return m.client->GetUpgradeError() == NET_UPGRADE_ERROR_1; }));
    EXPECT_TRUE(log.Contains(std::string("upgrade failed 1, mac: ") + kMac));
    m.device.Reply(0x01000801, Words({22}));
    EXPECT_TRUE(WaitFor([&] { return m.client->GetUpgradeError() == NET_UPGRADE_MODE_NEEDED; }));
    m.device.Reply(0x01000A03, Words({5}));
    EXPECT_TRUE(WaitFor([&] { return m.client->GetUpgradeError() == NET_UPGRADE_ERROR; }));
    m.client->StartUpgrade(0, false);
    EXPECT_EQ(m.client->GetUpgradeError(), NET_OK);
}

TEST_F(DispatchTest, PollProgressReportsEachNewStepOnce) {
    int32_t step = -7;
    EXPECT_EQ(m.client->PollProgress(&step), 3u);  // nothing yet
    m.client->StartUpgrade(0, false);
    EXPECT_EQ(m.client->PollProgress(&step), NET_UPGRADE_ERROR);
    m.device.Reply(0x01000A04, Words({5}));
    ASSERT_TRUE(WaitFor([&] { return m.client->GetUpgradeProgress() == 5; }));
    EXPECT_EQ(m.client->PollProgress(&step), NET_OK);
    EXPECT_EQ(step, 4);
    EXPECT_EQ(m.client->PollProgress(&step), 3u);
    m.device.Reply(0x01000A04, Words({101}));
    ASSERT_TRUE(WaitFor([&] { return m.client->GetUpgradeProgress() == 101; }));
    step = -7;
    EXPECT_EQ(m.client->PollProgress(&step), NET_OK);
    EXPECT_EQ(step, -7);
    m.device.Peer().Close();
    ASSERT_TRUE(WaitFor([&] { return m.client->GetConnectState() == CONNECT_LINK_LOST; }));
    EXPECT_EQ(m.client->PollProgress(&step), NET_SEND_FAILED);
}

TEST_F(DispatchTest, PollingEndsOnItsOwnReplyOnly) {
    auto pending = std::async(std::launch::async, [&] { return m.client->Request0701(); });
    ASSERT_TRUE(m.device.ReadFrame());
    m.device.Reply(0x01009999, Words({2}));  // unknown: dropped
    m.device.Reply(0x01000A04, Words({2}));  // another family: the wait goes on
    // Replies are handled in order: the progress shows both were.
    ASSERT_TRUE(WaitFor([&] { return m.client->GetUpgradeProgress() == 2; }));
    // A request woken by them would return within moments.
    EXPECT_EQ(pending.wait_for(300ms), std::future_status::timeout);
    m.device.Reply(0x01000701, {});
    EXPECT_EQ(pending.get(), NET_OK);

    EXPECT_EQ(Answered([&] { return m.client->Request0701(); }, 0x0701, 0x01000702, {}),
              NET_REQUEST_REFUSED);
    EXPECT_EQ(Answered([&] { return m.client->Request0505(); }, 0x0505, 0x01000508, {}),
              NET_FAILED);
}

TEST_F(DispatchTest, RefusedDataRequestsCarryTheirDetail) {
    std::vector<uint8_t> reply = {9};
    EXPECT_EQ(Answered([&] { return m.client->Request0405(reply, 0); }, 0x0405, 0x01000402,
                       Words({0, 0, 6})),
              NET_REFUSED_DETAIL_6);
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(Answered([&] { return m.client->Request0405(reply, 0); }, 0x0405, 0x01000402,
                       Words({0, 0, 5})),
              NET_REFUSED_DETAIL_5);
    EXPECT_EQ(Answered([&] { return m.client->Request0405(reply, 0); }, 0x0405, 0x01000402,
                       Words({0, 0, 1})),
              NET_SEND_FAILED);
    EXPECT_EQ(Answered([&] { return m.client->Request0405(reply, 0); }, 0x0405, 0x01000405,
                       Bytes{1, 2, 3}),
              NET_OK);
    EXPECT_EQ(reply, (Bytes{1, 2, 3}));
}

TEST_F(DispatchTest, RepliesFillTheirResultFields) {
    uint32_t value = 0;
    EXPECT_EQ(
        Answered([&] { return m.client->Request030D(&value); }, 0x030D, 0x01000302, Words({9})),
        NET_OK);
    EXPECT_EQ(value, 9u);
    EXPECT_EQ(
        Answered([&] { return m.client->Request0326(&value); }, 0x0326, 0x01000304, Words({10})),
        NET_OK);
    EXPECT_EQ(value, 10u);
    const uint8_t data[3] = {1, 2, 3};
    EXPECT_EQ(Answered([&] { return m.client->Request0212(data, 3, &value); }, 0x0212, 0x0100020F,
                       Words({11})),
              NET_OK);
    EXPECT_EQ(value, 11u);
    EXPECT_EQ(Answered([&] { return m.client->Request0C05(data, 3, &value); }, 0x0C05, 0x01000C07,
                       Words({12})),
              NET_OK);
    EXPECT_EQ(value, 12u);
    std::vector<uint8_t> reply;
    EXPECT_EQ(
        Answered([&] { return m.client->Request0C06(reply); }, 0x0C06, 0x01000C08, Bytes{7, 7}),
        NET_OK);
    EXPECT_EQ(reply, (Bytes{7, 7}));
    EXPECT_EQ(Answered([&] { return m.client->Exchange0407(data, 3, reply); }, 0x0407, 0x01000306,
                       Bytes{4}),
              NET_OK);
    EXPECT_EQ(reply, Bytes{4});
}

TEST_F(DispatchTest, APollWithATurnLimitGivesUp) {
    std::vector<uint8_t> reply;
    EXPECT_EQ(m.client->Request020E(reply), NET_FAILED);  // 30 turns, about 3 s
}

TEST_F(DispatchTest, LossOfTheLinkEndsAPollWithResultFour) {
    auto pending = std::async(std::launch::async, [&] { return m.client->Request0701(); });
    ASSERT_TRUE(m.device.ReadFrame());
    m.device.Peer().Close();
    EXPECT_EQ(pending.get(), NET_SEND_FAILED);
    EXPECT_TRUE(WaitFor([&] { return m.events.Of(DEVICE_EVENT_LINK_LOST).size() == 1; }));
    EXPECT_EQ(m.client->GetConnectState(), CONNECT_LINK_LOST);
    // Every later request fails with its send result.
    EXPECT_EQ(m.client->Request0701(), NET_SEND_FAILED);
    m.client.reset();  // teardown of a lost client does not wait for the device
    EXPECT_EQ(m.events.Of(DEVICE_EVENT_LINK_LOST).size(), 1u);
}

TEST_F(DispatchTest, SetUpgradeModeWaitsForItsAnswer) {
    CLogCapture log;
    EXPECT_EQ(Answered([&] { return m.client->SetUpgradeMode(2); }, 0x0A06, 0x01000A06, Words({1})),
              NET_OK);
    EXPECT_TRUE(log.Contains(std::string("set upgrade mode result 1, mac: ") + kMac));
    EXPECT_EQ(Answered([&] { return m.client->SetUpgradeMode(2); }, 0x0A06, 0x01000A06, Words({0})),
              NET_FAILED);
    CNetDVSDevice::SetWaitLimitsForTest(300, 5000, 10000);
    EXPECT_EQ(m.client->SetUpgradeMode(2), NET_STATUS_TIMEOUT);
    EXPECT_TRUE(log.Contains(std::string("set upgrade mode timeout, mac: ") + kMac));
}

TEST_F(DispatchTest, LossDuringAStatusEventWaitEndsAtItsLimit) {
    CNetDVSDevice::SetWaitLimitsForTest(500, 5000, 10000);
    auto pending = std::async(std::launch::async, [&] { return m.client->SetUpgradeMode(2); });
    ASSERT_TRUE(m.device.ReadFrame());
    m.device.Peer().Close();
    EXPECT_EQ(pending.get(), NET_STATUS_TIMEOUT);
    EXPECT_TRUE(WaitFor([&] { return m.client->GetConnectState() == CONNECT_LINK_LOST; }));
    EXPECT_EQ(m.client->SetUpgradeMode(2), NET_SEND_FAILED);  // the send fails at once
}

TEST_F(DispatchTest, NetworkQrCodeUsesTheStatusEvent) {
    const Bytes code(256, 0x33);
    EXPECT_EQ(Answered([&] { return m.client->SetNetworkQrCode(code.data()); }, 0x032C, 0x01000308,
                       Words({1})),
              NET_OK);
    EXPECT_EQ(Answered([&] { return m.client->SetNetworkQrCode(code.data()); }, 0x032C, 0x01000308,
                       Words({3})),
              NET_FAILED);
}

TEST_F(DispatchTest, EachClientHasItsOwnStatusEvent) {
    // Another client's request in progress neither wakes nor blocks this one.
    // Its wait may last minutes, so a teardown held up by it shows.
    CNetDVSDevice::SetWaitLimitsForTest(120000, 5000, 10000);
    LoggedInClient other;
    ASSERT_NE(other.client, nullptr);
    auto pending = std::async(std::launch::async, [&] { return other.client->SetUpgradeMode(1); });
    ASSERT_TRUE(other.device.ReadFrame());
    EXPECT_TRUE(ReturnsWithin(30s, [&] { m.client.reset(); }));
    other.device.Reply(0x01000A06, Words({1}));
    EXPECT_EQ(pending.get(), NET_OK);
}

TEST_F(DispatchTest, DataRepliesWakeTheirAutoResetEvents) {
    CNetDVSDevice::SetWaitLimitsForTest(5000, 300, 300);
    uint8_t buffer[8] = {};
    uint32_t length = sizeof(buffer);
    EXPECT_EQ(Answered([&] { return m.client->Request0401(0, buffer, &length); }, 0x0401,
                       0x01000406, Bytes{5, 6, 7}),
              NET_OK);
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{5, 6, 7}));
    EXPECT_EQ(m.client->Request0401(0, buffer, &length), NET_SEND_FAILED);  // no answer
    ASSERT_TRUE(m.device.ReadFrame());

    ParameterBlock block{};
    block.fill(0xEE);
    EXPECT_EQ(Answered([&] { return m.client->GetParameterBlock(block); }, 0x0206, 0x01000201,
                       Bytes{1, 2}),
              NET_OK);
    ParameterBlock expected{};
    expected[0] = 1;
    expected[1] = 2;
    EXPECT_EQ(block, expected);  // a short block is zero-filled
    EXPECT_EQ(m.client->GetParameterBlock(block), NET_SEND_FAILED);
}

TEST_F(DispatchTest, NotificationsBecomeEvents) {
    m.device.Reply(0x01000B01, Words({5, 6}), 77);
    m.device.Reply(0x01000B02, Words({8, 9}));
    m.device.Reply(0x01000103, Bytes{1, 2, 3}, 3);
    m.device.Reply(0x01002002, Bytes{4});
    m.device.Reply(0x010002F3, Bytes{});
    m.device.Reply(0x01000FB2, Bytes{6, 6});
    m.device.Reply(0x01009999, Bytes{6, 6});  // unknown: no event
    ASSERT_TRUE(WaitFor([&] { return m.events.Of(23).size() == 1; }));
    const auto alarms = m.events.Of(DEVICE_EVENT_ALARM);
    ASSERT_EQ(alarms.size(), 2u);
    EXPECT_EQ(alarms[0].length, 12);
    EXPECT_EQ(alarms[0].data, Words({128, 5, 6}));
    EXPECT_EQ(alarms[0].cmdId, 77u);
    EXPECT_EQ(alarms[1].data, Words({64, 8, 9}));
    ASSERT_EQ(m.events.Of(4).size(), 1u);
    EXPECT_EQ(m.events.Of(4)[0].data, (Bytes{1, 2, 3}));
    EXPECT_EQ(m.events.Of(4)[0].cmdId, 3u);
    EXPECT_EQ(m.events.Of(6).size(), 1u);
    EXPECT_EQ(m.events.Of(17).size(), 1u);
    EXPECT_EQ(m.events.Size(), 6u);
}

TEST_F(DispatchTest, FramesAreReadByTheirDataLength) {
    CLogCapture log;
    // Longer message than dataLength: the rest is ignored.
    m.device.Send(DeviceFrame(0x01000B01, Words({1, 2, 3, 4}), 0, 8));
    ASSERT_TRUE(WaitFor([&] { return m.events.Of(DEVICE_EVENT_ALARM).size() == 1; }));
    EXPECT_EQ(m.events.Of(DEVICE_EVENT_ALARM)[0].data, Words({128, 1, 2}));
    // dataLength beyond what arrived: dropped, with a warning.
    m.device.Send(DeviceFrame(0x01000A04, Words({9}), 0, 64));
    m.device.Reply(0x01000B02, Words({0, 0}));
    ASSERT_TRUE(WaitFor([&] { return m.events.Of(DEVICE_EVENT_ALARM).size() == 2; }));
    EXPECT_EQ(m.client->GetUpgradeProgress(), -1);
    EXPECT_TRUE(log.Contains("frame dropped, cmdType: 0x01000A04, dataLength: 64, received: 4"));
    // A link message too short for a frame head.
    m.device.Send(loopback::Concat({loopback::DataHead(3), Bytes{1, 2, 3}}));
    ASSERT_TRUE(WaitFor([&] { return log.Contains("frame dropped, length: 3"); }));
}

TEST_F(DispatchTest, ChannelRecordsFollowTheDeviceAndTheCaller) {
    ChannelRecords records{};
    m.client->GetChannelSettings(records);
    EXPECT_EQ(records, [] {
        ChannelRecords all;
        all.fill(128);
        return all;
    }());
    m.device.Reply(0x01000301, Words({1, 2, 3, 4}));
    ASSERT_TRUE(WaitFor([&] {
        m.client->GetChannelSettings(records);
        return records[0] == 1;
    }));
    EXPECT_EQ(Bytes(records.begin(), records.begin() + 5), (Bytes{1, 2, 4, 3, 128}));
    EXPECT_EQ(m.client->SetChannelSetting(0, 2, 9, {}), NET_OK);
    auto frame = m.device.ReadFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->cmdType, 0x0301u);
    EXPECT_EQ(frame->payload, Words({1, 2, 9, 4}));
    EXPECT_EQ(m.client->SetChannelSetting(64, 0, 1, {}), NET_SEND_FAILED);
    EXPECT_FALSE(m.client->SendChannelSettings(64, records));
}

TEST_F(DispatchTest, AnInterruptEndsAWaitThatHasNoLimit) {
    std::vector<uint8_t> reply;
    auto pending = std::async(std::launch::async, [&] { return m.client->Request0208(reply); });
    ASSERT_TRUE(m.device.ReadFrame());
    m.client->Interrupt();
    EXPECT_EQ(pending.get(), NET_SEND_FAILED);
    // Interrupted for good: a later request does not wait either.
    EXPECT_EQ(m.client->Request0701(), NET_SEND_FAILED);
}

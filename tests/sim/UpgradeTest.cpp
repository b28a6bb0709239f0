// A full upgrade of one camera of each credential protection, driven by the
// scripted client, and the camera's offline/back cycle around it.
#include <gtest/gtest.h>

#include "SimTestUtil.h"

namespace {

struct UpgradeCase {
    const char* name;
    SimProtection protection;
    bool newStyle;
    const char* ip;
};

class FullUpgrade : public SimCameraTest, public ::testing::WithParamInterface<UpgradeCase> {};

}  // namespace

TEST_P(FullUpgrade, CameraTakesPackageFlashesGoesOfflineAndComesBackUpgraded) {
    const UpgradeCase& param = GetParam();
    SimCameraConfig cam = TestCamera("00:1A:2B:60:00:01", param.ip);
    cam.protection = param.protection;
    cam.user = "installer";
    cam.password = "S3cret!";
    cam.upgradeSoftwareVer = "4.0.3";
    cam.upgradeBuild = 230301;
    const ByteVec package = MakePackage(1050 + 3, param.newStyle);
    cam.package = package;
    StartCamera(cam);
    const std::string bootBefore = fleet.State(mac)->bootId;

    CScriptedClient client;
    ASSERT_TRUE(Connect(client));
    EXPECT_EQ(LE32(&info[12]), 3u);
    EXPECT_EQ(LE32(&info[8]), 0x2020u);
    EXPECT_EQ(LE32(&info[24]), param.protection == SimProtection::Xor ? 0x00010000u : 0u);
    const uint8_t loginEncrypt = param.protection == SimProtection::LoginEncrypt1   ? 1
                                 : param.protection == SimProtection::LoginEncrypt2 ? 2
                                                                                    : 0;
    EXPECT_EQ(info[44], loginEncrypt);

    ClientFrame reply;
    ASSERT_EQ(LogIn(client, info, "installer", "S3cret!", true, &reply), 0x01000101u);
    ASSERT_GE(reply.payload.size(), 110u);
    EXPECT_EQ(LE32(&reply.payload[0x2C]), 0x04000200u);

    const ByteVec payload(package.begin(), package.end() - (param.newStyle ? 0 : 64));
    const TransferOutcome outcome = SendPackage(client, payload, param.newStyle);
    EXPECT_EQ(outcome.lastAck, 100);
    EXPECT_EQ(outcome.error, 0u);

    // Flashing: connections are still taken.
    ASSERT_TRUE(fleet.WaitForEvent(mac, "flash_start", 2000));
    EXPECT_EQ(fleet.State(mac)->phase, "flashing");
    client.Close();
    // Offline: TCP refused, probes unanswered, HTTP silent.
    ASSERT_TRUE(fleet.WaitForEvent(mac, "offline", 3000));
    EXPECT_TRUE(CScriptedClient::Refused(where.ip, where.dataPort));
    EXPECT_TRUE(CScriptedClient::Refused(where.ip, where.httpPort));
    EXPECT_EQ(SendProbe(where.ip, where.searchPort, 100), "");
    // Back with the new version and a new boot id, on the same ports.
    ASSERT_TRUE(fleet.WaitForEvent(mac, "online", 3000));
    const SimCameraState after = *fleet.State(mac);
    EXPECT_EQ(after.softwareVer, "4.0.3");
    EXPECT_EQ(after.build, 230301);
    EXPECT_EQ(after.versionWord, 0x04000300u);
    EXPECT_NE(after.bootId, bootBefore);
    EXPECT_EQ(after.upgradesCompleted, 1);
    const std::string found = SendProbe(where.ip, where.searchPort);
    EXPECT_EQ(XmlText(found, "build"), "230301");
    EXPECT_EQ(XmlText(found, "softwareVer"), "4.0.3");
    EXPECT_EQ(XmlText(found, "bootId"), after.bootId);
    EXPECT_EQ(XmlText(found, "dataPort"), std::to_string(where.dataPort));

    CScriptedClient again;
    ASSERT_TRUE(Connect(again));
    ASSERT_EQ(LogIn(again, info, "installer", "S3cret!", false, &reply), 0x01000101u);
    EXPECT_EQ(LE32(&reply.payload[0x2C]), 0x04000300u);

    // What the camera saw.
    const auto events = fleet.Events(mac);
    int blocks = 0;
    bool sawLogin = false;
    bool sawDone = false;
    for (const auto& e : events) {
        if (e.kind == "block")
            ++blocks;
        if (e.kind == "login" && !sawLogin) {
            sawLogin = true;
            EXPECT_EQ(e.Get("user"), "installer");
            EXPECT_EQ(e.Get("upgradeMode"), "true");
        }
        if (e.kind == "upgrade_start") {
            EXPECT_EQ(e.Get("style"), param.newStyle ? "new" : "old");
        }
        if (e.kind == "transfer_done") {
            sawDone = true;
            EXPECT_EQ(e.GetInt("bytes"), int64_t(payload.size()));
            EXPECT_EQ(e.Get("md5Checked"), "true");
            EXPECT_EQ(e.Get("md5Ok"), "true");
        }
    }
    EXPECT_EQ(blocks, 100);
    EXPECT_TRUE(sawLogin);
    EXPECT_TRUE(sawDone);
    EXPECT_EQ(fleet.CountEvents(mac, "login_ok"), 2);
}

INSTANTIATE_TEST_SUITE_P(
    EachProtection, FullUpgrade,
    ::testing::Values(
        UpgradeCase{"None", SimProtection::None, true, "127.60.1.1"},
        UpgradeCase{"Xor", SimProtection::Xor, false, "127.60.1.2"},
        UpgradeCase{"LoginEncrypt1", SimProtection::LoginEncrypt1, true, "127.60.1.3"},
        UpgradeCase{"LoginEncrypt2", SimProtection::LoginEncrypt2, false, "127.60.1.4"}),
    [](const ::testing::TestParamInfo<UpgradeCase>& each) { return std::string(each.param.name); });

using SimLifecycle = SimCameraTest;

TEST_F(SimLifecycle, OfflineAndBackThroughTheApi) {
    StartCamera(TestCamera("00:1A:2B:60:00:10", "127.60.2.1"));
    CScriptedClient held;
    ASSERT_TRUE(Connect(held));
    const std::string boot = fleet.State(mac)->bootId;

    ASSERT_TRUE(fleet.SetOnline(mac, false));
    EXPECT_TRUE(held.WaitClosed(1000));  // open connections end with the camera
    EXPECT_FALSE(fleet.State(mac)->online);
    EXPECT_TRUE(CScriptedClient::Refused(where.ip, where.dataPort));
    EXPECT_EQ(SendProbe(where.ip, where.searchPort, 150), "");

    ASSERT_TRUE(fleet.SetOnline(mac, true));
    EXPECT_TRUE(fleet.State(mac)->online);
    EXPECT_NE(fleet.State(mac)->bootId, boot);
    EXPECT_NE(SendProbe(where.ip, where.searchPort), "");
    CScriptedClient back;
    EXPECT_TRUE(back.Connect(where.ip, where.dataPort));

    // A restart comes back by itself, again with a new boot id.
    const std::string boot2 = fleet.State(mac)->bootId;
    ASSERT_TRUE(fleet.Restart(mac, 100));
    EXPECT_FALSE(fleet.State(mac)->online);
    ASSERT_TRUE(fleet.WaitForEvent(mac, "online", 2000, 2));
    EXPECT_NE(fleet.State(mac)->bootId, boot2);
    EXPECT_FALSE(fleet.SetOnline("00:00:00:00:00:00", false));
}

TEST_F(SimLifecycle, UnactivatedCameraTakesNewStylePackageWithoutLogin) {
    SimCameraConfig cam = TestCamera("00:1A:2B:60:00:11", "127.60.2.2");
    cam.deviceActivated = 1;
    StartCamera(cam);
    CScriptedClient client;
    ASSERT_TRUE(Connect(client));
    EXPECT_EQ(SendPackage(client, MakePackage(300, true), true).lastAck, 100);
    EXPECT_TRUE(fleet.WaitForEvent(mac, "flash_start", 2000));
}

TEST_F(SimLifecycle, ActivatedCameraIgnoresUpgradeBeforeLogin) {
    StartCamera(TestCamera("00:1A:2B:60:00:12", "127.60.2.3"));
    CScriptedClient client;
    ASSERT_TRUE(Connect(client));
    const uint8_t data[10] = {};
    ASSERT_TRUE(SendBlock(client, 1, data, sizeof data));
    ClientFrame frame;
    EXPECT_EQ(client.ReadReply(&frame, 300), ReadResult::Timeout);
    EXPECT_TRUE(fleet.WaitForEvent(mac, "no_login", 1000));
}

// Each fault a camera can play, seen from the scripted client.
#include <gtest/gtest.h>

#include "SimTestUtil.h"

using FaultTest = SimCameraTest;

TEST_F(FaultTest, ForcedLoginErrorsComeInSequenceThenLoginsAreJudged) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:01", "127.61.0.1");
    cam.faults.loginErrors = {23, 24, 2, 3, 13, 22, 30};
    StartCamera(cam);
    for (uint32_t expected : cam.faults.loginErrors) {
        CScriptedClient client;
        ClientFrame reply;
        ASSERT_EQ(ConnectAndLogIn(client, &reply), 0x01000102u);
        EXPECT_EQ(reply.Word(), expected);
    }
    CScriptedClient client;
    EXPECT_EQ(ConnectAndLogIn(client), 0x01000101u);
    CScriptedClient wrong;
    ClientFrame reply;
    ASSERT_EQ(ConnectAndLogIn(wrong, &reply, "nope"), 0x01000102u);
    EXPECT_EQ(reply.Word(), 2u);
    const auto events = fleet.Events(mac);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(fleet.CountEvents(mac, "login_refused"), 8);
    EXPECT_EQ(events.back().Get("reason"), "credentials: password field");
}

TEST_F(FaultTest, WrongCredentialsAreRefusedWithError2UnderEveryProtection) {
    StartCamera(TestCamera("00:1A:2B:61:00:02", "127.61.0.2"));
    for (SimProtection protection : {SimProtection::None, SimProtection::Xor,
                                     SimProtection::LoginEncrypt1, SimProtection::LoginEncrypt2}) {
        ASSERT_TRUE(fleet.SetCredentials(mac, "admin", "739518", protection));
        CScriptedClient good;
        EXPECT_EQ(ConnectAndLogIn(good), 0x01000101u);
        CScriptedClient bad;
        ClientFrame reply;
        ASSERT_EQ(ConnectAndLogIn(bad, &reply, "admin12"), 0x01000102u);
        EXPECT_EQ(reply.Word(), 2u);
    }
}

TEST_F(FaultTest, TooManyConnectionsAndSessionLimit) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:03", "127.61.0.3");
    cam.faults.maxSessions = 1;
    StartCamera(cam);
    CScriptedClient first;
    ASSERT_EQ(ConnectAndLogIn(first), 0x01000101u);
    CScriptedClient second;
    ClientFrame reply;
    ASSERT_EQ(ConnectAndLogIn(second, &reply), 0x01000102u);
    EXPECT_EQ(reply.Word(), 4u);
    first.Close();
    ASSERT_TRUE(fleet.WaitForEvent(mac, "disconnect", 1000));
    CScriptedClient third;
    EXPECT_EQ(ConnectAndLogIn(third), 0x01000101u);

    SimFaults faults;
    faults.tooManyConnections = true;
    fleet.SetFaults(mac, faults);
    CScriptedClient fourth;
    ASSERT_EQ(ConnectAndLogIn(fourth, &reply), 0x01000102u);
    EXPECT_EQ(reply.Word(), 4u);
}

TEST_F(FaultTest, UpgradeErrorWordAtBlock) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:05", "127.61.0.5");
    cam.faults.upgradeErrorAtBlock = 40;
    cam.faults.upgradeErrorWord = 1;
    StartCamera(cam);
    CScriptedClient client;
    const TransferOutcome outcome = LogInAndSend(client);
    EXPECT_EQ(outcome.lastAck, 39);
    EXPECT_EQ(outcome.error, 1u);
    EXPECT_EQ(fleet.CountEvents(mac, "upgrade_error"), 1);
    EXPECT_EQ(fleet.State(mac)->phase, "online");  // no restart for word 1
}

TEST_F(FaultTest, UpgradeError22RestartsIntoUpgradeModeAndNextTransferPasses) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:06", "127.61.0.6");
    cam.faults.upgradeErrorAtBlock = 5;
    cam.faults.upgradeErrorWord = 22;
    StartCamera(cam);
    const std::string boot = fleet.State(mac)->bootId;
    {
        CScriptedClient client;
        const TransferOutcome outcome = LogInAndSend(client);
        EXPECT_EQ(outcome.lastAck, 4);
        EXPECT_EQ(outcome.error, 22u);
        EXPECT_TRUE(client.WaitClosed(2000));
    }
    ASSERT_TRUE(fleet.WaitForEvent(mac, "online", 2000));
    SimCameraState state = *fleet.State(mac);
    EXPECT_TRUE(state.upgradeMode);
    EXPECT_NE(state.bootId, boot);
    EXPECT_EQ(state.build, cam.build);

    CScriptedClient client;
    EXPECT_EQ(LogInAndSend(client).lastAck, 100);
    ASSERT_TRUE(fleet.WaitForEvent(mac, "online", 3000, 2));
    state = *fleet.State(mac);
    EXPECT_FALSE(state.upgradeMode);
    EXPECT_EQ(state.build, cam.build + 1);
}

TEST_F(FaultTest, ConnectionClosedAtBlock) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:07", "127.61.0.7");
    cam.faults.closeAtBlock = 10;
    StartCamera(cam);
    CScriptedClient client;
    const TransferOutcome outcome = LogInAndSend(client);
    EXPECT_EQ(outcome.lastAck, 9);
    EXPECT_EQ(outcome.end, ReadResult::Closed);
    EXPECT_EQ(fleet.CountEvents(mac, "close_at_block"), 1);
}

TEST_F(FaultTest, AcknowledgementsStopButTheLinkStaysAlive) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:08", "127.61.0.8");
    cam.faults.stopAcksAtBlock = 50;
    StartCamera(cam);
    CScriptedClient client;
    const TransferOutcome outcome = LogInAndSend(client, 5000, 400);
    EXPECT_EQ(outcome.lastAck, 49);
    EXPECT_EQ(outcome.end, ReadResult::Timeout);
    EXPECT_EQ(fleet.State(mac)->lastBlock, 50);
    ClientFrame frame;
    const int before = client.keepAlives;
    // Keep-alives go on (however slow the machine) and nothing else comes.
    for (int turn = 0; turn < 60 && client.keepAlives == before; ++turn) {
        EXPECT_EQ(client.ReadFrame(&frame, 1000), ReadResult::Timeout);
    }
    EXPECT_GT(client.keepAlives, before);
    EXPECT_EQ(fleet.CountEvents(mac, "acks_stopped"), 1);
}

TEST_F(FaultTest, InvalidDataHeadAtBlockAndAtLogin) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:09", "127.61.0.9");
    cam.faults.invalidHeadAtBlock = 30;
    StartCamera(cam);
    CScriptedClient client;
    const TransferOutcome outcome = LogInAndSend(client);
    EXPECT_EQ(outcome.lastAck, 29);
    EXPECT_EQ(outcome.end, ReadResult::BadHead);

    SimFaults faults;
    faults.invalidHeadAtLogin = true;
    fleet.SetFaults(mac, faults);
    CScriptedClient second;
    ASSERT_TRUE(Connect(second));
    ASSERT_TRUE(second.SendFrame(0x0101, BuildLoginRequest(info, "admin", "739518", false, 0)));
    ClientFrame frame;
    EXPECT_EQ(second.ReadFrame(&frame, 2000), ReadResult::BadHead);
    EXPECT_EQ(fleet.CountEvents(mac, "invalid_head"), 2);
}

TEST_F(FaultTest, FragmentedRepliesUseBothSlotsAmongKeepAlivesAndUnknownCodes) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:0A", "127.61.0.10");
    cam.faults.fragmentReplies = true;
    StartCamera(cam);
    CScriptedClient client;
    ASSERT_EQ(ConnectAndLogIn(client), 0x01000101u);
    EXPECT_EQ(client.fragments, 0);  // the login reply goes whole
    EXPECT_EQ(SendPackage(client, MakePackage(5000, true), true).lastAck, 100);
    // Per reply: 3 + 2 fragments and one stray; one whole and one
    // reassembled unknown frame; two keep-alive heads.
    EXPECT_EQ(client.fragments, 100 * 6);
    EXPECT_EQ(client.strayFragments, 100);
    EXPECT_EQ(client.unknownFrames, 200);
    EXPECT_GE(client.keepAlives, 200);
    EXPECT_TRUE(client.slotsUsed[0]);
    EXPECT_TRUE(client.slotsUsed[1]);
}

TEST_F(FaultTest, NeverComingBackUntilBroughtOnline) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:0B", "127.61.0.11");
    cam.faults.neverReturn = true;
    cam.offlineMs = 50;
    StartCamera(cam);
    CScriptedClient client;
    EXPECT_EQ(LogInAndSend(client, 500).lastAck, 100);
    ASSERT_TRUE(fleet.WaitForEvent(mac, "offline", 2000));
    EXPECT_FALSE(fleet.WaitForEvent(mac, "online", 400));
    EXPECT_TRUE(CScriptedClient::Refused(where.ip, where.dataPort));
    fleet.SetOnline(mac, true);
    EXPECT_EQ(fleet.State(mac)->build, cam.build + 1);
}

TEST_F(FaultTest, ComingBackWithTheSameVersion) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:0C", "127.61.0.12");
    cam.faults.sameVersionOnReturn = true;
    StartCamera(cam);
    const std::string boot = fleet.State(mac)->bootId;
    CScriptedClient client;
    EXPECT_EQ(LogInAndSend(client, 500).lastAck, 100);
    ASSERT_TRUE(fleet.WaitForEvent(mac, "online", 3000));
    const SimCameraState state = *fleet.State(mac);
    EXPECT_EQ(state.build, cam.build);
    EXPECT_EQ(state.softwareVer, cam.softwareVer);
    EXPECT_NE(state.bootId, boot);
    EXPECT_EQ(XmlText(SendProbe(where.ip, where.searchPort), "build"), std::to_string(cam.build));
}

TEST_F(FaultTest, SecondAddressChangesAfterADelay) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:0D", "127.61.0.13");
    cam.ip2 = "127.61.1.13";
    cam.mask2 = "255.255.0.0";
    cam.faults.ip2ChangeAfterMs = 200;
    cam.faults.ip2ChangeTo = "127.61.2.13";
    cam.faults.ip2ChangeMask = "255.255.255.0";
    StartCamera(cam);
    std::string reply = SendProbe(where.ip, where.searchPort);
    EXPECT_NE(reply.find("<ip>127.61.1.13</ip>"), std::string::npos);
    CScriptedClient onSecond;
    EXPECT_TRUE(onSecond.Connect("127.61.1.13", where.dataPort));

    ASSERT_TRUE(fleet.WaitForEvent(mac, "ip2_changed", 2000));
    reply = SendProbe(where.ip, where.searchPort);
    EXPECT_NE(reply.find("<ip>127.61.2.13</ip>"), std::string::npos);
    EXPECT_NE(reply.find("<mask>255.255.255.0</mask>"), std::string::npos);
    EXPECT_EQ(reply.find("127.61.1.13"), std::string::npos);
    EXPECT_TRUE(CScriptedClient::Refused("127.61.1.13", where.dataPort));
    CScriptedClient onNew;
    EXPECT_TRUE(onNew.Connect("127.61.2.13", where.dataPort));
    EXPECT_EQ(fleet.State(mac)->ip2, "127.61.2.13");

    fleet.SetIp2(mac, "", "");
    reply = SendProbe(where.ip, where.searchPort);
    EXPECT_EQ(reply.find("<item>", reply.find("<item>") + 1), std::string::npos);
}

TEST_F(FaultTest, SecondAddressSharedByTwoCameras) {
    SimCameraConfig a = TestCamera("00:1A:2B:61:00:0E", "127.61.0.14");
    SimCameraConfig b = TestCamera("00:1A:2B:61:00:0F", "127.61.0.15");
    a.ip2 = b.ip2 = "127.61.1.99";
    a.mask2 = b.mask2 = "255.255.0.0";
    fleet.AddCamera(a);
    StartCamera(b);
    for (const auto& camera : fleet.Cameras()) {
        const std::string reply = SendProbe(camera.ip, camera.searchPort);
        EXPECT_NE(reply.find("<ip>127.61.1.99</ip>"), std::string::npos) << camera.mac;
        CScriptedClient client;
        EXPECT_TRUE(client.Connect("127.61.1.99", camera.dataPort)) << camera.mac;
    }
}

TEST_F(FaultTest, BlocksOutOfOrderOrOfWrongSizeAreRefused) {
    StartCamera(TestCamera("00:1A:2B:61:00:10", "127.61.0.16"));
    CScriptedClient client;
    ASSERT_EQ(ConnectAndLogIn(client), 0x01000101u);
    const uint8_t data[64] = {};
    ASSERT_TRUE(SendBlock(client, 1, data, 60));
    ClientFrame frame;
    ASSERT_EQ(client.ReadReply(&frame, 1000), ReadResult::Frame);
    EXPECT_EQ(frame.cmdType, 0x01000A04u);
    ASSERT_TRUE(SendBlock(client, 3, data, 10));  // 2 skipped
    ASSERT_EQ(client.ReadReply(&frame, 1000), ReadResult::Frame);
    EXPECT_EQ(frame.cmdType, 0x01000A03u);
    EXPECT_EQ(frame.Word(), 3u);

    // A new transfer: block 2 larger than block 1.
    ByteVec one;
    AppendLE32(one, 1);
    ASSERT_TRUE(client.SendFrame(0x0A01, one));
    ASSERT_TRUE(SendBlock(client, 1, data, 10));
    ASSERT_EQ(client.ReadReply(&frame, 1000), ReadResult::Frame);
    ASSERT_TRUE(SendBlock(client, 2, data, 20));
    ASSERT_EQ(client.ReadReply(&frame, 1000), ReadResult::Frame);
    EXPECT_EQ(frame.cmdType, 0x01000A03u);
    EXPECT_EQ(fleet.CountEvents(mac, "block_rejected"), 2);
}

TEST_F(FaultTest, PayloadThatDiffersFromTheExpectedPackageIsRefusedAtBlock100) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:11", "127.61.0.17");
    ByteVec package = MakePackage(2000, true);
    cam.package = package;
    StartCamera(cam);
    package[1500] ^= 0xFF;
    CScriptedClient client;
    ASSERT_EQ(ConnectAndLogIn(client), 0x01000101u);
    const TransferOutcome outcome = SendPackage(client, package, true);
    EXPECT_EQ(outcome.lastAck, 99);
    EXPECT_EQ(outcome.error, 7u);
    EXPECT_EQ(fleet.CountEvents(mac, "flash_start"), 0);
    const auto events = fleet.Events(mac);
    for (const auto& e : events) {
        if (e.kind == "transfer_done") {
            EXPECT_EQ(e.Get("md5Ok"), "false");
        }
    }

    // A package of another length is refused at its first block.
    CScriptedClient second;
    ASSERT_EQ(ConnectAndLogIn(second), 0x01000101u);
    EXPECT_EQ(SendPackage(second, MakePackage(3000, true), true).error, 3u);
}

TEST_F(FaultTest, GarbageFromTheClientIsDroppedWithoutHarm) {
    StartCamera(TestCamera("00:1A:2B:61:00:12", "127.61.0.18"));
    {
        CScriptedClient client;
        ASSERT_EQ(ConnectAndLogIn(client), 0x01000101u);
        // A frame whose dataLength runs past its message is dropped; the
        // connection goes on.
        ByteVec bad = {'1', '1', '1', '1', 16, 0, 0, 0};
        AppendLE32(bad, 0x0A02);
        AppendLE32(bad, 0);
        AppendLE32(bad, 0);
        AppendLE32(bad, 1000);
        ASSERT_TRUE(client.SendRaw(bad));
        ASSERT_TRUE(fleet.WaitForEvent(mac, "bad_frame", 1000));
        const uint8_t data[10] = {};
        ASSERT_TRUE(SendBlock(client, 1, data, sizeof data));
        ClientFrame frame;
        ASSERT_EQ(client.ReadReply(&frame, 1000), ReadResult::Frame);
        EXPECT_EQ(frame.cmdType, 0x01000A04u);
    }
    for (const ByteVec& garbage :
         {ByteVec{'G', 'E', 'T', ' ', '/', ' ', 'H', 'T'},         // not "1111"
          ByteVec{'1', '1', '1', '1', 0xFF, 0xFF, 0xFF, 0x7F},     // 2 GB message
          ByteVec{'1', '1', '1', '1', 0xFF, 0xFF, 0xFF, 0xFF}}) {  // fragments
        CScriptedClient client;
        ASSERT_TRUE(Connect(client));
        ASSERT_TRUE(client.SendRaw(garbage));
        EXPECT_TRUE(client.WaitClosed(1000));
    }
    EXPECT_EQ(fleet.CountEvents(mac, "bad_frame"), 4);
    CScriptedClient after;
    EXPECT_EQ(ConnectAndLogIn(after), 0x01000101u);
}

TEST_F(FaultTest, DescriptionChangesBeforeStartApplyToTheStartedCamera) {
    SimCameraConfig cam = TestCamera("00:1A:2B:61:00:13", "127.61.0.19");
    fleet.AddCamera(cam);
    EXPECT_TRUE(fleet.SetCredentials(cam.mac, "root", "toor", SimProtection::Xor));
    SimFaults faults;
    faults.loginErrors = {13};
    EXPECT_TRUE(fleet.SetFaults(cam.mac, faults));
    EXPECT_FALSE(fleet.SetOnline(cam.mac, false));  // nothing runs yet
    EXPECT_FALSE(fleet.SetFaults("00:1A:2B:61:00:99", faults));
    ASSERT_TRUE(fleet.Start());
    where = *fleet.Camera(cam.mac);
    CScriptedClient first;
    ClientFrame reply;
    ASSERT_TRUE(Connect(first));
    EXPECT_EQ(LE32(&info[24]), 0x00010000u);
    ASSERT_EQ(LogIn(first, info, "root", "toor", false, &reply), 0x01000102u);
    EXPECT_EQ(reply.Word(), 13u);
    ASSERT_EQ(LogIn(first, info, "root", "toor", false, &reply), 0x01000101u);
}

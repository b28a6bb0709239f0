#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "ScriptedDevice.h"
#include "app/Logger.h"
#include "device/Base64.h"
#include "net/LocalInterfaces.h"
#include "support/TestSupport.h"

using namespace scripted;
using testing_support::WaitFor;

namespace {

Bytes Field(const Bytes& request, size_t offset, size_t length = 32) {
    return Bytes(request.begin() + offset, request.begin() + offset + length);
}

// Connects with `fields`, logs in with the texts, answers with `replyType`
// and `replyPayload`; gives the login result and the request payload.
struct LoginRun {
    uint32_t result = 0xFFFFFFFF;
    Bytes request;
    NET_DEVICE_INFO info;
    std::shared_ptr<CNetDVSDevice> client;
};

LoginRun RunLogin(CScriptedDevice& device, const ServerInfoSpec& fields, const char* user,
                  const char* password, uint32_t replyType, const Bytes& replyPayload,
                  bool upgradeMode = false) {
    LoginRun run;
    EXPECT_EQ(device.Connect(run.client, ServerInfo(fields)), NET_OK);
    if (!run.client) {
        return run;
    }
    std::thread login(
        [&] { run.result = run.client->LogIn(user, password, &run.info, upgradeMode); });
    run.request = device.AnswerLogin(replyType, replyPayload);
    login.join();
    return run;
}

}  // namespace

TEST(Handshake, ProtocolThreeMakesAClient) {
    CLogCapture log;
    CScriptedDevice device;
    ServerInfoSpec fields;
    fields.encryptType = ENCRYPT_XOR;
    std::shared_ptr<CNetDVSDevice> client;
    ASSERT_EQ(device.Connect(client, ServerInfo(fields)), NET_OK);
    ASSERT_NE(client, nullptr);
    uint8_t info[64];
    client->GetServerInfo(info);
    EXPECT_EQ(Bytes(info, info + 64), ServerInfo(fields));
    EXPECT_EQ(client->GetConnectState(), CONNECT_CONNECTED);
    EXPECT_TRUE(log.Contains(std::string("connect succeed, mac: ") + kMac +
                             ", deviceType: 0x00000011, productType: 0x00002201, "
                             "protrocolVersion: 0x00000003, encryptType: 0x00010000"));
}

TEST(Handshake, OtherProtocolVersionsAreRefused) {
    for (const auto& [version, expected] : {std::pair<uint32_t, uint32_t>{2, NET_PROTOCOL_TOO_OLD},
                                            {4, NET_PROTOCOL_TOO_NEW},
                                            {0, NET_PROTOCOL_TOO_OLD}}) {
        CLogCapture log;
        CScriptedDevice device;
        ServerInfoSpec fields;
        fields.protocol = version;
        std::shared_ptr<CNetDVSDevice> client;
        EXPECT_EQ(device.Connect(client, ServerInfo(fields)), expected);
        EXPECT_EQ(client, nullptr);
        EXPECT_TRUE(log.Contains("unsupported device " + std::to_string(version)));
        EXPECT_TRUE(device.Peer().WaitClosed());  // the connection was closed
    }
}

TEST(Handshake, ADeviceThatSendsFewerThan64BytesIsNoClient) {
    CLogCapture log;
    CScriptedDevice device;
    Bytes shortInfo = ServerInfo();
    shortInfo.resize(40);
    std::shared_ptr<CNetDVSDevice> client;
    EXPECT_EQ(device.Connect(client, shortInfo, nullptr, 300), NET_FAILED);
    EXPECT_EQ(client, nullptr);
    EXPECT_TRUE(log.Contains(std::string("recv failed 1, mac: ") + kMac));
}

TEST(Handshake, RefusedConnectIsResultFifteen) {
    CLogCapture log;
    std::shared_ptr<CNetDVSDevice> client;
    EXPECT_EQ(CNetDVSDevice::CreateServerObject(client, testing_support::TestLinkTimer(), kMac,
                                                "127.0.0.1", loopback::ClosedPort(), nullptr,
                                                nullptr, 300),
              NET_FAILED);
    EXPECT_EQ(client, nullptr);
    EXPECT_TRUE(log.Contains("connect failed " + std::to_string(ECONNREFUSED) + ", mac: " + kMac));
    EXPECT_EQ(CNetDVSDevice::CreateServerObject(client, testing_support::TestLinkTimer(), kMac,
                                                "not-an-ip", 80, nullptr, nullptr, 300),
              NET_NO_RESOURCES);
}

TEST(Handshake, LoopbackConnectionCarriesTheLoopbackMac) {
    CLogCapture log;
    CScriptedDevice device;
    std::shared_ptr<CNetDVSDevice> client;
    ASSERT_EQ(device.Connect(client, ServerInfo()), NET_OK);
    EXPECT_EQ(client->GetLocalMac(), (std::array<uint8_t, 6>{}));
    EXPECT_TRUE(log.Contains(std::string("localMac: 00:00:00:00:00:00, mac: ") + kMac));
}

TEST(LocalInterfaces, ListsHardwareAndIPv4AddressesOfThisMachine) {
    std::vector<SWL_LOCAL_INTERFACE> list;
    ASSERT_EQ(SWL_GetLocalInterfaces(list), 0);
    const SWL_LOCAL_INTERFACE* lo = SWL_FindInterfaceByAddress(list, "127.0.0.1");
    ASSERT_NE(lo, nullptr);
    EXPECT_EQ(lo->name, "lo");
    for (const auto& entry : list) {
        std::ifstream file("/sys/class/net/" + entry.name + "/address");
        std::string text;
        if (!(file >> text) || text.size() != 17) {
            continue;
        }
        char expected[18];
        std::snprintf(expected, sizeof(expected), "%02x:%02x:%02x:%02x:%02x:%02x", entry.mac[0],
                      entry.mac[1], entry.mac[2], entry.mac[3], entry.mac[4], entry.mac[5]);
        EXPECT_EQ(text, expected) << entry.name;
    }
    EXPECT_EQ(SWL_FindInterfaceByAddress(list, "203.0.113.254"), nullptr);
    const std::vector<SWL_LOCAL_INTERFACE> made = {{"a", {1, 2, 3, 4, 5, 6}, {"10.0.0.1"}},
                                                   {"b", {7, 7, 7, 7, 7, 7}, {"10.0.0.2", "x"}}};
    ASSERT_NE(SWL_FindInterfaceByAddress(made, "x"), nullptr);
    EXPECT_EQ(SWL_FindInterfaceByAddress(made, "x")->name, "b");
}

TEST(Login, PlainTextsTravelAsTheyAreAndThePasswordStaysOutOfTheLog) {
    CLogCapture log;
    CScriptedDevice device;
    auto run = RunLogin(device, {}, "admin", "739518", NET_REPLY_LOGIN_ACCEPTED,
                        LoginAccepted(0x0A0B0C0D), true);
    ASSERT_EQ(run.result, NET_OK);
    ASSERT_EQ(run.request.size(), 116u);
    Bytes user(32, 0), password(32, 0);
    std::memcpy(user.data(), "admin", 5);
    std::memcpy(password.data(), "739518", 6);
    EXPECT_EQ(Field(run.request, 4), user);
    EXPECT_EQ(Field(run.request, 36), password);
    EXPECT_EQ(LE32(run.request.data() + 68), 0u);        // no client nonce
    EXPECT_EQ(Field(run.request, 104, 6), Bytes(6, 0));  // loopback MAC
    EXPECT_EQ(run.request[111], 1);                      // upgrade mode
    EXPECT_EQ(run.info.softwareVersion, 0x0A0B0C0Du);
    EXPECT_EQ(run.client->GetConnectState(), CONNECT_LOGGED_IN);
    EXPECT_TRUE(log.Contains(
        "encryptType: 0x00000000, encryptParam: 0x00000000, loginEncrypt: 0, loginNonce: 0.0.0, "
        "clientNonce: 0x00000000, upgradeMode: 1, username: "
        "admin(YWRtaW4AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=), password: [hidden 6]([hidden "
        "32]), mac: " +
        std::string(kMac)));
    for (const auto& line : log.Lines()) {
        EXPECT_EQ(line.text.find("739518"), std::string::npos) << line.text;
        EXPECT_EQ(line.text.find(Base64Encode(password.data(), 32)), std::string::npos);
    }
    EXPECT_TRUE(log.Contains("send cmd succeed, cmdType: 257, cmdId: 0, dataLength: 116"));
}

TEST(Login, XorCipherCoversTheNameWithItsTerminatorAndTheWholePassword) {
    CScriptedDevice device;
    ServerInfoSpec fields;
    fields.encryptType = ENCRYPT_XOR;
    fields.encryptParam = {0x11, 0x22, 0x33, 0x44};
    fields.loginEncrypt = 1;  // not looked at with a cipher
    auto run = RunLogin(device, fields, "ab", "pw", NET_REPLY_LOGIN_ACCEPTED, LoginAccepted());
    ASSERT_EQ(run.result, NET_OK);
    Bytes user(32, 0);
    user[0] = 'a' ^ 0x11;
    user[1] = 'b' ^ 0x22;
    user[2] = 0x33;
    EXPECT_EQ(Field(run.request, 4), user);
    Bytes password(32);
    for (size_t i = 0; i < 32; ++i) {
        password[i] = fields.encryptParam[i % 4];
    }
    password[0] ^= 'p';
    password[1] ^= 'w';
    EXPECT_EQ(Field(run.request, 36), password);
    EXPECT_EQ(LE32(run.request.data() + 68), 0u);
}

TEST(Login, HashModeOneSendsTheSaltedDigest) {
    CScriptedDevice device;
    ServerInfoSpec fields;
    fields.loginEncrypt = 1;
    fields.nonce = {1, 0, 0};
    auto run =
        RunLogin(device, fields, "admin", "739518", NET_REPLY_LOGIN_ACCEPTED, LoginAccepted());
    ASSERT_EQ(run.result, NET_OK);
    // SHA-1 of "FA76533F8A58FFA6E8C76BC87764ED51" "00000001".
    Bytes password = Hex("4082b2e77afb904b0665c9edc4a6a58a0eca29a5");
    password.resize(32, 0);
    EXPECT_EQ(Field(run.request, 36), password);
    Bytes user(32, 0);
    std::memcpy(user.data(), "admin", 5);
    EXPECT_EQ(Field(run.request, 4), user);
    const uint32_t clientNonce = LE32(run.request.data() + 68);
    EXPECT_GE(clientNonce, 1u);
    EXPECT_LE(clientNonce, 16776960u);
}

TEST(Login, HashModeTwoAlsoMasksTheUserName) {
    CScriptedDevice device;
    ServerInfoSpec fields;
    fields.loginEncrypt = 2;
    fields.nonce = {0, 0, 0};
    auto run =
        RunLogin(device, fields, "admin", "739518", NET_REPLY_LOGIN_ACCEPTED, LoginAccepted());
    ASSERT_EQ(run.result, NET_OK);
    Bytes user(32, 0);
    const char* name = "admin";
    for (int i = 0; i < 5; ++i) {
        user[i] = static_cast<uint8_t>(name[i] ^ '0');
    }
    EXPECT_EQ(Field(run.request, 4), user);
    Bytes password = Hex("865f3986279febab93d99566ca4020d74b33ada1");
    password.resize(32, 0);
    EXPECT_EQ(Field(run.request, 36), password);
}

TEST(Login, TextsLongerThan32BytesAreCut) {
    CLogCapture log;
    CScriptedDevice device;
    const std::string user(40, 'u'), password(45, 'p');
    auto run = RunLogin(device, {}, user.c_str(), password.c_str(), NET_REPLY_LOGIN_ACCEPTED,
                        LoginAccepted());
    ASSERT_EQ(run.result, NET_OK);
    EXPECT_EQ(Field(run.request, 4), Bytes(32, 'u'));
    EXPECT_EQ(Field(run.request, 36), Bytes(32, 'p'));
    EXPECT_EQ(LE32(run.request.data() + 68), 0u);  // the password did not run into the nonce
    EXPECT_TRUE(log.Contains("password: [hidden 32]([hidden 32])"));
}

TEST(Login, RefusalsMapTheDeviceError) {
    const std::pair<uint32_t, uint32_t> table[] = {
        {2, NET_LOGIN_WRONG_PASSWORD},
        {3, NET_LOGIN_TOO_MANY},
        {4, NET_LOGIN_TOO_MANY},
        {13, NET_LOGIN_ERROR_13},
        {22, 22},
        {24, 24},
        {7, 7},
        {0, NET_FAILED},  // a refusal is never a success
    };
    for (const auto& [error, expected] : table) {
        CLogCapture log;
        CScriptedDevice device;
        auto run = RunLogin(device, {}, "admin", "x", NET_REPLY_LOGIN_REFUSED, Words({error}));
        EXPECT_EQ(run.result, expected) << error;
        EXPECT_TRUE(log.Contains("login failed " + std::to_string(error) + ", mac: " + kMac));
        EXPECT_EQ(run.client->GetConnectState(), CONNECT_CONNECTED);
    }
}

TEST(Login, AnOddReplyFailsAndStartsNoReceiving) {
    CScriptedDevice device;
    EventLog events;
    std::shared_ptr<CNetDVSDevice> client;
    ASSERT_EQ(device.Connect(client, ServerInfo(), &events), NET_OK);
    uint32_t result = 0;
    std::thread login([&] { result = client->LogIn("admin", "x", nullptr, false); });
    device.AnswerLogin(0x01000999, LoginAccepted());
    login.join();
    EXPECT_EQ(result, NET_FAILED);
    EXPECT_EQ(client->GetConnectState(), CONNECT_CONNECTED);
    // Nothing is dispatched: the receive thread did not start. A running
    // one would raise the alarm within a few of its turns.
    device.Reply(0x01000B01, Words({1, 2}));
    EXPECT_FALSE(WaitFor([&] { return !events.Of(DEVICE_EVENT_ALARM).empty(); },
                         std::chrono::milliseconds(300)));
}

TEST(Login, AShortAcceptanceIsZeroFilled) {
    CScriptedDevice device;
    Bytes payload = LoginAccepted(0x01020304);
    payload.resize(0x30);
    auto run = RunLogin(device, {}, "admin", "x", NET_REPLY_LOGIN_ACCEPTED, payload);
    EXPECT_EQ(run.result, NET_OK);
    EXPECT_EQ(run.info.softwareVersion, 0x01020304u);
    EXPECT_EQ(run.info.wordG, 0u);
}

TEST(Login, ALostConnectionIsResultFour) {
    CScriptedDevice device;
    std::shared_ptr<CNetDVSDevice> client;
    ASSERT_EQ(device.Connect(client, ServerInfo()), NET_OK);
    device.Peer().Close();
    EXPECT_EQ(client->LogIn("admin", "x", nullptr, false), NET_SEND_FAILED);
}

TEST(Login, StartRecvDispatchesWithoutALogin) {
    CScriptedDevice device;
    EventLog events;
    std::shared_ptr<CNetDVSDevice> client;
    ASSERT_EQ(device.Connect(client, ServerInfo(), &events), NET_OK);
    EXPECT_EQ(client->StartRecv(), NET_OK);
    EXPECT_EQ(client->StartRecv(), NET_OK);
    device.Reply(0x01000A04, Words({3}));
    EXPECT_TRUE(WaitFor([&] { return client->GetUpgradeProgress() == 3; }));
    EXPECT_EQ(client->GetConnectState(), CONNECT_CONNECTED);
}

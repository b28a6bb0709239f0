// Login replies found by fuzzing the device client, kept as regression tests.
#include <gtest/gtest.h>

#include <thread>

#include "ScriptedDevice.h"
#include "app/Logger.h"

using namespace scripted;

namespace {

// Connects, starts the login and lets the device answer with raw bytes.
uint32_t LoginAnsweredWith(const Bytes& answer) {
    CScriptedDevice device;
    std::shared_ptr<CNetDVSDevice> client;
    EXPECT_EQ(device.Connect(client, ServerInfo()), NET_OK);
    if (!client) {
        return 0xFFFFFFFF;
    }
    uint32_t result = 0xFFFFFFFF;
    NET_DEVICE_INFO info;
    std::thread login([&] { result = client->LogIn("admin", "secret", &info, false); });
    const auto request = device.ReadFrame();
    EXPECT_TRUE(request && request->cmdType == NET_CMD_LOGIN);
    device.Send(answer);
    login.join();
    return result;
}

}  // namespace

// An empty fragmented message ahead of the reply is dropped by the link; the
// login goes on waiting and takes the real reply.
TEST(LoginFuzzFindings, EmptyFragmentedMessageBeforeTheReply) {
    const Bytes answer = loopback::Concat({loopback::Fragment(9, 1, 0, 1, 0, {}),
                                           DeviceFrame(NET_REPLY_LOGIN_ACCEPTED, LoginAccepted())});
    EXPECT_EQ(LoginAnsweredWith(answer), NET_OK);
}

// A reply shorter than a frame head is neither acceptance nor refusal.
TEST(LoginFuzzFindings, ReplyShorterThanAFrameHead) {
    CLogCapture log;
    EXPECT_EQ(LoginAnsweredWith(loopback::Concat({loopback::DataHead(5), {1, 2, 3, 4, 5}})),
              NET_FAILED);
    EXPECT_TRUE(log.Contains("login failed, unexpected reply 0x00000000"));
}

// Small helpers for the simulator's tests: a search probe over UDP, a raw
// HTTP exchange, both bounded in time, and a fixture of started cameras.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "ScriptedClient.h"
#include "SimConfig.h"
#include "SimFleet.h"

// Sends `probe` to ip:port and returns the first reply ("" when none came).
std::string SendProbe(const std::string& ip, uint16_t port, int timeoutMs = 500,
                      const std::string& probe = "");
// The standard probe document.
std::string ProbeText(uint32_t seq = 42);

// Sends `request` as it is and returns everything until the peer closes or
// `timeoutMs` has passed.
std::string HttpExchange(const std::string& ip, uint16_t port, const std::string& request,
                         int timeoutMs = 1000);

// The text of <name>...</name> in `xml` ("" when absent); *found tells.
std::string XmlText(const std::string& xml, const std::string& name, bool* found = nullptr);

// A camera for one test, with short times and its own address.
SimCameraConfig TestCamera(const std::string& mac, const std::string& ip);

// A started fleet seen from the scripted client; `mac` and `where` are those
// of the camera started last.
class SimCameraTest : public ::testing::Test {
protected:
    void StartCamera(const SimCameraConfig& cam) {
        mac = cam.mac;
        fleet.AddCamera(cam);
        ASSERT_TRUE(fleet.Start());
        where = *fleet.Camera(mac);
    }
    // Connects and reads the camera's first message into `info`.
    bool Connect(CScriptedClient& client) {
        return client.Connect(where.ip, where.dataPort) && client.ReadServerInfo(&info);
    }
    // Connects and logs in; the login reply code (0x01000101 accepted), 0
    // when no reply came.
    uint32_t ConnectAndLogIn(CScriptedClient& client, ClientFrame* reply = nullptr,
                             const std::string& password = "739518") {
        ClientFrame frame;
        const uint32_t code =
            Connect(client) ? LogIn(client, info, "admin", password, false, &frame) : 0;
        if (reply != nullptr) {
            *reply = frame;
        }
        return code;
    }

    // Logs in on `client` and sends a new-style package of `bytes`.
    TransferOutcome LogInAndSend(CScriptedClient& client, size_t bytes = 5000,
                                 int ackTimeoutMs = 3000) {
        EXPECT_EQ(ConnectAndLogIn(client), 0x01000101u);
        return SendPackage(client, MakePackage(bytes, true), true, ackTimeoutMs);
    }

    CSimFleet fleet;
    std::string mac;
    SimCameraInfo where;
    std::array<uint8_t, 64> info{};
};

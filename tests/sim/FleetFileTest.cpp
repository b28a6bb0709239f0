// The JSON reader, the fleet file format and the firmhand-sim program (its
// cameras switched off until SIGUSR1 among them).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>

#include "SimFleetFile.h"
#include "SimJson.h"
#include "SimTestUtil.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

TEST(SimJsonReader, ValuesEscapesAndLimits) {
    CSimJson v;
    std::string error;
    ASSERT_TRUE(CSimJson::Parse(
        R"( {"a": [1, -2, 3.5, 1e3, true, false, null], "s": "x\"\\\/\n\u00e9\ud83d\ude00", "o": {}} )",
        &v, &error))
        << error;
    ASSERT_TRUE(v.IsObject());
    const CSimJson& a = *v.Find("a");
    ASSERT_EQ(a.Items().size(), 7u);
    EXPECT_EQ(a.Items()[1].Integer(), -2);
    EXPECT_FALSE(a.Items()[2].IsInteger());
    EXPECT_TRUE(a.Items()[3].IsInteger());
    EXPECT_EQ(a.Items()[3].Integer(), 1000);
    EXPECT_TRUE(a.Items()[6].IsNull());
    EXPECT_EQ(v.Find("s")->String(), "x\"\\/\n\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_TRUE(v.Find("o")->IsObject());
    EXPECT_EQ(v.Find("missing"), nullptr);

    for (const char* bad : {"", "{", "[1,]", "{\"a\" 1}", "01x", "\"\\ud800\"", "\"a\nb\"", "[1] 2",
                            "tru", "{\"a\":}", "-", "1."}) {
        EXPECT_FALSE(CSimJson::Parse(bad, &v, &error)) << bad;
        EXPECT_NE(error.find("offset"), std::string::npos);
    }
    EXPECT_FALSE(CSimJson::Parse(std::string(100, '[') + std::string(100, ']'), &v, &error));
    EXPECT_TRUE(CSimJson::Parse(std::string(60, '[') + std::string(60, ']'), &v, &error));
    EXPECT_EQ(SimJsonQuote("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
}

TEST(SimFleetFileFormat, DefaultsCamerasFaultsAndRepeat) {
    testing_support::CSandbox sandbox;
    sandbox.Write("pkg.bin", std::string(200, 'p'));
    const std::string json = R"({
      "searchPort": 0,
      "defaults": {"user": "root", "password": "pw", "protection": "loginEncrypt2",
                   "flashMs": 100, "offlineMs": 200, "httpAuth": "basic",
                   "faults": {"fragmentReplies": true}},
      "cameras": [
        {"mac": "00:1A:2B:64:00:FE", "ip": "127.64.0.1", "ip2": "127.64.1.1", "mask2": "255.255.0.0",
         "repeat": 3, "name": "Gate", "productType": "0x3030", "encryptParam": 16909060,
         "loginNonce": "0xABCDEF", "package": "pkg.bin", "vehicleVersion": null,
         "structVersion": "1_2",
         "faults": {"loginErrors": [23, 24], "upgradeErrorAtBlock": 40, "upgradeErrorWord": 22,
                    "ip2ChangeAfterMs": 500, "ip2ChangeTo": "127.64.2.1", "httpChunked": true}},
        {"mac": "00:1A:2B:64:01:00", "ip": "127.64.0.9", "protection": "none", "httpAuth": "none",
         "dataPort": 9008, "httpPort": 8080, "searchPort": 37810, "protocolVersion": 4,
         "softwareVer": "3.1.0", "build": 190101, "versionWord": "0x03010000",
         "upgradeSoftwareVer": "3.2.0", "upgradeBuild": 200101, "deviceActivated": 1}
      ]
    })";
    SimFleetFile fleet;
    std::string error;
    ASSERT_TRUE(SimParseFleet(json, sandbox.Path(), &fleet, &error)) << error;
    ASSERT_EQ(fleet.cameras.size(), 4u);
    const SimCameraConfig& first = fleet.cameras[0];
    EXPECT_EQ(first.user, "root");
    EXPECT_EQ(first.protection, SimProtection::LoginEncrypt2);
    EXPECT_EQ(first.httpAuth, SimHttpAuth::Basic);
    EXPECT_EQ(first.productType, 0x3030u);
    EXPECT_EQ(*first.encryptParam, 16909060u);
    EXPECT_EQ(*first.loginNonce, 0xABCDEFu);
    EXPECT_EQ(first.package.size(), 200u);
    EXPECT_FALSE(first.vehicleVersion.has_value());
    EXPECT_EQ(*first.structVersion, "1_2");
    EXPECT_TRUE(first.faults.fragmentReplies);  // from the defaults
    EXPECT_EQ(first.faults.loginErrors, (std::vector<uint32_t>{23, 24}));
    EXPECT_EQ(first.faults.upgradeErrorWord, 22u);
    EXPECT_EQ(first.faults.ip2ChangeTo, "127.64.2.1");
    EXPECT_TRUE(first.faults.httpChunked);
    const SimCameraConfig& third = fleet.cameras[2];
    EXPECT_EQ(third.mac, "00:1A:2B:64:01:00");
    EXPECT_EQ(third.ip, "127.64.0.3");
    EXPECT_EQ(third.ip2, "127.64.1.3");
    EXPECT_EQ(third.name, "Gate 3");
    const SimCameraConfig& last = fleet.cameras[3];
    EXPECT_EQ(last.protection, SimProtection::None);
    EXPECT_EQ(last.dataPort, 9008);
    EXPECT_EQ(last.searchPort, 37810);
    EXPECT_EQ(last.protocolVersion, 4u);
    EXPECT_EQ(last.versionWord, 0x03010000u);
    EXPECT_EQ(last.upgradeBuild, 200101);
    EXPECT_EQ(last.deviceActivated, 1);
    EXPECT_TRUE(last.faults.fragmentReplies);  // defaults apply to every camera
}

TEST(SimFleetFileFormat, MistakesAreNamed) {
    SimFleetFile fleet;
    std::string error;
    const std::pair<const char*, const char*> cases[] = {
        {R"({"cameras": [{"mac": "00:1A:2B:00:00:01", "ip": "127.0.0.1", "colour": 1}]})",
         "cameras[0].colour: unknown key"},
        {R"({"cameras": [{"mac": "00:1A:2B:00:00:01", "ip": "127.0.0.1", "faults": {"crash": true}}]})",
         "cameras[0].faults.crash: unknown fault"},
        {R"({"cameras": [{"mac": "00:1A:2B:00:00:01", "ip": "1.2.3"}]})",
         "cameras[0].ip: expected an IPv4 address"},
        {R"({"cameras": [{"mac": "00-1A", "ip": "127.0.0.1"}]})", "cameras[0].mac"},
        {R"({"cameras": [{"mac": "00:1A:2B:00:00:01", "ip": "127.0.0.1", "dataPort": 70000}]})",
         "cameras[0].dataPort: number above 65535"},
        {R"({"cameras": [{"mac": "00:1A:2B:00:00:01", "ip": "127.0.0.1", "protection": "rot13"}]})",
         "cameras[0].protection"},
        {R"({"cameras": [{"ip": "127.0.0.1"}]})", "cameras[0]: needs mac and ip"},
        {R"({"cameras": [{"mac": "00:1A:2B:00:00:01", "ip": "127.0.0.1", "package": "/nonexistent/p"}]})",
         "cannot open"},
        {R"({"camera": []})", "camera: unknown key"},
        {R"({"cameras": [{"mac": "00:1A:2B:00:00:01", "ip": "127.0.0.1", "repeat": 5000}]})",
         "number above"},
        {R"([1])", "expected an object"},
    };
    for (const auto& [json, expected] : cases) {
        EXPECT_FALSE(SimParseFleet(json, "", &fleet, &error)) << json;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
    EXPECT_EQ(SimMacPlus("00:1A:2B:00:00:FF", 1), "00:1A:2B:00:01:00");
    EXPECT_EQ(SimMacPlus("bad", 1), "");
}

namespace {
// The firmhand-sim program beside this test's build folder, if built.
std::string SimProgram() {
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "";
    std::string dir(self, static_cast<size_t>(n));
    dir = dir.substr(0, dir.rfind('/'));
    const std::string path = dir + "/../tools/sim/firmhand-sim";
    return access(path.c_str(), X_OK) == 0 ? path : "";
}
}  // namespace

TEST(SimProgram, PrintsOneLinePerCameraAndAnswersUntilItsDurationEnds) {
    const std::string program = SimProgram();
    if (program.empty()) {
        GTEST_SKIP() << "firmhand-sim is not built";
    }
    testing_support::CSandbox sandbox;
    sandbox.Write("fleet.json", R"({"searchPort": 0, "defaults": {"dataPort": 0, "httpPort": 0},
        "cameras": [{"mac": "00:1A:2B:64:10:01", "ip": "127.64.10.1", "repeat": 2}]})");
    const std::string command = program + " --fleet " + sandbox.File("fleet.json") +
                                " --duration 1.5 --events " + sandbox.File("events.jsonl");
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> lines;
    char line[256];
    while (lines.size() < 2 && fgets(line, sizeof line, pipe))
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u);
    char mac[32], ip[32];
    unsigned dataPort = 0, httpPort = 0, searchPort = 0;
    ASSERT_EQ(
        sscanf(lines[1].c_str(), "%31s %31s %u %u %u", mac, ip, &dataPort, &httpPort, &searchPort),
        5);
    EXPECT_STREQ(mac, "00:1A:2B:64:10:02");
    EXPECT_STREQ(ip, "127.64.10.2");
    const std::string reply = SendProbe(ip, static_cast<uint16_t>(searchPort));
    EXPECT_EQ(XmlText(reply, "dataPort"), std::to_string(dataPort));
    const int status = pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string events = sandbox.Read("events.jsonl");
    EXPECT_NE(events.find("\"event\":\"start\""), std::string::npos);
    EXPECT_NE(events.find("\"event\":\"probe_answered\""), std::string::npos);

    FILE* bad = popen((program + " --cameras 0 2>&1").c_str(), "r");
    ASSERT_NE(bad, nullptr);
    while (fgets(line, sizeof line, bad)) {
    }
    EXPECT_NE(WEXITSTATUS(pclose(bad)), 0);
}

TEST(SimProgram, CameraSwitchedOffAnswersOnlyAfterSigusr1) {
    const std::string program = SimProgram();
    if (program.empty()) {
        GTEST_SKIP() << "firmhand-sim is not built";
    }
    testing_support::CSandbox sandbox;
    sandbox.Write("fleet.json", R"({"searchPort": 0, "defaults": {"dataPort": 0, "httpPort": 0},
        "cameras": [{"mac": "00:1A:2B:64:20:01", "ip": "127.64.20.1", "switchedOff": true}]})");
    CChildProcess child;
    std::string error;
    ASSERT_TRUE(child.Start({program,
                             {"--fleet", sandbox.File("fleet.json"), "--duration", "120"},
                             {},
                             "",
                             "",
                             sandbox.File("out.txt"),
                             "",
                             ""},
                            error))
        << error;
    ASSERT_TRUE(testing_support::WaitFor(
        [&] { return sandbox.Read("out.txt").find('\n') != std::string::npos; },
        std::chrono::seconds(30)));
    char mac[32], ip[32];
    unsigned dataPort = 0, httpPort = 0, searchPort = 0;
    ASSERT_EQ(sscanf(sandbox.Read("out.txt").c_str(), "%31s %31s %u %u %u", mac, ip, &dataPort,
                     &httpPort, &searchPort),
              5);
    EXPECT_EQ(SendProbe(ip, static_cast<uint16_t>(searchPort), 300), "") << "switched off";
    ASSERT_EQ(kill(child.Pid(), SIGUSR1), 0);
    EXPECT_TRUE(testing_support::WaitFor(
        [&] { return !SendProbe(ip, static_cast<uint16_t>(searchPort), 300).empty(); },
        std::chrono::seconds(30)));
    EXPECT_TRUE(child.Running()) << "SIGUSR1 does not stop it";
    ASSERT_TRUE(child.Interrupt());
    const auto end = child.Wait(std::chrono::seconds(30));
    ASSERT_TRUE(end.has_value());
    EXPECT_FALSE(end->signalled);
    EXPECT_EQ(end->code, 0);
}

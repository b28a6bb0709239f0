// firmhand-cli against simulated cameras: what a technician or a script sees.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "CliApp.h"
#include "SimFleet.h"
#include "app/IniFile.h"
#include "discovery/LanProbeSearch.h"
#include "support/TestSupport.h"
#include "upgrade/UpgradeTimings.h"

namespace {

class CliFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_xdg = std::make_unique<testing_support::CScopedEnv>("XDG_DATA_HOME", m_box.File("data"));
        ResetIniPaths();
        GetProgramIni().SetPath(m_box.File("firmhand.ini"));
        UpgradeTimings timings;
        timings.ackPollMs = 5;
        timings.offlineStretchMs = 300;
        timings.retryPauseMs = 20;
        SetUpgradeTimingsForTests(timings);
        LANPROBE_SEARCH_SetRoundIntervalMs(150);
    }
    void TearDown() override {
        m_fleet.Stop();
        LANPROBE_SEARCH_SetRoundIntervalMs(0);
        SetUpgradeTimingsForTests(UpgradeTimings{});
        ResetIniPaths();
    }

    SimCameraConfig Camera(int n) {
        const int a = static_cast<int>(getpid() % 200) + 20;
        SimCameraConfig config;
        config.mac = "02:CC:00:00:" + std::to_string(10 + a % 80) + ":0" + std::to_string(n);
        config.ip = "127.200." + std::to_string(a) + "." + std::to_string(n + 1);
        config.ip2 = "127.201." + std::to_string(a) + "." + std::to_string(n + 1);
        config.name = "Cam " + std::to_string(n);
        config.password = "secret";
        config.flashMs = 100;
        config.offlineMs = 700;
        return config;
    }

    // Runs firmhand-cli with the fleet as search targets; returns its output.
    int Run(std::vector<std::string> args, std::string& out) {
        std::vector<std::string> all = {"firmhand-cli", "--set",
                                        std::getenv("FH_TEST_ECHO") ? "LogLevel=1" : "LogLevel=4"};
        if (std::getenv("FH_TEST_ECHO")) {
            all.push_back("-v");
        }
        all.insert(all.end(), args.begin(), args.end());
        const bool scanOrUpgrade = std::find(args.begin(), args.end(), "scan") != args.end() ||
                                   std::find(args.begin(), args.end(), "upgrade") != args.end() ||
                                   std::find(args.begin(), args.end(), "ai-versions") != args.end();
        if (scanOrUpgrade) {
            for (const SimCameraInfo& cam : m_fleet.Cameras()) {
                all.push_back("--target");
                all.push_back(cam.ip + ":" + std::to_string(cam.searchPort));
            }
            all.push_back("--seconds");
            all.push_back("1");
        }
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int status = RunCli(static_cast<int>(argv.size()), argv.data());
        out = testing::internal::GetCapturedStdout();
        m_err = testing::internal::GetCapturedStderr();
        return status;
    }

    testing_support::CSandbox m_box;
    std::unique_ptr<testing_support::CScopedEnv> m_xdg;
    CSimFleet m_fleet;
    std::string m_err;
};

std::string NewStylePackage(const testing_support::CSandbox& box) {
    std::string data("\x18\x01\x22\x20", 4);
    data += std::string(5000, 'p');
    box.Write("fw.bin", data);
    return box.File("fw.bin");
}

}  // namespace

TEST_F(CliFixture, VersionAndHelp) {
    std::string out;
    EXPECT_EQ(Run({"--version"}, out), 0);
    EXPECT_NE(out.find("firmhand-cli 1."), std::string::npos);
    EXPECT_EQ(Run({}, out), 0);
    EXPECT_NE(out.find("upgrade"), std::string::npos);
    EXPECT_NE(Run({"--set", "novalue", "scan"}, out), 0);
}

TEST_F(CliFixture, ScanPrintsTheListColumnsAndJson) {
    auto a = Camera(1);
    a.softwareVer = "3.1.0beta";
    a.build = 12;
    auto b = Camera(2);
    b.deviceActivated = 1;
    m_fleet.AddCamera(a);
    m_fleet.AddCamera(b);
    ASSERT_TRUE(m_fleet.Start());

    std::string out;
    ASSERT_EQ(Run({"scan"}, out), 0);
    EXPECT_NE(out.find("MAC address"), std::string::npos);
    EXPECT_NE(out.find("3.1.0(12)beta"), std::string::npos);
    EXPECT_NE(out.find("Nonactivated"), std::string::npos);
    EXPECT_NE(out.find(a.mac), std::string::npos);

    ASSERT_EQ(Run({"scan", "--json"}, out), 0);
    EXPECT_NE(out.find("\"mac\": \"" + b.mac + "\""), std::string::npos);
    EXPECT_NE(out.find("\"versionText\": \"3.1.0(12)beta\""), std::string::npos);
    EXPECT_NE(out.find("\"activationText\": \"Activated\""), std::string::npos);
    EXPECT_NE(out.find("\"build\": 12"), std::string::npos);
    EXPECT_EQ(out.front(), '[');
}

TEST_F(CliFixture, UpgradeReportsEachCameraAndExitStatus) {
    auto good = Camera(1);
    auto bad = Camera(2);
    bad.password = "other";
    m_fleet.AddCamera(good);
    m_fleet.AddCamera(bad);
    ASSERT_TRUE(m_fleet.Start());

    std::string out;
    const int status =
        Run({"--set", "TryUpgradeMaxCountSingle=2", "upgrade", "--package", NewStylePackage(m_box),
             "--all", "--password", "secret", "--report", m_box.File("r.json")},
            out);
    EXPECT_EQ(status, 1) << "one camera failed" << m_err;
    EXPECT_NE(out.find("Upgraded successfully!"), std::string::npos);
    EXPECT_NE(out.find("Incorrect Username/Password!"), std::string::npos);
    const std::string report = m_box.Read("r.json");
    EXPECT_NE(
        report.find("\"mac\": \"" + good.mac + "\", \"ip\": \"" + good.ip + "\", \"code\": 0"),
        std::string::npos)
        << report;
    EXPECT_NE(report.find("\"code\": 11, \"text\": \"Incorrect Username/Password!\""),
              std::string::npos);
    EXPECT_NE(report.find("\"attempts\": 2"), std::string::npos);
    EXPECT_NE(report.find("\"newVersion\": \"4.0.2(230119)\""), std::string::npos);

    ASSERT_EQ(Run({"upgrade", "--package", NewStylePackage(m_box), "--mac", good.mac, "--password",
                   "secret", "--report", m_box.File("r.csv")},
                  out),
              0);
    EXPECT_EQ(
        m_box.Read("r.csv").rfind("mac,ip,code,text,oldVersion,newVersion,attempts,seconds\n", 0),
        0u);
}

TEST_F(CliFixture, UpgradeRefusalsExitWithTwo) {
    auto a = Camera(1);
    auto b = Camera(2);
    b.ip2 = a.ip2;
    m_fleet.AddCamera(a);
    m_fleet.AddCamera(b);
    ASSERT_TRUE(m_fleet.Start());
    std::string out;
    EXPECT_EQ(Run({"upgrade", "--package", m_box.File("missing.bin"), "--mac", a.mac}, out), 2);
    EXPECT_NE(m_err.find("Failed to open the file!"), std::string::npos);
    EXPECT_EQ(Run({"upgrade", "--package", "x", "--mac", "02:00:00:00:00:99"}, out), 2);
    EXPECT_NE(m_err.find("was not found"), std::string::npos);
    EXPECT_NE(m_err.find("Please select at least one device!"), std::string::npos);
    // Shared slave addresses need --yes when nobody can be asked.
    EXPECT_EQ(Run({"upgrade", "--package", NewStylePackage(m_box), "--all"}, out), 2);
    EXPECT_NE(m_err.find("duplicate slave IP addresses"), std::string::npos);
    EXPECT_EQ(Run({"upgrade", "--package", "x"}, out), 2);
}

TEST_F(CliFixture, AiVersionsPrintsVerdictsInJson) {
    auto full = Camera(1);
    full.structVersion = "2.1_a";
    full.httpAuth = SimHttpAuth::Basic;
    auto none = Camera(2);
    none.faults.http404 = true;
    m_fleet.AddCamera(full);
    m_fleet.AddCamera(none);
    ASSERT_TRUE(m_fleet.Start());
    std::string out;
    EXPECT_EQ(Run({"ai-versions", "--all", "--password", "secret", "--json"}, out), 0) << m_err;
    EXPECT_NE(out.find("\"mac\": \"" + full.mac + "\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"id\": 1057"), std::string::npos) << out;
    EXPECT_NE(out.find("\"id\": 1059"), std::string::npos) << out;
}

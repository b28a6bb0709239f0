// Wrong input is refused before the search: exit status 2, one line on
// standard error naming the value, and not one packet to a camera. A search
// that finds nothing (or not what was chosen) ends with 3.
#include <gtest/gtest.h>

#include <algorithm>

#include "CliFixture.h"
#include "InputCheck.h"
#include "model/WaitDuration.h"

namespace {

// What a camera logs once anything reached it.
int ContactEvents(const CSimFleet& fleet, const std::string& mac) {
    int count = 0;
    for (const char* kind : {"probe_answered", "connect", "login", "http"}) {
        count += fleet.CountEvents(mac, kind);
    }
    return count;
}

int Lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TEST(InputCheck, TargetsMacsSecondsAndSettings) {
    for (const char* good :
         {"127.0.0.1", "127.0.0.1:1", "10.0.0.255:65535", "cam-1.example", "localhost:37810"}) {
        EXPECT_EQ(CheckTarget(good), "") << good;
    }
    for (const char* bad : {"", "1.2.3", "1.2.3.256", "01.2.3.4", "1.2.3.4:0", "1.2.3.4:65536",
                            "1.2.3.4:", "1.2.3.4:80x", "1.2.3.4:+80", "bad_host", "-cam", "a..b"}) {
        EXPECT_NE(CheckTarget(bad), "") << bad;
    }

    EXPECT_EQ(NormalMac("02-cc-00-0a-Bb-ff"), "02:CC:00:0A:BB:FF");
    EXPECT_EQ(NormalMac("02:cc:00:0a:bb:ff"), "02:CC:00:0A:BB:FF");
    for (const char* bad : {"02:cc:00:0a:bb", "02:cc-00:0a:bb:ff", "02:cc:00:0a:bb:fg",
                            "02cc000abbff", "02:cc:00:0a:bb:ff:"}) {
        EXPECT_EQ(NormalMac(bad), "") << bad;
    }

    double seconds = 0;
    EXPECT_EQ(CheckSeconds("0.5", seconds), "");
    EXPECT_EQ(seconds, 0.5);
    EXPECT_EQ(CheckSeconds("3600", seconds), "");
    for (const char* bad : {"nan", "inf", "-1", "0", "1e9", "3600.5", "5s", ""}) {
        EXPECT_NE(CheckSeconds(bad, seconds), "") << bad;
    }

    // Negative integers mean the default and stay accepted.
    for (const auto& [key, value] :
         std::vector<std::pair<const char*, const char*>>{{"tryupgrademaxcount", "-1"},
                                                          {"LogLevel", "-1"},
                                                          {"LogLevel", "4"},
                                                          {"AutoUpgradeDelay", "-5"},
                                                          {"WaitRebootTimeout", "2147483647"},
                                                          {"ShowSlaveIp", "FALSE"},
                                                          {"ShowSlaveIp", "1"}}) {
        EXPECT_EQ(CheckSetting(key, value), "") << key << "=" << value;
    }
    for (const auto& [key, value] :
         std::vector<std::pair<const char*, const char*>>{{"TryUpgradeMaxCount", "abc"},
                                                          {"TryUpgradeMaxCount", "5x"},
                                                          {"TryUpgradeMaxCount", ""},
                                                          {"WaitRebootTimeout", "2147483648"},
                                                          {"LogLevel", "0"},
                                                          {"LogLevel", "5"},
                                                          {"ShowSlaveIp", "yes"},
                                                          {"SearchTargets", "1.2.3.4,x_y"},
                                                          {"password", "any text"}}) {
        EXPECT_NE(CheckSetting(key, value), "") << key << "=" << value;
    }
    EXPECT_NE(CheckSetting("waitreboottimout", "5").find("did you mean WaitRebootTimeout?"),
              std::string::npos);
    EXPECT_NE(CheckSetting("PASSWROD", "x").find("did you mean Password?"), std::string::npos);
}

TEST(InputCheck, WaitForMissingDurations) {
    const struct {
        const char* text;
        int seconds;  // 0: refused
    } cases[] = {
        {"90s", 90},    {"10m", 600},   {"1h", 3600}, {"1h30m", 5400}, {"1H5M3S", 3903},
        {"24h", 86400}, {"0s", 0},      {"0h0m", 0},  {"-5m", 0},      {"10", 0},
        {"1.5h", 0},    {"25h", 0},     {"24h1s", 0}, {"1m1h", 0},     {"1h1h", 0},
        {"10x", 0},     {"", 0},        {"m", 0},     {" 10m", 0},     {"10m ", 0},
        {"99999h", 0},  {"999999s", 0}, {"+5m", 0},   {"1h-1m", 0},    {"9999999999999999s", 0},
    };
    for (const auto& c : cases) {
        int seconds = -1;
        std::string problem;
        const bool parsed = ParseWaitDuration(c.text, seconds, problem);
        EXPECT_EQ(parsed, c.seconds > 0) << '"' << c.text << '"';
        if (parsed) {
            EXPECT_EQ(seconds, c.seconds) << c.text;
        } else {
            EXPECT_NE(problem.find("at most 24h"), std::string::npos) << c.text << ": " << problem;
        }
    }
}

TEST_F(CliFixture, WrongInputIsRefusedBeforeTheSearch) {
    auto cam = Camera(1);
    ASSERT_TRUE(StartFleet({cam}));
    const std::string package = NewStylePackage(m_box);
    m_box.Write("short.bin", std::string("\x18\x01\x22\x20", 4) + "12345");

    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<std::string> upgrade = {"upgrade", "--package", package, "--yes"};
    const auto with = [&](std::vector<std::string> tail) {
        std::vector<std::string> args = upgrade;
        args.insert(args.end(), tail.begin(), tail.end());
        return args;
    };
    const std::vector<Case> cases = {
        {{"upgrade", "--package", m_box.File("missing.bin"), "--all", "--yes"}, "missing.bin"},
        {{"upgrade", "--package", m_box.File("short.bin"), "--all", "--yes"}, "short.bin"},
        {with({"--all", "--seconds", "nan"}), "--seconds nan"},
        {with({"--all", "--seconds", "-1"}), "--seconds -1"},
        {with({"--all", "--seconds", "1e9"}), "--seconds 1e9"},
        {{"scan", "--seconds", "inf"}, "--seconds inf"},
        {{"--set", "TryUpgradeMaxCont=3", "scan"}, "did you mean TryUpgradeMaxCount?"},
        {{"--set", "TryUpgradeMaxCount=5x", "scan"}, "TryUpgradeMaxCount=5x"},
        {{"--set", "LogLevel=9", "scan"}, "LogLevel must be 1 to 4"},
        {{"--set", "ShowSlaveIp=maybe", "scan"}, "ShowSlaveIp=maybe"},
        {with({"--all", "--target", "127.0.0.256"}), "\"127.0.0.256\""},
        {{"scan", "--target", "127.0.0.1:65536"}, "\"127.0.0.1:65536\""},
        {with({"--all", "--adapter", "no-such-adapter0"}),
         "unknown adapter \"no-such-adapter0\"; adapters here: "},
        {with({"--mac", "02:CC:00:00:10"}), "MAC \"02:CC:00:00:10\""},
        {{"ai-versions", "--mac", "02:cc:00:00:10:0g"}, "MAC \"02:cc:00:00:10:0g\""},
        {with({"--all", "--report", m_box.File("r.txt")}), "must end in .json, .csv or .html"},
        {with({"--all", "--report", m_box.File("none/r.json")}), "none: No such file"},
        {{"upgrade", "--package", package}, "choose cameras with --all, --mac or --model"},
        {{"scan", "--no-such-option"}, "--no-such-option"},
        {{"auto-test", "--rounds", "0"}, "--rounds must be 1 to 10000"},
        {{"auto-test", "--build1", "7x"}, "--build1 takes a whole number, not \"7x\""},
        {{"auto-test", "--mac", "02:cc"}, "MAC \"02:cc\""},
        {{"auto-test", "--mac", cam.mac}, "no package: give --package1"},
        {with({"--mac", cam.mac, "--wait-for-missing", "0s"}), "--wait-for-missing 0s: "},
        {with({"--mac", cam.mac, "--wait-for-missing", "10"}), "like 90s, 10m, 1h or 1h30m"},
        {with({"--all", "--wait-for-missing", "10m"}),
         "--wait-for-missing waits for cameras named by --mac"},
        {with({"--all", "--site", std::string(201, 's')}), "--site is longer than 200 bytes"},
        {with({"--all", "--technician", "a\nb"}), "--technician must be one line"},
        // A host name cannot be compared with the cameras' addresses.
        {with({"--all", "--only-targets", "--target", "camera.example"}), "a.b.c.d[:PORT]"},
        {{"scan", "--only-targets", "--target", "camera.example"}, "a.b.c.d[:PORT]"},
        {{"ai-versions", "--only-targets", "--target", "camera.example"}, "a.b.c.d[:PORT]"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        const std::vector<std::string> targets = TargetArgs();
        args.insert(args.end(), targets.begin(), targets.end());
        std::string out;
        EXPECT_EQ(RunArgs(args, out), 2) << c.message << "\n" << m_err;
        EXPECT_NE(m_err.find(c.message), std::string::npos) << m_err;
        EXPECT_EQ(Lines(m_err), 1) << m_err;
    }
    EXPECT_EQ(ContactEvents(m_fleet, cam.mac), 0);
}

TEST_F(CliFixture, NothingFoundEndsWithThreeAndSaysWhy) {
    auto cam = Camera(1);
    ASSERT_TRUE(StartFleet({cam}));
    const std::string package = NewStylePackage(m_box);
    std::string out;

    EXPECT_EQ(Run({"upgrade", "--package", package, "--mac", "02:00:00:00:00:99", "--yes"}, out),
              3);
    EXPECT_NE(m_err.find("camera 02:00:00:00:00:99 was not found"), std::string::npos) << m_err;
    EXPECT_EQ(Run({"upgrade", "--package", package, "--model", "IPC-9999", "--yes"}, out), 3);
    EXPECT_NE(m_err.find("no camera of model IPC-9999"), std::string::npos) << m_err;
    EXPECT_EQ(Run({"ai-versions", "--mac", cam.mac, "--mac", "02:00:00:00:00:99"}, out), 3);
    EXPECT_NE(m_err.find("camera 02:00:00:00:00:99 was not found"), std::string::npos) << m_err;
    EXPECT_EQ(Run({"auto-test", "--mac", "02:00:00:00:00:99", "--package1", package, "--password",
                   "secret"},
                  out),
              3);
    EXPECT_NE(m_err.find("camera 02:00:00:00:00:99 not found"), std::string::npos) << m_err;
    EXPECT_EQ(m_fleet.CountEvents(cam.mac, "login"), 0);

    ASSERT_TRUE(m_fleet.SetOnline(cam.mac, false));
    const SimCameraInfo where = *m_fleet.Camera(cam.mac);
    const std::string target = where.ip + ":" + std::to_string(where.searchPort);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"scan"},
          std::vector<std::string>{"upgrade", "--package", package, "--all", "--yes"}}) {
        EXPECT_EQ(Run(args, out), 3) << args[0];
        EXPECT_NE(m_err.find("no camera found after searching 1 s on every adapter with search "
                             "targets: " +
                             target),
                  std::string::npos)
            << m_err;
    }
}

TEST_F(CliFixture, SharedSlaveAddressIsStillAskedAbout) {
    auto a = Camera(1);
    auto b = Camera(2);
    b.ip2 = a.ip2;
    ASSERT_TRUE(StartFleet({a, b}));
    std::string out;
    EXPECT_EQ(Run({"--set", "WaitIp2ChangeTimeout=1", "upgrade", "--package",
                   NewStylePackage(m_box), "--all", "--password", "secret", "--yes"},
                  out),
              0)
        << m_err;
    EXPECT_NE(m_err.find("duplicate slave IP addresses"), std::string::npos) << m_err;
    EXPECT_NE(m_err.find(a.mac), std::string::npos) << m_err;
}

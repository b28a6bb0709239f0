// firmhand-cli against simulated cameras: what a technician or a script sees.
#include <gtest/gtest.h>

#include <mutex>

#include "CliFixture.h"
#include "app/Logger.h"

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
    EXPECT_NE(report.find("\"code\": 11, \"text\": \"Incorrect Username/Password!\", "
                          "\"status\": \"failed\""),
              std::string::npos);
    EXPECT_NE(report.find("\"code\": 0, \"text\": \"Upgraded successfully!\", "
                          "\"status\": \"upgraded\""),
              std::string::npos);
    EXPECT_NE(report.find("\"attempts\": 2"), std::string::npos);
    EXPECT_NE(report.find("\"newVersion\": \"4.0.2(230119)\""), std::string::npos);

    ASSERT_EQ(Run({"upgrade", "--package", NewStylePackage(m_box), "--mac", good.mac, "--password",
                   "secret", "--report", m_box.File("r.csv")},
                  out),
              0);
    const std::string csv = m_box.Read("r.csv");
    EXPECT_EQ(csv.rfind("mac,ip,code,text,oldVersion,newVersion,attempts,seconds,status\n", 0), 0u);
    EXPECT_NE(csv.find(good.mac + "," + good.ip + ",0,Upgraded successfully!,"), std::string::npos);
    EXPECT_EQ(csv.back(), '\n');
    EXPECT_NE(csv.find(",upgraded\n"), std::string::npos) << csv;
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

TEST_F(CliFixture, SetValuesReachTheRun) {
    auto a = Camera(1);
    auto hidden = Camera(2);
    m_fleet.AddCamera(a);
    ASSERT_TRUE(m_fleet.Start());
    const std::vector<std::string> targets = TargetArgs();
    m_fleet.AddCamera(hidden);  // found only through the SearchTargets setting
    const SimCameraInfo where = *m_fleet.Camera(hidden.mac);

    std::mutex mutex;
    std::vector<std::string> lines;
    const int observer = GetLogInstance()->AddObserver([&](const LogLine& line) {
        std::lock_guard<std::mutex> guard(mutex);
        lines.push_back(line.text);
    });
    std::vector<std::string> args = {
        "--set",
        "LogLevel=1",
        "--set",
        "TryUpgradeMaxCount=7",
        "--set",
        "Password=secret",
        "--set",
        "SearchTargets=" + where.ip + ":" + std::to_string(where.searchPort),
        "upgrade",
        "--package",
        NewStylePackage(m_box),
        "--all",
        "--seconds",
        "1"};
    args.insert(args.end(), targets.begin(), targets.end());
    std::string out;
    // The remembered password is not "secret": only the override logs in.
    const int status = RunArgs(args, out);
    GetLogInstance()->RemoveObserver(observer);
    EXPECT_EQ(status, 0) << out << m_err;

    std::lock_guard<std::mutex> guard(mutex);
    for (const std::string& mac : {a.mac, hidden.mac}) {
        const std::string wanted = "upgrade device, mac: " + mac + ",";
        const auto line = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find(wanted) != std::string::npos;
        });
        ASSERT_NE(line, lines.end()) << mac;
        EXPECT_NE(line->find("tryMaxCount: 7,"), std::string::npos) << *line;
    }
}

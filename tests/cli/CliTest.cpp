// firmhand-cli against simulated cameras: what a technician or a script sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

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
    ASSERT_TRUE(StartFleet({a, b}));

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

namespace {

// A time as "2026-12-07T21:04:05Z".
const std::string kUtcTime = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)";

bool HasUtcTime(const std::string& row, const std::string& field) {
    return std::regex_search(row, std::regex("\"" + field + "\": \"" + kUtcTime + "\""));
}

}  // namespace

TEST_F(CliFixture, UpgradeReportsEachCameraAndExitStatus) {
    auto good = Camera(1);
    auto bad = Camera(2);
    bad.password = "other";
    ASSERT_TRUE(StartFleet({good, bad}));

    std::string out;
    const std::string package = NewStylePackage(m_box);
    // The model is matched without regard to case.
    const int status =
        Run({"--set", "TryUpgradeMaxCountSingle=2", "upgrade", "--package", package, "--model",
             "ipc-2020", "--password", "secret", "--yes", "--report", m_box.File("r.json")},
            out);
    EXPECT_EQ(status, 1) << "one camera failed" << m_err;
    EXPECT_NE(out.find("2 cameras chosen (2 IPC-2020)"), std::string::npos) << out;
    EXPECT_NE(out.find("Upgraded successfully!"), std::string::npos);
    EXPECT_NE(out.find("Incorrect Username/Password!"), std::string::npos);
    const std::string report = m_box.Read("r.json");
    const std::string goodRow = Row(report, good.mac);
    const std::string badRow = Row(report, bad.mac);
    EXPECT_EQ(goodRow.rfind("\"mac\": \"" + good.mac + "\", \"ip\": \"" + good.ip +
                                "\", \"code\": 0, \"text\": \"Upgraded successfully!\", "
                                "\"status\": \"upgraded\"",
                            0),
              0u)
        << report;
    EXPECT_NE(goodRow.find("\"newVersion\": \"4.0.2(230119)\""), std::string::npos);
    EXPECT_NE(goodRow.find("\"name\": \"Cam 1\", \"package\": \"" + package + "\""),
              std::string::npos)
        << goodRow;
    EXPECT_NE(badRow.find("\"code\": 11, \"text\": \"Incorrect Username/Password!\", "
                          "\"status\": \"failed\""),
              std::string::npos);
    EXPECT_NE(badRow.find("\"attempts\": 2"), std::string::npos);
    // A failed camera did not come back with a version of its own.
    EXPECT_NE(badRow.find("\"oldVersion\": \"4.0.2(230118)\", \"newVersion\": \"\""),
              std::string::npos)
        << badRow;
    for (const std::string& row : {goodRow, badRow}) {
        EXPECT_TRUE(HasUtcTime(row, "startedAt")) << row;
        EXPECT_TRUE(HasUtcTime(row, "endedAt")) << row;
    }

    // A MAC in dashes and lower case names the same camera.
    std::string dashed = good.mac;
    std::replace(dashed.begin(), dashed.end(), ':', '-');
    std::transform(dashed.begin(), dashed.end(), dashed.begin(), ::tolower);
    ASSERT_EQ(Run({"upgrade", "--package", package, "--mac", dashed, "--password", "secret",
                   "--yes", "--report", m_box.File("r.csv")},
                  out),
              0)
        << m_err;
    const std::string csv = m_box.Read("r.csv");
    EXPECT_EQ(csv.rfind("mac,ip,code,text,oldVersion,newVersion,attempts,seconds,status,name,"
                        "package,startedAt,endedAt,queuedAt,reason\n",
                        0),
              0u);
    EXPECT_NE(csv.find(good.mac + "," + good.ip + ",0,Upgraded successfully!,4.0.2(230119),"),
              std::string::npos)
        << csv;
    const std::string tail = ",upgraded,Cam 1," + package + ",";
    const size_t at = csv.rfind(tail);
    ASSERT_NE(at, std::string::npos) << csv;
    // Started, ended and queued, then no reason.
    EXPECT_TRUE(std::regex_match(csv.substr(at + tail.size()),
                                 std::regex(kUtcTime + "," + kUtcTime + "," + kUtcTime + ",\n")))
        << csv;
}

TEST_F(CliFixture, AiVersionsPrintsVerdictsInJson) {
    auto full = Camera(1);
    full.structVersion = "2.1_a";
    full.httpAuth = SimHttpAuth::Basic;
    auto none = Camera(2);
    none.faults.http404 = true;
    ASSERT_TRUE(StartFleet({full, none}));
    std::string out;
    // Basic only where a setting allows it.
    EXPECT_EQ(Run({"--set", "AllowHttpBasicAuth=true", "ai-versions", "--all", "--password",
                   "secret", "--json"},
                  out),
              0)
        << m_err;
    EXPECT_NE(out.find("\"mac\": \"" + full.mac + "\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"id\": 1057"), std::string::npos) << out;
    EXPECT_NE(out.find("\"id\": 1059"), std::string::npos) << out;
}

TEST_F(CliFixture, SetValuesReachTheRun) {
    auto a = Camera(1);
    auto hidden = Camera(2);
    ASSERT_TRUE(StartFleet({a}));
    const std::vector<std::string> targets = TargetArgs();
    m_fleet.AddCamera(hidden);  // found only through the SearchTargets setting
    const SimCameraInfo where = *m_fleet.Camera(hidden.mac);

    std::mutex mutex;
    std::vector<std::string> lines;
    const int observer = GetLogInstance()->AddObserver([&](const LogLine& line) {
        std::lock_guard<std::mutex> guard(mutex);
        lines.push_back(line.text);
    });
    std::vector<std::string> args = UpgradeAll({"--seconds", "1"});
    args.insert(args.begin(),
                {"--set", "LogLevel=1", "--set", "TryUpgradeMaxCount=7", "--set",
                 "SearchTargets=" + where.ip + ":" + std::to_string(where.searchPort)});
    args.insert(args.end(), targets.begin(), targets.end());
    std::string out;
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

TEST_F(CliFixture, GlobalOptionsAfterTheCommandAndJsonEvents) {
    auto good = Camera(1);
    auto bad = Camera(2);
    bad.password = "other";
    ASSERT_TRUE(StartFleet({good, bad}));

    std::string out;
    // --set after the command still takes effect: one attempt for the refused camera.
    const int status =
        Run(UpgradeAll({"--set", "TryUpgradeMaxCountSingle=1", "--progress", "json"}), out);
    EXPECT_EQ(status, 1) << m_err;
    // The people's output went to standard error.
    EXPECT_NE(m_err.find("Upgraded successfully!"), std::string::npos) << m_err;
    std::vector<nlohmann::json> events;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        events.push_back(nlohmann::json::parse(line));  // throws on anything else
    }
    ASSERT_GE(events.size(), 8u) << out;
    EXPECT_EQ(events.front()["event"], "scan");
    EXPECT_EQ(events.front()["cameras"], 2);
    EXPECT_EQ(events.back()["event"], "batch-end");
    EXPECT_EQ(events.back()["upgraded"], 1);
    EXPECT_EQ(events.back()["failed"], 1);
    for (const auto& [mac, code] : {std::pair{good.mac, 0}, std::pair{bad.mac, 11}}) {
        std::vector<std::string> kinds;
        int lastPercent = -1;
        for (const nlohmann::json& e : events) {
            if (e.value("mac", "") != mac) {
                continue;
            }
            if (kinds.empty() || kinds.back() != e["event"]) {
                kinds.push_back(e["event"]);
            }
            if (e["event"] == "progress") {
                EXPECT_GE(e["percent"].get<int>(), lastPercent) << e;
                lastPercent = e["percent"];
            }
            if (e["event"] == "result") {
                EXPECT_EQ(e["code"], code) << e;
                EXPECT_EQ(e["attempts"], 1) << e;
            }
        }
        EXPECT_EQ(kinds.front(), "queued") << mac;
        EXPECT_EQ(kinds[1], "started") << mac;
        EXPECT_EQ(kinds.back(), "result") << mac;
    }

    // An argument no command takes: named, with where options belong.
    EXPECT_EQ(Run({"scan", "--bogus"}, out), 2);
    EXPECT_NE(m_err.find("--bogus"), std::string::npos) << m_err;
    EXPECT_NE(m_err.find("firmhand-cli scan --help"), std::string::npos) << m_err;
    EXPECT_EQ(Run({"--progress", "xml", "scan"}, out), 2);
    EXPECT_NE(m_err.find("use --progress auto, lines or json"), std::string::npos) << m_err;
}

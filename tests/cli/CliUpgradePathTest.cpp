// Upgrade paths from the command line: several packages of one model are
// sent step by step in the order of their versions, each step verified
// before the next; where a camera starts, a failed step, a kill between two
// steps and its resume, the report's and the inventory's rows per step, and
// the chains that are refused before anything is contacted.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "BatchTracker.h"
#include "CliFixture.h"
#include "InventoryCommand.h"
#include "TextTable.h"
#include "app/StringTable.h"
#include "session/SessionTypes.h"

namespace {

class CliUpgradePath : public CliFixture {
protected:
    // A new-style package of `bytes` payload bytes under `name`.
    std::string Package(const std::string& name, size_t bytes) {
        m_box.Write(name, std::string("\x18\x01\x22\x20", 4) + std::string(bytes, 'p'));
        return m_box.File(name);
    }

    // The byte counts of the camera's completed transfers, in order.
    std::vector<int64_t> Transfers(const std::string& mac) const {
        std::vector<int64_t> bytes;
        for (const SimEvent& event : m_fleet.Events(mac)) {
            if (event.kind == "transfer_done") {
                bytes.push_back(event.GetInt("bytes"));
            }
        }
        return bytes;
    }

    // Step 2 is given first: the versions decide the order.
    std::vector<std::string> PathArgs() {
        return {"upgrade",
                "--package",
                "IPC-2020=" + m_step2,
                "--package",
                "IPC-2020=" + m_step1,
                "--password",
                "secret",
                "--yes"};
    }

    // The simulated cameras come back with their build one higher: a
    // camera of 230118 takes step 1 to 230119, then step 2 to 230120.
    std::string m_step1 = Package("IPC_4.0.2_230119.bin", 5000);
    std::string m_step2 = Package("IPC_4.0.2_230120.bin", 6000);
};

nlohmann::json ReportRow(const nlohmann::json& report, const std::string& mac) {
    for (const nlohmann::json& row : report["results"]) {
        if (row["mac"] == mac) {
            return row;
        }
    }
    return nullptr;
}

// "PACKAGE FROM -> TO: CODE" for each step of a report's row or a history.
std::vector<std::string> Steps(const nlohmann::json& steps) {
    std::vector<std::string> lines;
    for (const nlohmann::json& step : steps) {
        lines.push_back(step.value("package", "") + " " + step.value("fromVersion", "") + " -> " +
                        step.value("toVersion", "") + ": " + step["code"].dump());
    }
    return lines;
}

const std::string kStep1 = "IPC_4.0.2_230119.bin 4.0.2(230118) -> 4.0.2(230119): 0";
const std::string kStep2 = "IPC_4.0.2_230120.bin 4.0.2(230119) -> 4.0.2(230120): 0";

}  // namespace

// One camera goes through both steps; one already on step 1 takes only
// step 2; one whose first step fails never gets step 2. The report lists
// every step of each, and the inventory has a row per step.
TEST_F(CliUpgradePath, EachCameraStartsWhereItIsAndStopsAtAFailedStep) {
    auto behind = Camera(1);
    auto halfway = Camera(2);
    halfway.build = 230119;
    auto failing = Camera(3);
    failing.faults.upgradeErrorAtBlock = 30;
    failing.faults.upgradeErrorWord = 8;
    auto current = Camera(4);
    current.build = 230120;
    ASSERT_TRUE(StartFleet({behind, halfway, failing, current}));

    std::vector<std::string> args = PathArgs();
    args.insert(args.begin(), {"--inventory", m_box.File("inv.sqlite")});
    args.insert(args.end(), {"--report", m_box.File("r.json"), "--report", m_box.File("r.csv"),
                             "--report", m_box.File("r.html"), "--site", "Depot"});
    for (const auto& cam : {behind, halfway, failing, current}) {
        args.insert(args.end(), {"--mac", cam.mac});
    }
    std::string out;
    std::vector<std::string> dryRun = args;
    dryRun.push_back("--dry-run");
    EXPECT_EQ(Run(dryRun, out), 0) << m_err;
    EXPECT_NE(out.find("IPC_4.0.2_230119.bin -> IPC_4.0.2_230120.bin"), std::string::npos) << out;
    EXPECT_EQ(m_fleet.CountEvents(behind.mac, "connect"), 0);

    EXPECT_EQ(Run(args, out), 1) << out << m_err;  // the failing camera

    // In version order whatever the command line's, each verified: the
    // camera came back from step 1 before step 2 went out.
    EXPECT_EQ(Transfers(behind.mac), (std::vector<int64_t>{5004, 6004}));
    EXPECT_EQ(m_fleet.State(behind.mac)->build, 230120);
    EXPECT_EQ(m_fleet.CountEvents(behind.mac, "flash_start"), 2);
    EXPECT_EQ(Transfers(halfway.mac), (std::vector<int64_t>{6004}));
    EXPECT_EQ(m_fleet.State(halfway.mac)->build, 230120);
    EXPECT_TRUE(Transfers(failing.mac).empty());
    EXPECT_EQ(Journals().find("\"mac\":\"" + failing.mac + "\",\"of\":2,\"package\":\"" + m_step2),
              std::string::npos);

    const nlohmann::json report = nlohmann::json::parse(m_box.Read("r.json"));
    const nlohmann::json both = ReportRow(report, behind.mac);
    EXPECT_EQ(Steps(both["steps"]), (std::vector<std::string>{kStep1, kStep2})) << both;
    EXPECT_EQ(both["status"], "upgraded");
    EXPECT_EQ(both["package"], m_step2);
    EXPECT_EQ(both["steps"][0]["attempts"], 1);
    const nlohmann::json second = ReportRow(report, halfway.mac);
    EXPECT_EQ(Steps(second["steps"]), (std::vector<std::string>{kStep2})) << second;
    const nlohmann::json failed = ReportRow(report, failing.mac);
    EXPECT_EQ(failed["status"], "failed");
    EXPECT_EQ(Steps(failed["steps"]),
              (std::vector<std::string>{"IPC_4.0.2_230119.bin 4.0.2(230118) -> : " +
                                        failed["code"].dump()}));
    const nlohmann::json skipped = ReportRow(report, current.mac);
    EXPECT_EQ(skipped["status"], "skipped") << skipped;
    EXPECT_EQ(skipped["package"], m_step2);
    EXPECT_FALSE(skipped.contains("steps"));
    EXPECT_EQ(m_fleet.CountEvents(current.mac, "connect"), 0);
    const std::string csv = m_box.Read("r.csv");
    EXPECT_NE(csv.find(",reason,steps\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("IPC_4.0.2_230119.bin 4.0.2(230118) -> 4.0.2(230119)"), std::string::npos)
        << csv;
    // A step the camera did not come back from points at no version.
    EXPECT_EQ(csv.find("->  "), std::string::npos) << csv;
    // The page gives each step its own line.
    const std::string html = m_box.Read("r.html");
    EXPECT_NE(html.find("<tr class=\"steps\">"), std::string::npos);
    EXPECT_NE(html.find("(1 attempt)<br>IPC_4.0.2_230120.bin 4.0.2(230119) -&gt; 4.0.2(230120)"),
              std::string::npos)
        << html;

    std::string history;
    ASSERT_EQ(
        Run({"--inventory", m_box.File("inv.sqlite"), "history", "--mac", behind.mac, "--json"},
            history),
        0)
        << m_err;
    const nlohmann::json steps = nlohmann::json::parse(history);
    EXPECT_EQ(Steps(steps), (std::vector<std::string>{kStep1, kStep2})) << history;
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0]["step"], 1);
    EXPECT_EQ(steps[1]["step"], 2);

    // On an 80-column terminal every line fits, and what tells the camera,
    // its step and versions apart stays whole.
    std::ostringstream table;
    std::ostringstream problems;
    HistoryOptions options;
    options.mac = behind.mac;
    ASSERT_EQ(RunHistory(options, m_box.File("inv.sqlite"), table, problems, 80), 0)
        << problems.str();
    std::istringstream lines(table.str());
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(DisplayWidth(line), 80u) << line;
        rows.push_back(line);
    }
    ASSERT_EQ(rows.size(), 3u) << table.str();
    EXPECT_NE(rows[0].find("Step"), std::string::npos) << rows[0];
    for (const std::string& row : {rows[1], rows[2]}) {
        EXPECT_NE(row.find(behind.mac), std::string::npos) << row;
        EXPECT_NE(row.find("4.0.2(230119)"), std::string::npos) << row;
    }
}

// Killed (SIGKILL) once its first step was verified, the run is resumed
// and goes on at step 2: step 1 is never sent again. Killed once the last
// block of step 2 went out, the resumed run verifies that step (the camera
// may be flashing) and sends nothing again.
TEST_F(CliUpgradePath, AKillBetweenOrWithinStepsResumesWithoutSendingAStepTwice) {
    const auto count = [](const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++n;
        }
        return n;
    };
    struct KillPoint {
        std::string line;
        size_t times;
        std::string resumedWith;  // the first step the resumed run journals
    };
    const std::vector<KillPoint> points = {{"\"event\":\"passed\"", 1, "\"step\":2"},
                                           {"\"event\":\"last-block\"", 2, "\"verifying\""}};
    for (int n = 1; n <= 2; ++n) {
        auto cam = Camera(n);
        cam.flashMs = 3000;  // a resumed run finds it still flashing
        m_fleet.AddCamera(cam);
    }
    ASSERT_TRUE(m_fleet.Start());
    for (size_t p = 0; p < points.size(); ++p) {
        const KillPoint& point = points[p];
        SCOPED_TRACE(point.line);
        const std::string mac = m_fleet.Cameras()[p].mac;
        std::filesystem::remove_all(m_box.File("state/firmhand/runs"));
        std::vector<std::string> args = PathArgs();
        args.insert(args.begin(),
                    {"--set", "WaitDeviceOfflineTimeout=20", "--set", "WaitRebootTimeout=60"});
        args.insert(args.end(), {"--mac", mac});

        ASSERT_TRUE(KillChildWhen(args, [&] {
            return count(Journals(), point.line) >= point.times;
        })) << m_box.Read("err.txt");

        std::string out;
        args.insert(args.end(), {"--resume", "--report", m_box.File("r.json")});
        EXPECT_EQ(Run(args, out), 0) << out << m_err;
        EXPECT_NE(out.find("Resuming run"), std::string::npos) << out;
        EXPECT_EQ(Transfers(mac), (std::vector<int64_t>{5004, 6004}));
        EXPECT_EQ(m_fleet.CountEvents(mac, "flash_start"), 2);
        EXPECT_EQ(m_fleet.State(mac)->build, 230120);
        const std::string journal = Journals();
        const size_t resumed = journal.rfind("\"event\":\"resumed\"");
        ASSERT_NE(resumed, std::string::npos) << journal;
        EXPECT_EQ(journal.find("\"step\":1", resumed), std::string::npos) << journal;
        EXPECT_NE(journal.find(point.resumedWith, resumed), std::string::npos) << journal;
        const nlohmann::json row = ReportRow(nlohmann::json::parse(m_box.Read("r.json")), mac);
        EXPECT_EQ(row["status"], "upgraded") << row;
        EXPECT_EQ(Steps(row["steps"]), (std::vector<std::string>{kStep1, kStep2})) << row;
    }
}

// Each refused with one sentence and exit status 2, before any search.
TEST_F(CliUpgradePath, ChainsThatCannotBeOrderedAreRefusedBeforeAnythingIsContacted) {
    ASSERT_TRUE(StartFleet({Camera(1)}));
    const std::string plain = NewStylePackage(m_box);
    const std::string same = Package("other_4.0.2_230119.bin", 5000);
    const std::string newerText = Package("IPC_4.0.3_230100.bin", 5000);
    const std::string common = Package("IPC_4.0.2.bin", 5000);
    const std::string commonAgain = Package("IPC_4.00.2.bin", 5000);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"IPC-2020=" + m_step1, "IPC-2020=" + same}, "have the same version 4.0.2 build 230119"},
        {{"IPC-2020=" + m_step2, "IPC-2020=" + newerText}, "goes down"},
        {{"IPC-2020=" + m_step1, "IPC-2020=" + plain}, "carries no version"},
        {{common, commonAgain}, "two packages for every model have the same version"},
        {{"IPC-2020=" + m_step1, "IPC-2020=" + m_box.File("IPC_4.0.2_9.bin")}, "IPC_4.0.2_9.bin"},
    };
    std::vector<std::pair<std::vector<std::string>, std::string>> refused;
    for (const auto& [packages, problem] : cases) {
        std::vector<std::string> args = {"--all", "--password", "secret", "--yes"};
        for (const std::string& package : packages) {
            args.insert(args.end(), {"--package", package});
        }
        refused.push_back({args, problem});
    }
    ExpectRefusedBeforeAnySearch(refused);
}

// The live row of a camera on a path says which step it is on before what
// it does; a camera without a path reads as it always did.
TEST(PathStepView, TheRowNamesItsStepUntilTheCameraEnds) {
    CameraOutcome onPath;
    onPath.mac = "02:CC:00:00:00:01";
    CameraOutcome single;
    single.mac = "02:CC:00:00:00:02";
    CBatchTracker batch({onPath, single});
    batch.Apply(CameraStepEvent{onPath.mac, 2, 3}, 0);
    EXPECT_EQ(batch.Outcomes()[0].state, "Step 2 of 3");
    for (const std::string& mac : {onPath.mac, single.mac}) {
        batch.Apply(CameraStateEvent{mac, UpgradeProgress::Starting}, 1);
        batch.Apply(CameraProgressEvent{mac, 49}, 2);
    }
    EXPECT_EQ(batch.Outcomes()[0].state, "Step 2 of 3: 50%");
    EXPECT_EQ(batch.Outcomes()[1].state, "50%");
    batch.Apply(CameraResultEvent{onPath.mac, UpgradeResult::Ok}, 3);
    EXPECT_EQ(batch.Outcomes()[0].code, UpgradeResult::Ok);
}

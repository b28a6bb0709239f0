// firmhand-cli upgrade --wait-for-missing: of two named cameras switched off
// when the search ran, the one switched on while the batch waits is
// upgraded, the other ends "Not found within" the time given; the table,
// the report and the exit status say so. A resumed run waits again for the
// camera it never found.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <stop_token>
#include <thread>

#include "CliFixture.h"

namespace {

// Switches the camera on once the run journals hold `waits` "wait" lines:
// the batch waits for it.
std::jthread SwitchOnWhenWaiting(const testing_support::CSandbox& box, CSimFleet& fleet,
                                 const std::string& mac, int waits) {
    return std::jthread([&box, &fleet, mac, waits](std::stop_token stop) {
        const auto waiting = [&] {
            int found = 0;
            const std::string text = RunJournals(box);
            for (size_t at = text.find("\"event\":\"wait\""); at != std::string::npos;
                 at = text.find("\"event\":\"wait\"", at + 1)) {
                ++found;
            }
            return found >= waits;
        };
        if (testing_support::WaitFor([&] { return stop.stop_requested() || waiting(); },
                                     std::chrono::seconds(120)) &&
            !stop.stop_requested()) {
            fleet.SetOnline(mac, true);
        }
    });
}

// The site of a camera's first history row.
std::string HistorySite(const std::string& history) {
    const nlohmann::json steps = nlohmann::json::parse(history, nullptr, false);
    return steps.is_array() && !steps.empty() ? steps[0].value("site", "") : "";
}

}  // namespace

TEST_F(CliFixture, CameraSwitchedOnWhileTheBatchWaitsIsUpgradedTheOtherIsNotFound) {
    auto late = Camera(1);
    late.switchedOff = true;
    auto never = Camera(2);
    never.switchedOff = true;
    ASSERT_TRUE(StartFleet({late, never}));
    // The camera never found this time was seen by an earlier search.
    std::string out;
    m_fleet.SetOnline(never.mac, true);
    ASSERT_EQ(Run({"scan"}, out), 0) << m_err;
    m_fleet.SetOnline(never.mac, false);

    std::jthread switcher = SwitchOnWhenWaiting(m_box, m_fleet, late.mac, 1);
    const int status = Run({"upgrade", "--package", NewStylePackage(m_box), "--mac", late.mac,
                            "--mac", never.mac, "--password", "secret", "--yes",
                            "--wait-for-missing", "5s", "--report", m_box.File("report.json")},
                           out);
    switcher.request_stop();
    switcher.join();

    EXPECT_EQ(status, 1) << out << m_err;
    // The MACs on their own line, never cut by an 80-column terminal.
    EXPECT_NE(out.find("Waiting up to 5s for 2 cameras not found yet:\n  " + late.mac + "  " +
                       never.mac + "\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Not found within 5s"), std::string::npos) << out;
    EXPECT_EQ(m_fleet.State(late.mac)->upgradesCompleted, 1);
    EXPECT_EQ(m_fleet.CountEvents(never.mac, "connect"), 0);
    const std::string report = m_box.Read("report.json");
    EXPECT_EQ(StatusOf(report, late.mac), "upgraded") << report;
    EXPECT_NE(Row(report, late.mac).find(late.ip), std::string::npos) << "its record, once found";
    const std::string notFound = Row(report, never.mac);
    EXPECT_EQ(StatusOf(report, never.mac), "failed") << report;
    EXPECT_NE(notFound.find("Not found within 5s"), std::string::npos) << report;
    EXPECT_NE(notFound.find("did not find the camera"), std::string::npos) << "the reason";

    // Its history stays with the site where it was seen, as the other's.
    std::string history;
    ASSERT_EQ(Run({"history", "--mac", never.mac, "--json"}, history), 0) << m_err;
    EXPECT_NE(history.find("Not found within 5s"), std::string::npos) << history;
    std::string other;
    ASSERT_EQ(Run({"history", "--mac", late.mac, "--json"}, other), 0) << m_err;
    EXPECT_EQ(HistorySite(history), HistorySite(other)) << history << other;
    EXPECT_NE(HistorySite(history), "");
    EXPECT_NE(HistorySite(history), "unknown");
}

TEST_F(CliFixture, ResumedRunWaitsAgainForTheCameraItNeverFound) {
    auto off = Camera(1);
    off.switchedOff = true;
    ASSERT_TRUE(StartFleet({off}));
    const std::string package = NewStylePackage(m_box);
    // A run cancelled while it waited half a minute for the camera, long ago.
    std::filesystem::create_directories(m_box.File("state/firmhand/runs"));
    m_box.Write("state/firmhand/runs/20260101T000000Z-1.jsonl",
                R"({"event":"run","id":"20260101T000000Z-1","packages":[{"model":"","path":")" +
                    package + R"("}],"t":1}
{"event":"camera","mac":")" +
                    off.mac + R"(","awaited":true,"t":2}
{"event":"wait","seconds":30,"text":"30s","deadline":30002,"t":2}
{"event":"result","mac":")" +
                    off.mac + R"(","code":28,"t":3}
)");
    std::jthread switcher = SwitchOnWhenWaiting(m_box, m_fleet, off.mac, 2);
    std::string out;
    const int status = Run({"upgrade", "--package", package, "--mac", off.mac, "--password",
                            "secret", "--yes", "--resume", "--report", m_box.File("report.json")},
                           out);
    switcher.request_stop();
    switcher.join();
    EXPECT_EQ(status, 0) << out << m_err;
    EXPECT_NE(out.find("Resuming run 20260101T000000Z-1"), std::string::npos) << out;
    EXPECT_EQ(m_fleet.State(off.mac)->upgradesCompleted, 1);
    EXPECT_EQ(StatusOf(m_box.Read("report.json"), off.mac), "upgraded");
}

// firmhand-cli upgrade --wait-for-missing: of two named cameras switched off
// when the search ran, the one switched on while the batch waits is
// upgraded, the other ends "Not found within" the time given; the table,
// the report and the exit status say so. A resumed run waits again for the
// camera it never found.
#include <gtest/gtest.h>

#include <filesystem>
#include <stop_token>
#include <thread>

#include "CliFixture.h"

namespace {

// The run journals hold at least `count` "wait" lines: the batch waits.
bool JournalWaits(const testing_support::CSandbox& box, int count = 1) {
    std::error_code error;
    int found = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(box.File("state/firmhand/runs"), error)) {
        const std::string text =
            box.Read("state/firmhand/runs/" + entry.path().filename().string());
        for (size_t at = text.find("\"event\":\"wait\""); at != std::string::npos;
             at = text.find("\"event\":\"wait\"", at + 1)) {
            ++found;
        }
    }
    return found >= count;
}

// Switches the camera on once the journals hold `waits` "wait" lines.
std::jthread SwitchOnWhenWaiting(CSimFleet& fleet, const testing_support::CSandbox& box,
                                 const std::string& mac, int waits) {
    return std::jthread([&fleet, &box, mac, waits](std::stop_token stop) {
        if (testing_support::WaitFor(
                [&] { return stop.stop_requested() || JournalWaits(box, waits); },
                std::chrono::seconds(120)) &&
            !stop.stop_requested()) {
            fleet.SetOnline(mac, true);
        }
    });
}

}  // namespace

TEST_F(CliFixture, CameraSwitchedOnWhileTheBatchWaitsIsUpgradedTheOtherIsNotFound) {
    auto late = Camera(1);
    late.switchedOff = true;
    auto never = Camera(2);
    never.switchedOff = true;
    m_fleet.AddCamera(late);
    m_fleet.AddCamera(never);
    ASSERT_TRUE(m_fleet.Start());

    // Switched on once the batch has begun to wait for it.
    std::jthread switcher([&](std::stop_token stop) {
        if (testing_support::WaitFor([&] { return stop.stop_requested() || JournalWaits(m_box); },
                                     std::chrono::seconds(120)) &&
            !stop.stop_requested()) {
            m_fleet.SetOnline(late.mac, true);
        }
    });
    std::string out;
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
    EXPECT_NE(Row(report, late.mac).find("\"status\": \"upgraded\""), std::string::npos) << report;
    EXPECT_NE(Row(report, late.mac).find(late.ip), std::string::npos) << "its record, once found";
    const std::string notFound = Row(report, never.mac);
    EXPECT_NE(notFound.find("\"status\": \"failed\""), std::string::npos) << report;
    EXPECT_NE(notFound.find("Not found within 5s"), std::string::npos) << report;
    EXPECT_NE(notFound.find("did not find the camera"), std::string::npos) << "the reason";
}

TEST_F(CliFixture, ResumedRunWaitsAgainForTheCameraItNeverFound) {
    auto off = Camera(1);
    off.switchedOff = true;
    m_fleet.AddCamera(off);
    ASSERT_TRUE(m_fleet.Start());
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
    std::jthread switcher = SwitchOnWhenWaiting(m_fleet, m_box, off.mac, 2);
    std::string out;
    const int status = Run({"upgrade", "--package", package, "--mac", off.mac, "--password",
                            "secret", "--yes", "--resume", "--report", m_box.File("report.json")},
                           out);
    switcher.request_stop();
    switcher.join();
    EXPECT_EQ(status, 0) << out << m_err;
    EXPECT_NE(out.find("Resuming run 20260101T000000Z-1"), std::string::npos) << out;
    EXPECT_EQ(m_fleet.State(off.mac)->upgradesCompleted, 1);
    EXPECT_NE(Row(m_box.Read("report.json"), off.mac).find("\"status\": \"upgraded\""),
              std::string::npos);
}

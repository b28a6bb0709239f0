// firmhand-cli upgrade --wait-for-missing: of two named cameras switched off
// when the search ran, the one switched on while the batch waits is
// upgraded, the other ends "Not found within" the time given; the table,
// the report and the exit status say so.
#include <gtest/gtest.h>

#include <filesystem>
#include <stop_token>
#include <thread>

#include "CliFixture.h"

namespace {

// The run's journal says the batch waits.
bool JournalWaits(const testing_support::CSandbox& box) {
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(box.File("state/firmhand/runs"), error)) {
        if (box.Read("state/firmhand/runs/" + entry.path().filename().string())
                .find("\"event\":\"wait\"") != std::string::npos) {
            return true;
        }
    }
    return false;
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
    EXPECT_NE(out.find("Waiting up to 5s for 2 cameras not found yet"), std::string::npos) << out;
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

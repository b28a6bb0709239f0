// Retrying a report's cameras: a camera another process was upgrading is
// "busy", not failed, and a retry leaves it alone unless asked; the retry
// takes its packages and cameras from the report and names the cameras the
// search did not find.
#include <gtest/gtest.h>

#include "CliFixture.h"
#include "upgrade/CameraLock.h"

namespace {

class CliRetryTest : public CliFixture {
protected:
    std::vector<std::string> Upgrade(const std::string& report) {
        return {"--set",
                "TryUpgradeMaxCountSingle=1",
                "upgrade",
                "--package",
                NewStylePackage(m_box),
                "--all",
                "--password",
                "secret",
                "--yes",
                "--report",
                report};
    }
};

}  // namespace

TEST_F(CliRetryTest, BusyCameraIsNotFailedAndRetriedOnlyWhenAsked) {
    auto busy = Camera(1);
    auto refused = Camera(2);
    refused.password = "other";
    m_fleet.AddCamera(busy);
    m_fleet.AddCamera(refused);
    ASSERT_TRUE(m_fleet.Start());

    std::string out;
    {
        // Another process upgrades this camera right now.
        bool held = false;
        std::string problem;
        const auto lock = LockCamera(busy.mac, held, problem, m_box.File("locks"));
        ASSERT_NE(lock, nullptr) << problem;
        EXPECT_EQ(Run(Upgrade(m_box.File("first.json")), out), 1) << m_err;
    }
    const std::string first = m_box.Read("first.json");
    EXPECT_NE(Row(first, busy.mac).find("\"status\": \"busy\""), std::string::npos) << first;
    EXPECT_NE(Row(first, refused.mac).find("\"status\": \"failed\""), std::string::npos) << first;
    EXPECT_EQ(m_fleet.CountEvents(busy.mac, "connect"), 0);

    // The retry of the failed camera only: the busy one is not touched.
    EXPECT_EQ(Run({"--set", "TryUpgradeMaxCountSingle=1", "upgrade", "--retry-failed",
                   m_box.File("first.json"), "--package", NewStylePackage(m_box), "--password",
                   "secret", "--yes", "--report", m_box.File("second.json")},
                  out),
              1)
        << m_err;
    const std::string second = m_box.Read("second.json");
    EXPECT_EQ(Row(second, busy.mac), "") << second;
    EXPECT_NE(Row(second, refused.mac).find("\"status\": \"failed\""), std::string::npos) << second;
    EXPECT_EQ(m_fleet.CountEvents(busy.mac, "connect"), 0);

    // Asked for, the busy camera is upgraded now that it is free.
    EXPECT_EQ(Run({"--set", "TryUpgradeMaxCountSingle=1", "upgrade", "--retry-failed",
                   m_box.File("first.json"), "--retry-busy", "--package", NewStylePackage(m_box),
                   "--password", "secret", "--yes", "--report", m_box.File("third.json")},
                  out),
              1)
        << m_err;
    const std::string third = m_box.Read("third.json");
    EXPECT_NE(Row(third, busy.mac).find("\"status\": \"upgraded\""), std::string::npos) << third;
}

TEST_F(CliRetryTest, RetryTakesTheReportsPackageAndCamerasAndNamesThoseNotFound) {
    auto once = Camera(1);  // refuses its first login only
    once.faults.loginErrors = {2};
    auto gone = Camera(2);  // the same, and offline by the time of the retry
    gone.faults.loginErrors = {2};
    auto good = Camera(3);
    for (const auto& cam : {once, gone, good}) {
        m_fleet.AddCamera(cam);
    }
    ASSERT_TRUE(m_fleet.Start());

    std::string out;
    EXPECT_EQ(Run(Upgrade(m_box.File("first.json")), out), 1) << m_err;
    ASSERT_TRUE(m_fleet.SetOnline(gone.mac, false));

    // Neither --package nor a choice of cameras: the report has both.
    EXPECT_EQ(Run({"--set", "TryUpgradeMaxCountSingle=1", "upgrade", "--retry-failed",
                   m_box.File("first.json"), "--password", "secret", "--yes", "--report",
                   m_box.File("second.json")},
                  out),
              1)
        << m_err << out;
    EXPECT_NE(m_err.find("1 camera of " + m_box.File("first.json") +
                         " not found by the search:\n  " + gone.mac + "  " + gone.ip),
              std::string::npos)
        << m_err;
    const std::string second = m_box.Read("second.json");
    EXPECT_NE(Row(second, once.mac).find("\"status\": \"upgraded\""), std::string::npos) << second;
    EXPECT_NE(Row(second, once.mac).find(m_box.File("fw.bin")), std::string::npos) << second;
    EXPECT_EQ(Row(second, good.mac), "") << "upgraded before, not retried";
    EXPECT_EQ(m_fleet.CountEvents(good.mac, "transfer_done"), 1);

    // An option given still overrides the report: a package that is not there.
    EXPECT_EQ(Run({"upgrade", "--retry-failed", m_box.File("first.json"), "--package",
                   m_box.File("missing.bin"), "--yes"},
                  out),
              2);
    EXPECT_NE(m_err.find("missing.bin"), std::string::npos) << m_err;
}

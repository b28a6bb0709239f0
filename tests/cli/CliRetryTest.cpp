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
    // One attempt per camera, the report to `report`, then `extra`.
    std::vector<std::string> Upgrade(const std::string& report,
                                     const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"--set", "TryUpgradeMaxCountSingle=1", "upgrade"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"--password", "secret", "--yes", "--report", m_box.File(report)});
        return args;
    }
    std::vector<std::string> UpgradeAllTo(const std::string& report) {
        return Upgrade(report, {"--package", NewStylePackage(m_box), "--all"});
    }
};

}  // namespace

TEST_F(CliRetryTest, BusyCameraIsNotFailedAndRetriedOnlyWhenAsked) {
    auto busy = Camera(1);
    auto refused = Camera(2);
    refused.password = "other";
    ASSERT_TRUE(StartFleet({busy, refused}));

    std::string out;
    {
        // Another process upgrades this camera right now.
        bool held = false;
        std::string problem;
        const auto lock = LockCamera(busy.mac, held, problem, m_box.File("locks"));
        ASSERT_NE(lock, nullptr) << problem;
        EXPECT_EQ(Run(UpgradeAllTo("first.json"), out), 1) << m_err;
    }
    const std::string first = m_box.Read("first.json");
    EXPECT_EQ(StatusOf(first, busy.mac), "busy") << first;
    EXPECT_EQ(StatusOf(first, refused.mac), "failed") << first;
    EXPECT_EQ(m_fleet.CountEvents(busy.mac, "connect"), 0);

    // The retry of the failed camera only: the busy one is not touched.
    const std::vector<std::string> retry = {"--retry-failed", m_box.File("first.json"), "--package",
                                            NewStylePackage(m_box)};
    EXPECT_EQ(Run(Upgrade("second.json", retry), out), 1) << m_err;
    const std::string second = m_box.Read("second.json");
    EXPECT_EQ(Row(second, busy.mac), "") << second;
    EXPECT_EQ(StatusOf(second, refused.mac), "failed") << second;
    EXPECT_EQ(m_fleet.CountEvents(busy.mac, "connect"), 0);

    // Asked for, the busy camera is upgraded now that it is free.
    std::vector<std::string> retryBusy = retry;
    retryBusy.push_back("--retry-busy");
    EXPECT_EQ(Run(Upgrade("third.json", retryBusy), out), 1) << m_err;
    EXPECT_EQ(StatusOf(m_box.Read("third.json"), busy.mac), "upgraded") << m_box.Read("third.json");
}

TEST_F(CliRetryTest, RetryTakesTheReportsPackageAndCamerasAndNamesThoseNotFound) {
    auto once = Camera(1);  // refuses its first login only
    once.faults.loginErrors = {2};
    auto gone = Camera(2);  // the same, and offline by the time of the retry
    gone.faults.loginErrors = {2};
    auto good = Camera(3);
    ASSERT_TRUE(StartFleet({once, gone, good}));

    std::string out;
    EXPECT_EQ(Run(UpgradeAllTo("first.json"), out), 1) << m_err;
    ASSERT_TRUE(m_fleet.SetOnline(gone.mac, false));

    // Neither --package nor a choice of cameras: the report has both.
    EXPECT_EQ(Run(Upgrade("second.json", {"--retry-failed", m_box.File("first.json")}), out), 1)
        << m_err << out;
    EXPECT_NE(m_err.find("1 camera of " + m_box.File("first.json") +
                         " not found by the search:\n  " + gone.mac + "  " + gone.ip),
              std::string::npos)
        << m_err;
    const std::string second = m_box.Read("second.json");
    EXPECT_EQ(StatusOf(second, once.mac), "upgraded") << second;
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

// firmhand-cli as a real process stopped by SIGINT or SIGTERM: a running
// batch is cancelled without waiting for the cameras, reported, and the
// process ends with 130; a second signal ends it at once. Also what only a
// real process shows: no terminal to ask on, and a second process that
// wants the same camera.
#include <gtest/gtest.h>

#include <algorithm>

#include "CliFixture.h"
#include "CliProcess.h"

namespace {

using std::chrono::seconds;

class CliSignalTest : public CliFixture {
protected:
    // Starts firmhand-cli with `args`, the fleet as search targets and
    // waits of ten minutes, so that only a cancellation ends them soon.
    void StartCli(const std::vector<std::string>& args, const std::string& in = "/dev/null") {
        std::vector<std::string> all = {
            "--set", "WaitUpgradeProgressTimeout=600", "--set", "WaitDeviceOfflineTimeout=600",
            "--set", "WaitRebootTimeout=600",          "--set", "TryUpgradeMaxCountSingle=1"};
        all.insert(all.end(), args.begin(), args.end());
        ASSERT_TRUE(StartChild(m_child, all, in));
    }
    std::vector<std::string> UpgradeArgs(const std::string& report) {
        return UpgradeAll({"--report", report, "--seconds", "1"});
    }

    CChildProcess m_child;
};

}  // namespace

TEST_F(CliSignalTest, InterruptCancelsTheBatchAndReportsEachCamera) {
    auto stuck = Camera(1);  // stops acknowledging mid-transfer
    stuck.faults.stopAcksAtBlock = 3;
    auto flashing = Camera(2);  // flashes for far longer than the test runs
    flashing.flashMs = 600000;
    auto refused = Camera(3);  // fails at once
    refused.password = "other";
    ASSERT_TRUE(StartFleet({stuck, flashing, refused}));

    StartCli(UpgradeArgs(m_box.File("r.json")));
    // Mid-batch for certain: one camera stuck, one flashing, one done.
    ASSERT_TRUE(m_fleet.WaitForEvent(stuck.mac, "acks_stopped", 120000));
    ASSERT_TRUE(m_fleet.WaitForEvent(flashing.mac, "flash_start", 120000));
    ASSERT_TRUE(WaitForText("out.txt", "Incorrect Username/Password!"));
    ASSERT_TRUE(m_child.Interrupt());

    // Far less than the cameras' waits of ten minutes.
    EXPECT_EQ(ExitStatus(m_child), 130) << ChildOutput();
    EXPECT_EQ(m_fleet.State(flashing.mac)->phase, "flashing");

    const std::string err = m_box.Read("err.txt");
    const size_t line = err.find("cancelling the upgrade");
    EXPECT_NE(line, std::string::npos) << err;
    EXPECT_EQ(err.find("cancelling the upgrade", line + 1), std::string::npos) << err;

    const std::string report = m_box.Read("r.json");
    EXPECT_EQ(StatusOf(report, stuck.mac), "cancelled") << report;
    EXPECT_NE(Row(report, stuck.mac).find("\"attempts\": 1"), std::string::npos) << report;
    // Its last block went out: it installs on its own, and says so.
    EXPECT_NE(Row(report, flashing.mac)
                  .find("\"text\": \"Sent, installing\", \"status\": \"installing\""),
              std::string::npos)
        << report;
    const std::string refusedRow = Row(report, refused.mac);
    EXPECT_NE(refusedRow.find("\"code\": 11, \"text\": \"Incorrect Username/Password!\", "
                              "\"status\": \"failed\""),
              std::string::npos)
        << report;
    EXPECT_NE(refusedRow.find("\"reason\": \"The camera refused the user name and password.\""),
              std::string::npos)
        << report;
    EXPECT_NE(m_box.Read("out.txt").find("cancelled"), std::string::npos);
    // The exact command that continues the run, without the typed password.
    EXPECT_NE(err.find("continue it with:\n  firmhand-cli "), std::string::npos) << err;
    EXPECT_NE(err.find(" --set WaitUpgradeProgressTimeout=600 "), std::string::npos) << err;
    EXPECT_NE(err.find(" upgrade --resume --package "), std::string::npos) << err;
    EXPECT_EQ(err.find("secret"), std::string::npos) << err;
}

TEST_F(CliSignalTest, SecondSignalEndsTheProcessAtOnce) {
    auto stuck = Camera(1);
    stuck.faults.stopAcksAtBlock = 3;
    ASSERT_TRUE(StartFleet({stuck}));
    // Nobody reads the report's pipe: the orderly stop hangs at writing it.
    ASSERT_TRUE(MakeFifo(m_box.File("r.json")));

    StartCli(UpgradeArgs(m_box.File("r.json")));
    ASSERT_TRUE(m_fleet.WaitForEvent(stuck.mac, "acks_stopped", 120000));
    ASSERT_TRUE(m_child.Terminate());
    ASSERT_TRUE(WaitForText("out.txt", "Old version"));  // the table, just before the report
    ASSERT_TRUE(m_child.Interrupt());

    EXPECT_EQ(ExitStatus(m_child), 130) << ChildOutput();
}

TEST_F(CliSignalTest, InterruptDuringTheSearchExitsPromptly) {
    const auto cam = Camera(1);
    ASSERT_TRUE(StartFleet({cam}));

    auto args = UpgradeArgs(m_box.File("r.json"));
    args.back() = "600";  // ten minutes of search
    StartCli(args);
    ASSERT_TRUE(m_fleet.WaitForEvent(cam.mac, "probe_answered", 120000));
    ASSERT_TRUE(m_child.Interrupt());

    EXPECT_EQ(ExitStatus(m_child), 130) << ChildOutput();
    EXPECT_EQ(m_fleet.CountEvents(cam.mac, "login"), 0);
    EXPECT_NE(m_box.Read("err.txt").find("interrupted"), std::string::npos);
}

TEST_F(CliSignalTest, WithoutTerminalOrYesNothingIsContacted) {
    const auto cam = Camera(1);
    ASSERT_TRUE(StartFleet({cam}));
    auto args = UpgradeArgs(m_box.File("r.json"));
    args.erase(std::find(args.begin(), args.end(), "--yes"));
    StartCli(args);  // standard input is /dev/null

    EXPECT_EQ(ExitStatus(m_child), 2) << ChildOutput();
    EXPECT_NE(m_box.Read("err.txt").find("add --yes to upgrade without asking"), std::string::npos)
        << m_box.Read("err.txt");
    EXPECT_EQ(m_fleet.CountEvents(cam.mac, "probe_answered"), 0);
    EXPECT_EQ(m_fleet.CountEvents(cam.mac, "connect"), 0);
}

TEST_F(CliSignalTest, OnATerminalTheChosenCamerasAreShownAndAskedAboutOnce) {
    const auto cam = Camera(1);
    ASSERT_TRUE(StartFleet({cam}));
    auto args = UpgradeArgs(m_box.File("r.json"));
    args.erase(std::find(args.begin(), args.end(), "--yes"));

    for (const std::string answer : {"n", "y"}) {
        CTestTerminal terminal;
        ASSERT_TRUE(terminal.Open());
        StartCli(args, terminal.Device());
        ASSERT_TRUE(WaitForText("err.txt", "Upgrade 1 camera? [y/N]"));
        const std::string err = m_box.Read("err.txt");
        EXPECT_NE(err.find("1 camera chosen (1 IPC-2020)"), std::string::npos) << err;
        EXPECT_NE(err.find(cam.mac), std::string::npos) << err;
        EXPECT_EQ(m_fleet.CountEvents(cam.mac, "login"), 0) << "asked before the batch";
        ASSERT_TRUE(terminal.Type(answer + "\n"));
        if (answer == "y") {
            // The batch began; its end (the camera's reboot) is not awaited.
            EXPECT_TRUE(m_fleet.WaitForEvent(cam.mac, "upgrade_start", 120000));
            ASSERT_TRUE(m_child.Interrupt());
        }

        EXPECT_EQ(ExitStatus(m_child), answer == "y" ? 130 : 2) << ChildOutput();
        if (answer == "n") {
            EXPECT_EQ(m_fleet.CountEvents(cam.mac, "connect"), 0);
            EXPECT_NE(m_box.Read("err.txt").find("nothing upgraded"), std::string::npos);
        }
    }
    // Asked once: no second question for cameras without a shared address.
    const std::string err = m_box.Read("err.txt");
    EXPECT_EQ(err.find("[y/N]"), err.rfind("[y/N]")) << err;
}

TEST_F(CliSignalTest, SecondProcessLeavesACameraBeingUpgradedAlone) {
    auto cam = Camera(1);
    cam.flashMs = 600000;  // the child's job lasts until it is interrupted
    ASSERT_TRUE(StartFleet({cam}));

    StartCli(UpgradeArgs(m_box.File("child.json")));
    ASSERT_TRUE(m_fleet.WaitForEvent(cam.mac, "flash_start", 120000));

    std::string out;
    EXPECT_EQ(Run(UpgradeAll({"--report", m_box.File("second.json")}), out), 1) << m_err;
    EXPECT_NE(out.find("Upgraded elsewhere right now"), std::string::npos) << out;
    EXPECT_NE(m_box.Read("second.json").find("\"code\": 23"), std::string::npos);
    EXPECT_EQ(m_fleet.State(cam.mac)->phase, "flashing");  // the child still held it

    ASSERT_TRUE(m_child.Interrupt());
    EXPECT_EQ(ExitStatus(m_child), 130) << ChildOutput();
    EXPECT_EQ(m_fleet.CountEvents(cam.mac, "upgrade_start"), 1);
    EXPECT_EQ(m_fleet.CountEvents(cam.mac, "transfer_done"), 1);
}

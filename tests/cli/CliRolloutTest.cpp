// firmhand-cli rollouts: a run killed with SIGKILL at each step of its
// journal and resumed ends with every camera upgraded and none sent the
// package while it may flash; the dry run, the list of runs and the retry
// of a report's failed cameras.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "CliFixture.h"
#include "CliProcess.h"
#include "platform/Paths.h"
#include "upgrade/CameraLock.h"
#include "upgrade/RunJournal.h"

namespace {

using std::chrono::seconds;

class CliRolloutTest : public CliFixture {
protected:
    std::string RunsFolder() const { return m_box.File("state/firmhand/runs"); }

    // A resumed camera that may be flashing is verified by waiting for it to
    // go offline; a sanitized simulator takes seconds longer to get there.
    std::vector<std::string> UpgradeArgs(const std::vector<SimCameraConfig>& cameras) {
        std::vector<std::string> args = {"--set",      "WaitDeviceOfflineTimeout=20",
                                         "--set",      "WaitRebootTimeout=60",
                                         "upgrade",    "--package",
                                         m_package,    "--password",
                                         "secret",     "--yes",
                                         "--parallel", "1"};
        for (const auto& cam : cameras) {
            args.push_back("--mac");
            args.push_back(cam.mac);
        }
        return args;
    }

    std::string m_package = NewStylePackage(m_box);
};

}  // namespace

// Each run is killed (SIGKILL) at a step of its journal and leaves a torn
// line, as a power cut does; the first resume is killed too, at the first
// camera step it journals (a transfer it starts, or the verification of a
// camera that may be flashing), and leaves a torn line as well. The second
// resume ends the run: every camera flashed once and ended upgraded.
TEST_F(CliRolloutTest, KilledAtEachJournalStepTwiceAndResumedNoCameraFlashesTwice) {
    const std::vector<std::string> steps = {"queued", "started", "last-block", "result"};
    std::vector<std::vector<SimCameraConfig>> groups;
    for (size_t s = 0; s < steps.size(); ++s) {
        std::vector<SimCameraConfig> group;
        for (int n = 1; n <= 2; ++n) {
            auto cam = Camera(static_cast<int>(s) * 2 + n);
            cam.flashMs = 1500;  // a resumed run may find it still flashing
            m_fleet.AddCamera(cam);
            group.push_back(cam);
        }
        groups.push_back(group);
    }
    ASSERT_TRUE(m_fleet.Start());

    const auto tearLastLine = [&] {
        for (const auto& entry : std::filesystem::directory_iterator(RunsFolder())) {
            std::ofstream(entry.path(), std::ios::app) << "{\"event\":\"result\",\"mac\":\"";
        }
    };
    for (size_t s = 0; s < steps.size(); ++s) {
        SCOPED_TRACE(steps[s]);
        std::filesystem::remove_all(RunsFolder());
        // Killed as soon as the journal holds the step, whatever came after.
        ASSERT_TRUE(KillChildWhen(UpgradeArgs(groups[s]), [&] {
            return Journals().find("\"event\":\"" + steps[s] + "\"") != std::string::npos;
        })) << m_box.Read("err.txt");
        tearLastLine();

        std::vector<std::string> resume = UpgradeArgs(groups[s]);
        resume.push_back("--resume");
        // Killed at the first step the resumed run journals for a camera.
        KillChildWhen(resume, [&] {
            const std::string text = Journals();
            const size_t resumed = text.rfind("\"event\":\"resumed\"");
            return resumed != std::string::npos &&
                   (text.find("\"event\":\"started\"", resumed) != std::string::npos ||
                    text.find("\"event\":\"verifying\"", resumed) != std::string::npos);
        });
        tearLastLine();

        std::string out;
        const std::string report = m_box.File("resumed.json");
        resume.insert(resume.end(), {"--report", report});
        EXPECT_EQ(Run(resume, out), 0) << out << m_err;
        EXPECT_NE(out.find("Resuming run"), std::string::npos) << out << m_err;
        const std::string json = m_box.Read("resumed.json");
        for (const auto& cam : groups[s]) {
            EXPECT_NE(json.find(cam.mac), std::string::npos) << "every camera of the run";
            EXPECT_EQ(m_fleet.State(cam.mac)->upgradesCompleted, 1) << cam.mac;
            EXPECT_EQ(m_fleet.CountEvents(cam.mac, "flash_start"), 1) << cam.mac;
        }
        EXPECT_EQ(json.find("failed"), std::string::npos) << json;
        if (steps[s] == "last-block") {
            EXPECT_NE(Journals().find("\"event\":\"verifying\""), std::string::npos)
                << "a camera whose last block may have gone out is verified first";
        }
        RunSummary run;
        std::string error;
        for (const auto& entry : std::filesystem::directory_iterator(RunsFolder())) {
            EXPECT_TRUE(ReadRunJournal(entry.path().string(), run, error)) << error;
            EXPECT_TRUE(run.Finished());
        }
    }
}

TEST_F(CliRolloutTest, DryRunPlansRunsAreListedAndOnlyFailedCamerasAreRetried) {
    const auto good = Camera(1);
    auto refusing = Camera(2);  // another password: fails
    refusing.password = "other";
    ASSERT_TRUE(StartFleet({good, refusing}));

    std::string out;
    EXPECT_EQ(Run({"upgrade", "--package", "IPC-2020=" + m_package, "--all", "--dry-run"}, out), 0)
        << m_err;
    EXPECT_NE(out.find("fw.bin"), std::string::npos) << out;
    EXPECT_NE(out.find("typed (admin)"), std::string::npos) << out;
    EXPECT_NE(out.find("nothing started"), std::string::npos) << out;
    EXPECT_EQ(m_fleet.CountEvents(good.mac, "connect"), 0);

    const std::string report = m_box.File("first.json");
    std::vector<std::string> args =
        UpgradeAll({"--report", report, "--report", m_box.File("first.html")});
    args.insert(args.begin(), {"--set", "TryUpgradeMaxCountSingle=1"});
    EXPECT_EQ(Run(args, out), 1) << m_err;
    EXPECT_NE(out.find("Run journal: " + RunsFolder()), std::string::npos) << out;
    // The page to hand over: counts, a row per camera, a lane per camera.
    const std::string page = m_box.Read("first.html");
    EXPECT_NE(page.find("id=\"upgraded\">1<"), std::string::npos) << page;
    EXPECT_NE(page.find("id=\"failed\">1<"), std::string::npos) << page;
    EXPECT_NE(page.find("<title>Cam 1 (" + good.mac + "): transfer</title>"), std::string::npos)
        << page;
    EXPECT_NE(page.find("<title>Cam 2 (" + refusing.mac + "): failed</title>"), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(Run({"runs"}, out), 0);
    // Run, date, time, state, cameras, upgraded, skipped, failed, open.
    std::istringstream row(out.substr(out.find('\n') + 1));
    std::vector<std::string> cells(9);
    for (std::string& cell : cells) {
        row >> cell;
    }
    EXPECT_EQ(std::vector<std::string>(cells.begin() + 3, cells.end()),
              (std::vector<std::string>{"finished", "2", "1", "0", "1", "0"}))
        << out;

    // Only the failed camera is tried again.
    const int loginsBefore = m_fleet.CountEvents(good.mac, "login");
    EXPECT_EQ(Run({"--set", "TryUpgradeMaxCountSingle=1", "upgrade", "--package", m_package,
                   "--all", "--password", "other", "--yes", "--retry-failed", report},
                  out),
              0)
        << out << m_err;
    EXPECT_EQ(m_fleet.CountEvents(good.mac, "login"), loginsBefore);
    EXPECT_EQ(m_fleet.State(refusing.mac)->upgradesCompleted, 1);
}

TEST_F(CliRolloutTest, WrongRolloutValuesAreRefusedBeforeAnySearch) {
    ASSERT_TRUE(StartFleet({Camera(1)}));
    const std::string credentials = m_box.File("c.txt");
    m_box.Write("c.txt", "* admin\n");
    std::filesystem::permissions(
        credentials, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--package", "=" + m_package}, "expected FILE or MODEL=FILE"},
        {{"--package", "A=" + m_package, "--package", "A=" + m_package},
         "several packages for model A, but the file name of"},
        {{"--package", m_package, "--credentials", credentials}, "line 1"},
        {{"--package", m_package, "--parallel", "65"}, "1 to 64"},
        {{"--package", m_package, "--max-failures", "x%"}, "expected N or N%"},
        {{"--package", m_package, "--retry-failed", m_box.File("none.json")}, "cannot be read"},
    };
    for (auto& [args, message] : cases) {
        args.insert(args.end(), {"--all", "--yes"});
    }
    ExpectRefusedBeforeAnySearch(cases);
}

// A run that another process drives is shown as running and never resumed:
// its camera stays with the one transfer that process began.
TEST_F(CliRolloutTest, RunDrivenByAnotherProcessIsShownRunningAndNotResumed) {
    auto cam = Camera(1);
    cam.faults.stopAcksAtBlock = 40;  // the transfer stalls there
    ASSERT_TRUE(StartFleet({cam}));
    std::vector<std::string> args = UpgradeArgs({cam});
    args.insert(args.begin(), {"--set", "WaitUpgradeProgressTimeout=600"});
    CChildProcess child;
    ASSERT_TRUE(StartChild(child, args));
    ASSERT_TRUE(testing_support::WaitFor(
        [&] { return m_fleet.CountEvents(cam.mac, "acks_stopped") > 0; }, seconds(120)))
        << m_box.Read("err.txt");

    std::string out;
    EXPECT_EQ(Run({"runs"}, out), 0) << m_err;
    EXPECT_NE(out.find("running"), std::string::npos) << out;
    std::vector<std::string> resume = UpgradeArgs({cam});
    resume.push_back("--resume");
    EXPECT_EQ(Run(resume, out), 2) << out << m_err;
    EXPECT_NE(m_err.find("is going on in another process"), std::string::npos) << m_err;
    EXPECT_EQ(m_fleet.CountEvents(cam.mac, "login_ok"), 1) << "only the first process's";

    ASSERT_TRUE(child.Kill());
    ASSERT_TRUE(child.Wait(seconds(30)).has_value());
    EXPECT_EQ(Run({"runs"}, out), 0) << m_err;
    EXPECT_EQ(out.find("running"), std::string::npos) << out;
    EXPECT_NE(out.find("unfinished"), std::string::npos) << out;
}

// A desktop session's process (XDG_RUNTIME_DIR set) and an ssh, cron or sudo
// one (not set), each with the machine's camera locks: the second finds the
// camera taken while the first transfers to it, and nothing of it reaches
// the camera.
TEST_F(CliRolloutTest, ProcessesWithAndWithoutARuntimeFolderNeverUpgradeOneCameraTogether) {
    std::string problem;
    if (!PrepareCameraLockFolder("", problem)) {
        GTEST_SKIP() << "the machine's lock folder is not usable here: " << problem;
    }
    auto cam = Camera(1);
    cam.faults.stopAcksAtBlock = 40;  // the first transfer stalls there
    ASSERT_TRUE(StartFleet({cam}));
    std::vector<std::string> args = UpgradeArgs({cam});
    args.insert(args.begin(), {"--set", "WaitUpgradeProgressTimeout=600"});
    const std::vector<std::string> targets = TargetArgs();
    args.insert(args.end(), targets.begin(), targets.end());
    CHILD_OPTIONS desktop;
    desktop.program =
        platform::PathCombine(platform::ExecutableFolder(), "../src/cli/firmhand-cli");
    desktop.args = args;  // no lock folder of the test's own
    desktop.env = {"XDG_RUNTIME_DIR=" + m_box.File("runtime")};
    desktop.cwd = m_box.Path();
    desktop.errPath = m_box.File("err.txt");
    CChildProcess child;
    ASSERT_TRUE(child.Start(desktop, problem)) << problem;
    ASSERT_TRUE(testing_support::WaitFor(
        [&] { return m_fleet.CountEvents(cam.mac, "acks_stopped") > 0; }, seconds(120)))
        << m_box.Read("err.txt");

    m_options.cameraLockFolder.clear();
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = runtime != nullptr ? runtime : "";
    unsetenv("XDG_RUNTIME_DIR");
    std::string out;
    const int status = Run(UpgradeArgs({cam}), out);
    if (runtime != nullptr) {
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    }
    EXPECT_NE(status, 0) << out << m_err;
    EXPECT_NE(out.find("Upgraded elsewhere right now"), std::string::npos) << out << m_err;
    EXPECT_EQ(m_fleet.CountEvents(cam.mac, "login_ok"), 1) << "only the first process's";

    ASSERT_TRUE(child.Kill());
    ASSERT_TRUE(child.Wait(seconds(30)).has_value());
    std::filesystem::remove(std::string(kMachineCameraLockFolder) + "/" + CameraLockName(cam.mac) +
                            ".lock");
}

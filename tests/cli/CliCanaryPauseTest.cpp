// firmhand-cli's canaries and pause: --canary refused before any search
// when it asks for none, --canary 2 upgrading two cameras of a model before
// the rest, and SIGUSR1 or "p" typed on its terminal pausing a running
// upgrade and letting it go on.
#include <gtest/gtest.h>
#include <signal.h>

#include <set>
#include <sstream>

#include "CliFixture.h"
#include "CliProcess.h"
#include "ProgressView.h"

namespace {

using std::chrono::seconds;

// Cameras in the order the fleet's log first shows `kind` for them.
std::vector<std::string> InOrderOf(const CSimFleet& fleet, const std::string& kind) {
    std::vector<std::string> macs;
    std::set<std::string> seen;
    for (const SimEvent& event : fleet.Events()) {
        if (event.kind == kind && seen.insert(event.mac).second) {
            macs.push_back(event.mac);
        }
    }
    return macs;
}

int FirstEvent(const std::vector<SimEvent>& events, const std::string& mac, const std::string& kind,
               int from = 0) {
    for (int i = from; i < static_cast<int>(events.size()); ++i) {
        if (events[i].mac == mac && events[i].kind == kind) {
            return i;
        }
    }
    return -1;
}

class CliCanaryPauseTest : public CliFixture {
protected:
    // The journal has the camera's final result.
    bool HasResult(const std::string& mac) const {
        std::istringstream lines(Journals());
        for (std::string line; std::getline(lines, line);) {
            if (line.find("\"mac\":\"" + mac + "\"") != std::string::npos &&
                line.find("\"event\":\"result\"") != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    // Three cameras upgraded one at a time, `toggle` pausing the run while
    // the first runs and letting it go on once that one ended.
    void PauseAndGoOn(const std::function<void(CChildProcess&)>& toggle,
                      const std::string& inPath) {
        std::vector<SimCameraConfig> cameras;
        for (int n = 1; n <= 3; ++n) {
            cameras.push_back(Camera(n));
            // Each stays away after flashing until the test lets it back.
            cameras.back().faults.neverReturn = true;
        }
        ASSERT_TRUE(StartFleet(cameras));
        std::vector<std::string> args = UpgradeAll({"--parallel", "1", "--seconds", "1"});
        args.insert(args.begin(), {"--set", "WaitRebootTimeout=600"});
        CChildProcess child;
        ASSERT_TRUE(StartChild(child, args, inPath));
        const auto waitFor = [&](const std::function<bool()>& done) {
            return testing_support::WaitFor(done, seconds(120));
        };

        // One camera runs (one at a time): it cannot end before the test lets
        // it back, so nothing else starts before the pause.
        std::string first;
        ASSERT_TRUE(waitFor([&] {
            const auto started = InOrderOf(m_fleet, "connect");
            first = started.empty() ? "" : started.front();
            return !first.empty();
        })) << m_box.Read("err.txt");
        toggle(child);
        ASSERT_TRUE(
            WaitForText("out.txt", "Paused: no further camera starts; running ones finish ("))
            << m_box.Read("out.txt");
        ASSERT_TRUE(waitFor([&] { return m_fleet.State(first)->phase == "offline"; }));
        ASSERT_TRUE(m_fleet.SetOnline(first, true));
        ASSERT_TRUE(waitFor([&] { return HasResult(first); })) << m_box.Read("out.txt");
        for (const SimCameraConfig& cam : cameras) {
            if (cam.mac != first) {
                EXPECT_EQ(m_fleet.CountEvents(cam.mac, "connect"), 0)
                    << cam.mac << " started while paused";
            }
        }

        // The status says how to go on; a key only when it is read.
        EXPECT_NE(m_box.Read("out.txt").find(inPath.empty() ? "finish (SIGUSR1: go on)"
                                                            : "(p or SIGUSR1: go on)"),
                  std::string::npos)
            << m_box.Read("out.txt");
        toggle(child);
        // Each camera is let back once it fell silent after flashing.
        ASSERT_TRUE(waitFor([&] {
            for (const SimCameraConfig& cam : cameras) {
                if (m_fleet.State(cam.mac)->phase == "offline") {
                    m_fleet.SetOnline(cam.mac, true);
                }
            }
            return !child.Running();
        })) << m_box.Read("out.txt");
        EXPECT_EQ(ExitStatus(child, seconds(10)), 0) << ChildOutput();
        for (const SimCameraConfig& cam : cameras) {
            EXPECT_EQ(m_fleet.State(cam.mac)->upgradesCompleted, 1) << cam.mac;
        }
    }
};

}  // namespace

TEST(ProgressView, PausedStatusClosesTheLiveViewWithinTheTerminal) {
    std::vector<CameraOutcome> outcomes(30);
    for (size_t i = 0; i < outcomes.size(); ++i) {
        outcomes[i].mac = "02:CC:00:00:00:" + std::to_string(10 + i);
    }
    const std::string paused = "Paused: no further camera starts; running ones finish";
    for (const TerminalSize size :
         {TerminalSize{80, 24}, TerminalSize{30, 3}, TerminalSize{80, 1}}) {
        const std::vector<std::string> lines = LiveLines(outcomes, size, paused);
        ASSERT_FALSE(lines.empty());
        EXPECT_LE(lines.size(), static_cast<size_t>(std::max(size.rows - 1, 1)));
        if (size.rows >= 3) {
            EXPECT_EQ(lines.back().substr(0, 7), "Paused:") << size.columns;
            EXPECT_NE(lines[lines.size() - 2].find("queued"), std::string::npos);
        }
    }
    EXPECT_EQ(LiveLines(outcomes, {80, 24}).size(), LiveLines(outcomes, {80, 24}, paused).size())
        << "the status takes a camera's line, not one more";
}

TEST_F(CliCanaryPauseTest, CanaryOfNoCameraIsRefusedBeforeAnySearch) {
    ASSERT_TRUE(StartFleet({Camera(1)}));
    const std::string package = NewStylePackage(m_box);
    std::vector<std::pair<std::vector<std::string>, std::string>> cases;
    for (const auto& [value, message] :
         {std::pair{"0", "--canary 0: a canary needs at least 1 camera per model"},
          std::pair{"x", "--canary x: a whole number of cameras per model, 1 to 1000"},
          std::pair{"1001", "1 to 1000"}}) {
        cases.push_back({{"--package", package, "--all", "--yes", "--canary", value}, message});
    }
    ExpectRefusedBeforeAnySearch(cases);
}

TEST_F(CliCanaryPauseTest, TwoCanariesComeBackUpgradedBeforeTheOthersStart) {
    ASSERT_TRUE(StartFleet({Camera(1), Camera(2), Camera(3), Camera(4)}));
    std::string out;
    ASSERT_EQ(Run(UpgradeAll({"--canary", "2"}), out), 0) << out << m_err;
    const std::vector<SimEvent> events = m_fleet.Events();
    const std::vector<std::string> order = InOrderOf(m_fleet, "connect");
    ASSERT_EQ(order.size(), 4u);
    for (size_t canary = 0; canary < 2; ++canary) {
        const int back = FirstEvent(events, order[canary], "online",
                                    FirstEvent(events, order[canary], "flash_start"));
        ASSERT_GE(back, 0) << order[canary];
        for (size_t other = 2; other < 4; ++other) {
            EXPECT_GT(FirstEvent(events, order[other], "connect"), back) << order[other];
        }
    }
    EXPECT_NE(out.find("Waiting for the canary"), std::string::npos) << out;
    EXPECT_NE(Journals().find("\"event\":\"canary\""), std::string::npos);

    // "--canary" alone takes one camera per model.
    ASSERT_EQ(Run({"upgrade", "--package", NewStylePackage(m_box), "--canary", "--all",
                   "--password", "secret", "--yes", "--force"},
                  out),
              0)
        << m_err;
    EXPECT_NE(Journals().find("\"count\":1"), std::string::npos);
}

TEST_F(CliCanaryPauseTest, UserSignalPausesTheUpgradeAndASecondOneLetsItGoOn) {
    PauseAndGoOn([](CChildProcess& child) { ASSERT_EQ(::kill(child.Pid(), SIGUSR1), 0); }, "");
}

TEST_F(CliCanaryPauseTest, PTypedOnTheTerminalPausesTheUpgradeAndGoesOn) {
    CTestTerminal terminal;
    ASSERT_TRUE(terminal.Open());
    PauseAndGoOn([&](CChildProcess&) { ASSERT_TRUE(terminal.Type("p")); }, terminal.Device());
}

// The program as a technician runs it, on a display that goes away in the
// middle of a batch. Qt's xcb plugin then ends the process with exit(1) from
// the window thread; the window's threads (the busy picture's animation runs
// all the time) must be stopped before exit() destroys the statics they use.
// The program must end by that exit, not by a signal, and leave no crash dump.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "GuiSimSupport.h"
#include "platform/Paths.h"
#include "support/ChildProcess.h"
#include "support/Netns.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::CSandbox;
using testing_support::WaitFor;

constexpr int kCameras = 3;
// Generous: the machine may be busy with builds, the programs may carry
// sanitizers.
constexpr auto kStartLimit = 120s;
// How long the program may take to end once the display is gone.
constexpr auto kExitLimit = 30s;

std::string BuiltProgram(const std::string& relative) {
    const std::string path = platform::ExecutableFolder() + "/../" + relative;
    return platform::PathFileExists(path) ? path : std::string();
}

int Occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

int LineCount(const std::string& text) {
    return Occurrences(text, "\n");
}

// "ip:searchPort,..." from the simulator's lines "MAC IP DATA HTTP SEARCH".
std::string SearchTargets(const std::string& fleetLines) {
    std::istringstream lines(fleetLines);
    std::string mac, ip, data, http, search, targets;
    while (lines >> mac >> ip >> data >> http >> search) {
        targets += (targets.empty() ? "" : ",") + ip + ":" + search;
    }
    return targets;
}

// The executable under a second name in the sandbox: crash dumps go beside
// the executable, so they land there rather than in the build tree.
bool PlaceProgram(const std::string& program, const std::string& target) {
    std::error_code error;
    fs::create_hard_link(program, target, error);
    if (error) {
        error.clear();
        fs::copy_file(program, target, error);
    }
    return !error;
}

std::vector<std::string> DumpFiles(const std::string& folder) {
    std::vector<std::string> dumps;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
        if (entry.path().extension() == ".dmp") {
            dumps.push_back(entry.path().string());
        }
    }
    return dumps;
}

class XServerLossTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_xvfb = FindOnPath("Xvfb");
        m_window = BuiltProgram("src/gui/firmhand");
        m_simulator = BuiltProgram("tools/sim/firmhand-sim");
        if (m_xvfb.empty()) {
            GTEST_SKIP() << "Xvfb is not installed (scripts/bootstrap installs it)";
        }
        if (m_window.empty() || m_simulator.empty()) {
            GTEST_SKIP() << "firmhand and firmhand-sim are not built";
        }
    }

    // Everything the programs leave: their output, the log, the events.
    std::string Report() const {
        std::string report;
        for (const char* name : {"gui.err", "gui.out", "sim.err", "xvfb.err"}) {
            report += std::string("--- ") + name + "\n" + m_sandbox.Read(name);
        }
        const std::string log = m_sandbox.Read("data/KMR/logs/firmhand.log");
        report +=
            "--- firmhand.log (end)\n" + log.substr(log.size() > 4000 ? log.size() - 4000 : 0);
        return report;
    }

    void RunBatchAndLoseTheDisplay();

    CSandbox m_sandbox;
    std::string m_xvfb;
    std::string m_window;
    std::string m_simulator;
};

void XServerLossTest::RunBatchAndLoseTheDisplay() {
    const std::string folder = m_sandbox.Path();
    for (const char* sub : {"bin", "data", "run"}) {
        fs::create_directories(folder + "/" + sub);
    }
    const std::string window = folder + "/bin/firmhand";
    ASSERT_TRUE(PlaceProgram(m_window, window));
    const std::string package = CGuiSimSetup::WritePackage(m_sandbox.File("firmware.bin"));

    // The cameras take the first blocks and then stop acknowledging: the
    // batch waits for block 5's acknowledgement for a minute, so it is
    // still running when the display goes. Each camera has a second address
    // of its own on the loopback's subnet (shared ones make the window ask
    // before upgrading).
    std::string fleet = R"({"searchPort": 0,
        "defaults": {"password": "739518", "flashMs": 60000, "offlineMs": 60000,
                     "faults": {"stopAcksAtBlock": 5}},
        "cameras": [{"mac": "02:5A:0B:00:00:01", "ip": "127.NET.196.1", "ip2": "127.NET.197.1",
                     "mask2": "255.0.0.0", "repeat": COUNT}]})";
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"NET", std::to_string(CurrentProcessId() % 200 + 20)},
          {"COUNT", std::to_string(kCameras)}}) {
        for (size_t at = fleet.find(from); at != std::string::npos; at = fleet.find(from)) {
            fleet.replace(at, from.size(), to);
        }
    }
    m_sandbox.Write("fleet.json", fleet);
    std::string error;
    CHILD_OPTIONS simulatorRun;
    simulatorRun.program = m_simulator;
    simulatorRun.args = {"--fleet", m_sandbox.File("fleet.json"), "--events",
                         m_sandbox.File("events.jsonl")};
    simulatorRun.outPath = m_sandbox.File("fleet.txt");
    simulatorRun.errPath = m_sandbox.File("sim.err");
    CChildProcess simulator;
    ASSERT_TRUE(simulator.Start(simulatorRun, error)) << error;
    ASSERT_TRUE(
        WaitFor([&] { return LineCount(m_sandbox.Read("fleet.txt")) >= kCameras; }, kStartLimit))
        << Report();

    // A display of its own; Xvfb writes the number it took to descriptor 3.
    CHILD_OPTIONS xvfbRun;
    xvfbRun.program = m_xvfb;
    xvfbRun.args = {"-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten", "tcp"};
    xvfbRun.errPath = m_sandbox.File("xvfb.err");
    xvfbRun.fd3Path = m_sandbox.File("display");
    CChildProcess xvfb;
    ASSERT_TRUE(xvfb.Start(xvfbRun, error)) << error;
    ASSERT_TRUE(WaitFor([&] { return LineCount(m_sandbox.Read("display")) >= 1; }, kStartLimit))
        << Report();
    const std::string number = m_sandbox.Read("display");
    const std::string display = ":" + number.substr(0, number.find('\n'));

    // The window selects every camera and presses Upgrade once all are
    // listed (the hidden --auto-start).
    CHILD_OPTIONS guiRun;
    guiRun.program = window;
    guiRun.args = {
        "--adapter", "",      "--search-targets", SearchTargets(m_sandbox.Read("fleet.txt")),
        "--package", package, "--auto-start",     std::to_string(kCameras)};
    // The X display rather than the tests' off-screen one, the log at its
    // usual level, Qt's messages on standard error.
    guiRun.env = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"};
    guiRun.env.push_back("XDG_DATA_HOME=" + folder + "/data");
    guiRun.env.push_back("FIRMHAND_LOG_LEVEL=1");
    guiRun.env.push_back("QT_FORCE_STDERR_LOGGING=1");
    guiRun.env.push_back("LANGUAGE=en");
    guiRun.env.push_back("LC_ALL=C.UTF-8");
    // Ended by exit() in the middle of its run, the program leaves Qt's
    // objects (its D-Bus connection among them) undestroyed: a leak check
    // there tells nothing, and the sanitizer build would abort on it.
    const char* asan = std::getenv("ASAN_OPTIONS");
    guiRun.env.push_back("ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") +
                         ":detect_leaks=0");
    guiRun.cwd = folder + "/run";
    guiRun.outPath = m_sandbox.File("gui.out");
    guiRun.errPath = m_sandbox.File("gui.err");
    CChildProcess gui;
    ASSERT_TRUE(gui.Start(guiRun, error)) << error;
    // The display goes once every camera has stopped acknowledging: the
    // batch is running, its threads waiting for acknowledgements. (Those
    // threads are the session's to stop; the moment keeps this test on the
    // threads of the window.)
    ASSERT_TRUE(WaitFor(
        [&] {
            return Occurrences(m_sandbox.Read("events.jsonl"), R"("event":"acks_stopped")") >=
                       kCameras ||
                   !gui.Running();
        },
        kStartLimit))
        << "the batch did not reach block 5 on every camera\n"
        << Report();
    ASSERT_TRUE(gui.Running()) << "the window ended before the display went\n" << Report();

    ASSERT_TRUE(xvfb.Terminate());
    const std::optional<CHILD_EXIT> ended = gui.Wait(kExitLimit);
    ASSERT_TRUE(ended.has_value()) << "the window still runs without its display\n" << Report();
    EXPECT_FALSE(ended->signalled) << "the window died of signal " << ended->code << "\n"
                                   << Report();
    for (const std::string& dump : DumpFiles(folder)) {
        ADD_FAILURE() << "crash dump " << dump << ":\n"
                      << m_sandbox.Read(fs::relative(dump, folder).string()).substr(0, 6000);
    }
    // Qt's message came through, and the guard stopped our threads first.
    EXPECT_NE(m_sandbox.Read("gui.err").find("The X11 connection broke"), std::string::npos)
        << Report();
    EXPECT_NE(m_sandbox.Read("data/KMR/logs/firmhand.log").find("stopping our threads"),
              std::string::npos)
        << Report();
    const std::string errors = m_sandbox.Read("gui.err");
    EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << Report();
    EXPECT_EQ(errors.find("runtime error"), std::string::npos) << Report();
}

}  // namespace

TEST_F(XServerLossTest, WindowEndsWithoutACrashWhenTheDisplayDiesDuringABatch) {
    // The window adds a link-local route when it starts searching: as root
    // it must do that in a network of its own, which the programs share with
    // the thread that starts them. Elsewhere the route is refused anyway.
    if (!testing_support::CNetns::IsRoot()) {
        RunBatchAndLoseTheDisplay();
        return;
    }
    testing_support::CNetns netns;
    ASSERT_TRUE(netns.Ok()) << netns.Error();
    ASSERT_TRUE(netns.Run([this] { RunBatchAndLoseTheDisplay(); }));
}

// firmhand-cli against simulated cameras: a sandboxed settings and log
// folder, a fleet of cameras on loopback, and the CLI run in this process.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "SimFleet.h"
#include "session/SessionOptions.h"
#include "support/TestSupport.h"

// The text of every run journal of the sandbox's runs folder.
std::string RunJournals(const testing_support::CSandbox& box);

class CliFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Camera n of this test process, on its own loopback addresses.
    SimCameraConfig Camera(int n) const;
    // "--target HOST:PORT" for every camera of the fleet.
    std::vector<std::string> TargetArgs() const;

    // Runs firmhand-cli in this process with the fleet as search targets
    // and one second of search; returns the exit status, the standard
    // output in `out` and the standard error in m_err.
    int Run(std::vector<std::string> args, std::string& out);
    // As Run, with `args` as they are (after the log options).
    int RunArgs(const std::vector<std::string>& args, std::string& out);

    // Adds `cameras` to the fleet and starts it.
    bool StartFleet(const std::vector<SimCameraConfig>& cameras);
    // "upgrade" of every camera found with the new-style package, the
    // password "secret" and no question, then `extra`.
    std::vector<std::string> UpgradeAll(const std::vector<std::string>& extra = {});
    // Starts firmhand-cli as a child process with `args` and the fleet as
    // search targets, its output in the sandbox's out.txt and err.txt.
    bool StartChild(CChildProcess& child, std::vector<std::string> args,
                    const std::string& inPath = "");
    // Starts firmhand-cli as a child as StartChild does, and kills it
    // (SIGKILL) once `until` holds or it ended: whether `until` held.
    bool KillChildWhen(const std::vector<std::string>& args, const std::function<bool()>& until);
    // The exit status of `child` once it ended within `limit`; -1 when it
    // did not, 1000 + the signal's number when a signal ended it.
    static int ExitStatus(CChildProcess& child,
                          std::chrono::seconds limit = std::chrono::seconds(60));
    // What the child started by StartChild wrote, for failure messages.
    std::string ChildOutput() const { return m_box.Read("out.txt") + m_box.Read("err.txt"); }
    // Waits (two minutes at most) for `text` in the sandbox's file `name`.
    bool WaitForText(const std::string& name, const std::string& text) const;
    std::string Journals() const { return RunJournals(m_box); }
    // The text of every log file the runs wrote.
    std::string LogFilesText() const;
    // Each case (the arguments after "upgrade", a part of its message) ends
    // with status 2 and the message, and no camera answered a search.
    void ExpectRefusedBeforeAnySearch(
        const std::vector<std::pair<std::vector<std::string>, std::string>>& cases);

    testing_support::CSandbox m_box;
    std::unique_ptr<testing_support::CScopedEnv> m_xdg;
    std::unique_ptr<testing_support::CScopedEnv> m_state;  // run journals
    CSimFleet m_fleet;
    SESSION_OPTIONS m_options;  // short timings for in-process runs
    std::string m_err;
};

// A package the cameras take: new style, 5000 bytes of payload.
std::string NewStylePackage(const testing_support::CSandbox& box);
// A JSON report's row of the camera, from its MAC to the end of its object.
std::string Row(const std::string& report, const std::string& mac);
// The "status" of the camera's row of a JSON report, "" without a row.
std::string StatusOf(const std::string& report, const std::string& mac);

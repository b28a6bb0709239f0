// firmhand-cli against simulated cameras: a sandboxed settings and log
// folder, a fleet of cameras on loopback, and the CLI run in this process.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "SimFleet.h"
#include "session/SessionOptions.h"
#include "support/TestSupport.h"

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

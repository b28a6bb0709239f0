// firmhand-cli auto-test: the automatic upgrade test of the window, without
// it. One camera is upgraded back and forth between two packages for a
// number of rounds; each round waits for the camera to come back and checks
// the build it came back with, then waits the test's delay. The camera, the
// packages, their builds and the delay come from the settings
// ("AutoUpgradeDeviceMac", "UpgradePackage1", ...) unless given here.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "CliContext.h"

struct AutoTestOptions {
    std::string mac;  // "" = the setting's
    std::string package1;
    std::string package2;
    std::string build1;  // the build package 1 gives; "" = the setting's
    std::string build2;
    std::string delayMs;  // "" = the setting's
    int rounds = 2;
    std::vector<std::string> targets;
    std::string adapter;
    double seconds = 3;
    std::string user;
    std::string password;
    bool userGiven = false;
    bool passwordGiven = false;
};

// Bounds of --rounds.
constexpr int kMaxAutoTestRounds = 10000;

// Exit status: 0 when every round upgraded the camera and it came back with
// the build expected (when one is known); 1 when a round did not; 2 for a
// refused batch or missing packages; 3 when the camera is not found; 130
// when a stop signal came first (a running batch is cancelled first).
int RunAutoTest(const AutoTestOptions& options, const CliContext& context, std::ostream& out,
                std::ostream& err);

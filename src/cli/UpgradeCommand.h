// firmhand-cli upgrade: scan, choose cameras, run one batch with live
// progress, print (and optionally write) each camera's result.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "CameraChoice.h"
#include "CliContext.h"
#include "RolloutInput.h"

struct UpgradeOptions {
    RolloutInput rollout;  // packages, credentials, limits
    CameraChoice cameras;
    std::string user;      // "" = the remembered user name
    std::string password;  // "" = the remembered password
    bool userGiven = false;
    bool passwordGiven = false;
    bool passwordTyped = false;  // asked on the terminal: it may be remembered
    bool remember = false;       // without a keyring, in the settings file
    double seconds = 3;
    std::vector<std::string> targets;
    bool onlyTargets = false;  // choose among the cameras at the targets only
    std::string adapter;
    bool yes = false;                  // answers the questions before the batch
    std::vector<std::string> reports;  // FILE.json, FILE.csv or FILE.html, any of them
    // For the HTML report handed over; "" leaves the field out.
    std::string site;
    std::string customer;
    std::string technician;
    bool reachability = true;
    bool force = false;   // upgrade cameras that are already current
    bool resume = false;  // continue the newest unfinished run
    bool dryRun = false;  // print the plan, start nothing
    // --wait-for-missing: how long the batch waits for named cameras the
    // search has not found ("" and 0: it does not).
    std::string waitForMissing;
    int waitSeconds = 0;
    // The words typed after the program's name, for the command that
    // resumes an interrupted run.
    std::vector<std::string> commandLine;
};

// Shows the chosen cameras and asks once (unless `yes`) before the batch.
// Exit status: 0 when every camera was upgraded or skipped as current (or
// the plan was printed); 1 when any other ended; 2 when
// the batch did not start; 3 when no camera, or not each chosen one, was
// found; 130 when a stop signal came (a running batch is cancelled and
// reported first).
int RunUpgrade(const UpgradeOptions& options, const CliContext& context, std::ostream& out,
               std::ostream& err);

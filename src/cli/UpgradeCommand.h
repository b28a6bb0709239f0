// firmhand-cli upgrade: scan, choose cameras, run one batch with live
// progress, print (and optionally write) each camera's result.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "CameraChoice.h"
#include "CliContext.h"

struct UpgradeOptions {
    std::string package;
    CameraChoice cameras;
    std::string user;      // "" = the remembered user name
    std::string password;  // "" = the remembered password
    bool userGiven = false;
    bool passwordGiven = false;
    double seconds = 3;
    std::vector<std::string> targets;
    std::string adapter;
    bool yes = false;    // answers the questions before the batch
    std::string report;  // FILE.json or FILE.csv
    bool reachability = true;
};

// Shows the chosen cameras and asks once (unless `yes`) before the batch.
// Exit status: 0 when every camera was upgraded; 1 when any failed; 2 when
// the batch did not start; 3 when no camera, or not each chosen one, was
// found; 130 when a stop signal came (a running batch is cancelled and
// reported first).
int RunUpgrade(const UpgradeOptions& options, const CliContext& context, std::ostream& out,
               std::ostream& err);

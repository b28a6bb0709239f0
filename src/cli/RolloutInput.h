// The rollout values of `firmhand-cli upgrade`, checked before any search:
// packages by model, the credentials file, the failure limit, the number
// of cameras in flight and the report whose failed cameras are retried.
#pragma once

#include <string>
#include <vector>

#include "model/DeviceSInfo.h"
#include "session/SessionTypes.h"

struct ReportCamera {
    std::string mac;
    std::string ip;
    std::string package;  // "" when the row names none
};

struct RolloutInput {
    std::vector<std::string> packages;  // [MODEL=]FILE as typed
    std::string credentials;
    std::string parallel;     // "" = the "MaxParallelUpgrades" setting
    std::string maxFailures;  // "" = no limit
    std::string canary;       // "N"; "" with `canaryGiven` means 1
    bool canaryGiven = false;
    std::string retryFailed;  // a report of an earlier run
    bool retryBusy = false;   // also its cameras upgraded elsewhere at the time

    // Filled by CheckRolloutInput.
    std::vector<BatchPackage> parsedPackages;
    FailureLimit failureLimit;
    int canaryCount = 0;  // canaries per model; 0: off
    std::vector<std::string> retryMacs;
    // The report's rows of those cameras: address and package, by MAC.
    std::vector<ReportCamera> retryCameras;
};

// "" when every value is right, else what is wrong with the first wrong one.
std::string CheckRolloutInput(RolloutInput& input);

// The MACs whose status is "failed" (and "busy" with `withBusy`) in a
// report of `firmhand-cli upgrade` (JSON). "" on success, else why the
// report cannot be used.
std::string FailedCamerasOfReport(const std::string& path, std::vector<std::string>& macs,
                                  bool withBusy = false, std::vector<ReportCamera>* rows = nullptr);

// The packages of a retry: those of the report's rows, each for the model
// of its camera as found now (one package alone serves every model).
std::vector<BatchPackage> PackagesOfReport(const std::vector<ReportCamera>& rows,
                                           const std::vector<DeviceInfoPtr>& found);

// The rollout values of `firmhand-cli upgrade`, checked before any search:
// packages by model, the credentials file, the failure limit, the number
// of cameras in flight and the report whose failed cameras are retried.
#pragma once

#include <string>
#include <vector>

#include "upgrade/RolloutPlan.h"

struct RolloutInput {
    std::vector<std::string> packages;  // [MODEL=]FILE as typed
    std::string credentials;
    std::string parallel;     // "" = the "MaxParallelUpgrades" setting
    std::string maxFailures;  // "" = no limit
    std::string retryFailed;  // a report of an earlier run

    // Filled by CheckRolloutInput.
    std::vector<BatchPackage> parsedPackages;
    FailureLimit failureLimit;
    std::vector<std::string> retryMacs;
};

// "" when every value is right, else what is wrong with the first wrong one.
std::string CheckRolloutInput(RolloutInput& input);

// The MACs whose status is "failed" in a report of `firmhand-cli upgrade`
// (JSON). "" on success, else why the report cannot be used.
std::string FailedCamerasOfReport(const std::string& path, std::vector<std::string>& macs);

// The package a camera of `model` gets ("" when none).
std::string PackagePathForModel(const std::vector<BatchPackage>& packages,
                                const std::string& model);

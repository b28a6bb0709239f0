// What a rollout decides for each camera before anything is contacted:
// which package it gets, or why it is skipped, and which credentials are
// tried for it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/BatchPackage.h"
#include "model/DeviceSInfo.h"
#include "model/ResultCode.h"
#include "upgrade/CredentialsFile.h"
#include "upgrade/UpgradePackage.h"

// Stop starting cameras once the failed ones pass `value` (a count, or a
// percentage of the cameras to upgrade). A negative value sets no limit.
struct FailureLimit {
    int value = -1;
    bool percent = false;

    bool IsSet() const { return value >= 0; }
    bool IsPassed(int failed, int total) const {
        if (!IsSet()) {
            return false;
        }
        return percent ? failed * 100 > value * total : failed > value;
    }
};

// Bound of a batch's canaries per model.
constexpr int kMaxCanary = 1000;

// Parses "N" or "N%" (N from 0; a percentage up to 100). False on anything else.
bool ParseFailureLimit(const std::string& text, FailureLimit& limit);
// Parses "[MODEL=]FILE". A lone "=" or an empty file is refused.
bool ParsePackageArgument(const std::string& text, BatchPackage& package);

struct ROLLOUT_PACKAGE {
    std::string model;
    UpgradePackagePtr package;
};

// Reads every package and applies the checks that hold for every camera.
// Several packages of one model (or several for every camera) form an
// upgrade path: `loaded` holds each model's packages in release order of
// the versions their file names carry (see UpgradePathOrder.h), whatever
// the order given. False with `error` naming the file (or the model) and
// `openFailed` telling a file that could not be read from one that is
// wrong.
bool LoadRolloutPackages(const std::vector<BatchPackage>& packages,
                         std::vector<ROLLOUT_PACKAGE>& loaded, std::string& error,
                         bool& openFailed);

// The upgrade path of a camera's model, by PackageForModel: the packages
// of its model, else those for every camera, in release order; empty for
// none.
std::vector<UpgradePackagePtr> LoadedPathForModel(const std::vector<ROLLOUT_PACKAGE>& packages,
                                                  const std::string& model);
// The last package of that path; null for none.
UpgradePackagePtr LoadedPackageForModel(const std::vector<ROLLOUT_PACKAGE>& packages,
                                        const std::string& model);

// True when the camera already runs the package's version: the package's
// file name holds both its software version text and its build number
// (the rule that also decides success after an upgrade).
bool IsAlreadyCurrent(const DEVICE_S_INFO& record, const std::string& packageFileName);

// True when the camera runs a newer version than the one the package's file
// name carries, in the order of FirmwareVersion.h: the version texts first,
// the builds when the texts are equal and both builds are known. False when
// either version cannot be read (a name without one, a camera's text that
// does not start with numbers joined by dots): nothing is known to go back.
bool RunsNewerThanPackage(const DEVICE_S_INFO& record, const std::string& packageFileName);

struct CameraPlan {
    DeviceInfoPtr record;
    UpgradePackagePtr package;  // the last package of its path; null when skipped
    // Its model's whole upgrade path (one package without a path), and the
    // index of the step it starts with: the one after the last step whose
    // version it already runs (the first with `force`).
    std::vector<UpgradePackagePtr> path;
    size_t firstStep = 0;
    std::optional<UpgradeResult> skipCode;  // the final result of a skipped camera
    // It runs a newer version than `package`, which it is sent all the same.
    bool downgrade = false;
    std::vector<CameraCredential> credentials;
};

// The planned cameras that would be downgraded, in plan order.
std::vector<const CameraPlan*> DowngradedCameras(const std::vector<CameraPlan>& plans);

CameraPlan PlanCamera(const DeviceInfoPtr& record, const std::vector<ROLLOUT_PACKAGE>& packages,
                      bool force, const std::vector<CREDENTIAL_ENTRY>& entries,
                      const std::string& user, const std::string& password);

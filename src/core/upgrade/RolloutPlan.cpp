#include "upgrade/RolloutPlan.h"

#include <cctype>

#include "model/DeviceText.h"
#include "model/FirmwareVersion.h"
#include "model/UpgradePathOrder.h"
#include "upgrade/UpgradeResult.h"

bool ParseFailureLimit(const std::string& text, FailureLimit& limit) {
    std::string digits = text;
    const bool percent = !digits.empty() && digits.back() == '%';
    if (percent) {
        digits.pop_back();
    }
    if (digits.empty() || digits.size() > 6) {
        return false;
    }
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    const int value = std::stoi(digits);
    if (percent && value > 100) {
        return false;
    }
    limit.value = value;
    limit.percent = percent;
    return true;
}

bool ParsePackageArgument(const std::string& text, BatchPackage& package) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
        package = {"", text};
    } else {
        package = {text.substr(0, equals), text.substr(equals + 1)};
        if (package.model.empty()) {
            return false;
        }
    }
    return !package.path.empty();
}

bool LoadRolloutPackages(const std::vector<BatchPackage>& packages,
                         std::vector<ROLLOUT_PACKAGE>& loaded, std::string& error,
                         bool& openFailed) {
    loaded.clear();
    openFailed = false;
    std::vector<BatchPackage> ordered;
    if (!OrderUpgradePaths(packages, ordered, error)) {
        return false;
    }
    for (const BatchPackage& entry : ordered) {
        auto package = std::make_shared<CUpgradePackage>();
        if (!package->Load(entry.path, &error)) {
            openFailed = true;
            return false;
        }
        if (const std::string problem = package->Problem(); !problem.empty()) {
            error = entry.path + ": " + problem;
            return false;
        }
        loaded.push_back({entry.model, package});
    }
    return true;
}

std::vector<UpgradePackagePtr> LoadedPathForModel(const std::vector<ROLLOUT_PACKAGE>& packages,
                                                  const std::string& model) {
    std::vector<UpgradePackagePtr> path;
    if (const ROLLOUT_PACKAGE* entry = PackageForModel(packages, model)) {
        for (const ROLLOUT_PACKAGE& step : packages) {
            if (step.model == entry->model) {
                path.push_back(step.package);
            }
        }
    }
    return path;
}

UpgradePackagePtr LoadedPackageForModel(const std::vector<ROLLOUT_PACKAGE>& packages,
                                        const std::string& model) {
    const std::vector<UpgradePackagePtr> path = LoadedPathForModel(packages, model);
    return path.empty() ? nullptr : path.back();
}

bool IsAlreadyCurrent(const DEVICE_S_INFO& record, const std::string& packageFileName) {
    const std::string version = FieldString(record.softwareVer);
    return !version.empty() && packageFileName.find(version) != std::string::npos &&
           packageFileName.find(std::to_string(record.build)) != std::string::npos;
}

bool RunsNewerThanPackage(const DEVICE_S_INFO& record, const std::string& packageFileName) {
    const std::optional<PackageVersion> package = PackageVersionOfName(packageFileName);
    const std::string running = FieldString(record.softwareVer);
    const std::optional<PackageVersion> camera = PackageVersionOfName(running);
    // "4.0.3-rc1" reads as 4.0.3; "V4.0.3" or "dev" is not read at all.
    if (!package || !camera || running.rfind(camera->text, 0) != 0) {
        return false;
    }
    if (const int c = CompareFirmwareVersions(camera->text, package->text); c != 0) {
        return c > 0;
    }
    return package->build > 0 && record.build > package->build;
}

std::vector<const CameraPlan*> DowngradedCameras(const std::vector<CameraPlan>& plans) {
    std::vector<const CameraPlan*> downgraded;
    for (const CameraPlan& plan : plans) {
        if (plan.downgrade) {
            downgraded.push_back(&plan);
        }
    }
    return downgraded;
}

CameraPlan PlanCamera(const DeviceInfoPtr& record, const std::vector<ROLLOUT_PACKAGE>& packages,
                      bool force, const std::vector<CREDENTIAL_ENTRY>& entries,
                      const std::string& user, const std::string& password) {
    CameraPlan plan;
    plan.record = record;
    plan.path = LoadedPathForModel(packages, FieldString(record->productModel));
    if (plan.path.empty()) {
        plan.skipCode = UpgradeResult::NoPackageForModel;
        return plan;
    }
    plan.package = plan.path.back();
    // It starts after the last step whose version it already runs.
    for (size_t step = plan.path.size(); !force && step > 0; --step) {
        if (IsAlreadyCurrent(*record, plan.path[step - 1]->FileName())) {
            plan.firstStep = step;
            break;
        }
    }
    if (plan.firstStep == plan.path.size()) {
        plan.skipCode = UpgradeResult::AlreadyCurrent;
        plan.package = nullptr;
    } else {
        plan.downgrade = RunsNewerThanPackage(*record, plan.package->FileName());
        plan.credentials = CredentialsFor(entries, *record, user, password);
    }
    return plan;
}

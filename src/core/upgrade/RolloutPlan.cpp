#include "upgrade/RolloutPlan.h"

#include <cctype>
#include <set>

#include "model/DeviceText.h"
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
    std::set<std::string> models;
    for (const BatchPackage& entry : packages) {
        if (!models.insert(entry.model).second) {
            error = entry.model.empty() ? "more than one package for every model"
                                        : "more than one package for model " + entry.model;
            return false;
        }
    }
    for (const BatchPackage& entry : packages) {
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

UpgradePackagePtr LoadedPackageForModel(const std::vector<ROLLOUT_PACKAGE>& packages,
                                        const std::string& model) {
    const ROLLOUT_PACKAGE* entry = PackageForModel(packages, model);
    return entry != nullptr ? entry->package : nullptr;
}

bool IsAlreadyCurrent(const DEVICE_S_INFO& record, const std::string& packageFileName) {
    const std::string version = FieldString(record.softwareVer);
    return !version.empty() && packageFileName.find(version) != std::string::npos &&
           packageFileName.find(std::to_string(record.build)) != std::string::npos;
}

CameraPlan PlanCamera(const DeviceInfoPtr& record, const std::vector<ROLLOUT_PACKAGE>& packages,
                      bool force, const std::vector<CREDENTIAL_ENTRY>& entries,
                      const std::string& user, const std::string& password) {
    CameraPlan plan;
    plan.record = record;
    plan.package = LoadedPackageForModel(packages, FieldString(record->productModel));
    if (!plan.package) {
        plan.skipCode = UPGRADE_NO_PACKAGE_FOR_MODEL;
    } else if (!force && IsAlreadyCurrent(*record, plan.package->FileName())) {
        plan.skipCode = UPGRADE_ALREADY_CURRENT;
        plan.package = nullptr;
    } else {
        plan.credentials = CredentialsFor(entries, *record, user, password);
    }
    return plan;
}

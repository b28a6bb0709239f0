#include "model/UpgradePathOrder.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "model/FirmwareVersion.h"

namespace {

std::string FileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::string ModelWords(const std::string& model) {
    return model.empty() ? "every model" : "model " + model;
}

struct PathStep {
    BatchPackage package;
    PackageVersion version;
};

// One model's packages in release order, or false with `error`.
bool OrderPath(const std::string& model, const std::vector<BatchPackage>& given,
               std::vector<BatchPackage>& ordered, std::string& error) {
    if (given.size() == 1) {
        ordered.push_back(given.front());
        return true;
    }
    std::vector<PathStep> steps;
    for (const BatchPackage& package : given) {
        const std::optional<PackageVersion> version =
            PackageVersionOfName(FileNameOf(package.path));
        if (!version) {
            error = "several packages for " + ModelWords(model) + ", but the file name of " +
                    package.path + " carries no version to order them by (such as 4.0.3_230119)";
            return false;
        }
        steps.push_back({package, *version});
    }
    std::stable_sort(steps.begin(), steps.end(), [](const PathStep& a, const PathStep& b) {
        return ComparePackageVersions(a.version, b.version) < 0;
    });
    for (size_t i = 1; i < steps.size(); ++i) {
        const PathStep& before = steps[i - 1];
        const PathStep& after = steps[i];
        if (ComparePackageVersions(before.version, after.version) == 0) {
            error = "two packages for " + ModelWords(model) + " have the same version " +
                    after.version.Shown() + ": " + before.package.path + " and " +
                    after.package.path;
            return false;
        }
        if (before.version.build != 0 && after.version.build != 0 &&
            after.version.build < before.version.build) {
            error = "the upgrade path for " + ModelWords(model) +
                    " goes down: " + after.package.path + " (" + after.version.Shown() +
                    ") has a newer version " + "but an older build than " + before.package.path +
                    " (" + before.version.Shown() + ")";
            return false;
        }
    }
    for (const PathStep& step : steps) {
        ordered.push_back(step.package);
    }
    return true;
}

}  // namespace

bool OrderUpgradePaths(const std::vector<BatchPackage>& packages,
                       std::vector<BatchPackage>& ordered, std::string& error) {
    ordered.clear();
    std::vector<std::string> models;
    for (const BatchPackage& package : packages) {
        if (std::find(models.begin(), models.end(), package.model) == models.end()) {
            models.push_back(package.model);
        }
    }
    for (const std::string& model : models) {
        std::vector<BatchPackage> given;
        std::copy_if(packages.begin(), packages.end(), std::back_inserter(given),
                     [&](const BatchPackage& package) { return package.model == model; });
        if (!OrderPath(model, given, ordered, error)) {
            return false;
        }
    }
    return true;
}

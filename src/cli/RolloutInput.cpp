#include "RolloutInput.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "InputCheck.h"
#include "upgrade/CredentialsFile.h"
#include "upgrade/UpgradePackage.h"

namespace {

constexpr size_t kMaxReportBytes = 64u << 20;

}  // namespace

std::string CheckRolloutInput(RolloutInput& input) {
    std::set<std::string> models;
    for (const std::string& text : input.packages) {
        BatchPackage package;
        if (!ParsePackageArgument(text, package)) {
            return "--package " + text + ": expected FILE or MODEL=FILE";
        }
        if (!models.insert(package.model).second) {
            return package.model.empty()
                       ? "more than one --package without a model; name each one's MODEL="
                       : "more than one --package for model " + package.model;
        }
        if (std::string problem = CheckPackageFile(package.path); !problem.empty()) {
            return problem;
        }
        input.parsedPackages.push_back(package);
    }
    if (!input.credentials.empty()) {
        std::vector<CREDENTIAL_ENTRY> entries;
        std::string error;
        if (!LoadCredentialsFile(input.credentials, entries, error)) {
            return error;
        }
    }
    if (!input.parallel.empty()) {
        if (!CheckSetting("MaxParallelUpgrades", input.parallel).empty()) {
            return "--parallel " + input.parallel + ": a whole number from 1 to 64";
        }
    }
    if (!input.maxFailures.empty() && !ParseFailureLimit(input.maxFailures, input.failureLimit)) {
        return "--max-failures " + input.maxFailures + ": expected N or N% (0 to 100%)";
    }
    if (!input.retryFailed.empty()) {
        if (std::string problem = FailedCamerasOfReport(input.retryFailed, input.retryMacs);
            !problem.empty()) {
            return problem;
        }
        if (input.retryMacs.empty()) {
            return "--retry-failed " + input.retryFailed + ": the report lists no failed camera";
        }
    }
    return "";
}

std::string FailedCamerasOfReport(const std::string& path, std::vector<std::string>& macs) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return "--retry-failed " + path + ": cannot be read";
    }
    std::string text(kMaxReportBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    if (text.size() > kMaxReportBytes) {
        return "--retry-failed " + path + ": larger than 64 MiB";
    }
    try {
        const nlohmann::json report = nlohmann::json::parse(text);
        for (const nlohmann::json& row : report.at("results")) {
            if (row.at("status").get<std::string>() == "failed") {
                macs.push_back(row.at("mac").get<std::string>());
            }
        }
    } catch (const std::exception& problem) {
        return "--retry-failed " + path + ": not a JSON report of firmhand-cli (" + problem.what() +
               ")";
    }
    return "";
}

std::string PackagePathForModel(const std::vector<BatchPackage>& packages,
                                const std::string& model) {
    std::string common;
    for (const BatchPackage& package : packages) {
        if (!package.model.empty() && package.model == model) {
            return package.path;
        }
        if (package.model.empty()) {
            common = package.path;
        }
    }
    return common;
}

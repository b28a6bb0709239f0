#include "RolloutInput.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <set>

#include "InputCheck.h"
#include "model/DeviceText.h"
#include "model/MacAddress.h"
#include "model/UpgradePathOrder.h"
#include "session/SessionFiles.h"
#include "session/SessionTypes.h"

namespace {

constexpr size_t kMaxReportBytes = 64u << 20;

// "--canary" alone is one camera per model; 0 is refused rather than taken
// for "off", which leaving the option out already says.
std::string CheckCanary(const std::string& text, int& count) {
    if (text.empty()) {
        count = 1;
        return "";
    }
    const bool digits = text.size() <= 4 && std::all_of(text.begin(), text.end(), [](char c) {
                            return std::isdigit(static_cast<unsigned char>(c)) != 0;
                        });
    count = digits ? std::stoi(text) : -1;
    if (count == 0) {
        return "--canary 0: a canary needs at least 1 camera per model (leave --canary out for "
               "none)";
    }
    if (count < 1 || count > kMaxCanary) {
        return "--canary " + text + ": a whole number of cameras per model, 1 to " +
               std::to_string(kMaxCanary);
    }
    return "";
}

}  // namespace

std::string CheckRolloutInput(RolloutInput& input) {
    for (const std::string& text : input.packages) {
        BatchPackage package;
        if (!ParsePackageArgument(text, package)) {
            return "--package " + text + ": expected FILE or MODEL=FILE";
        }
        if (std::string problem = CheckPackageFile(package.path); !problem.empty()) {
            return problem;
        }
        input.parsedPackages.push_back(package);
    }
    // Several packages of one model are its upgrade path, in version order.
    std::vector<BatchPackage> ordered;
    if (std::string problem; !OrderUpgradePaths(input.parsedPackages, ordered, problem)) {
        return "--package: " + problem;
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
    if (input.canaryGiven) {
        if (std::string problem = CheckCanary(input.canary, input.canaryCount); !problem.empty()) {
            return problem;
        }
    }
    if (!input.retryFailed.empty()) {
        if (std::string problem = FailedCamerasOfReport(input.retryFailed, input.retryMacs,
                                                        input.retryBusy, &input.retryCameras);
            !problem.empty()) {
            return problem;
        }
        // The report's packages serve unless --package says otherwise.
        if (input.packages.empty()) {
            for (const ReportCamera& row : input.retryCameras) {
                if (row.package.empty()) {
                    continue;
                }
                if (std::string problem = CheckPackageFile(row.package); !problem.empty()) {
                    return "--retry-failed " + input.retryFailed + ": " + problem;
                }
            }
        }
        if (input.retryMacs.empty()) {
            return "--retry-failed " + input.retryFailed + ": the report lists no failed camera";
        }
    }
    return "";
}

std::string FailedCamerasOfReport(const std::string& path, std::vector<std::string>& macs,
                                  bool withBusy, std::vector<ReportCamera>* rows) {
    std::string text;
    bool tooLarge = false;
    if (!platform::ReadFileAtMost(path, kMaxReportBytes, text, tooLarge)) {
        return "--retry-failed " + path + (tooLarge ? ": larger than 64 MiB" : ": cannot be read");
    }
    try {
        const nlohmann::json report = nlohmann::json::parse(text);
        for (const nlohmann::json& row : report.at("results")) {
            const std::string status = row.at("status").get<std::string>();
            if (status == "failed" || (withBusy && status == "busy")) {
                macs.push_back(row.at("mac").get<std::string>());
                if (rows != nullptr) {
                    rows->push_back({macs.back(), row.value("ip", std::string()),
                                     row.value("package", std::string())});
                }
            }
        }
    } catch (const std::exception&) {
        // In words, not the parser's: what the file should have been.
        return "--retry-failed " + path +
               ": not a report of firmhand-cli upgrade (the JSON file that --report FILE.json "
               "writes, with a list of cameras under \"results\")";
    }
    return "";
}

std::vector<BatchPackage> PackagesOfReport(const std::vector<ReportCamera>& rows,
                                           const std::vector<DeviceInfoPtr>& found) {
    std::set<std::string> paths;
    for (const ReportCamera& row : rows) {
        if (!row.package.empty()) {
            paths.insert(row.package);
        }
    }
    if (paths.size() <= 1) {
        return paths.empty() ? std::vector<BatchPackage>{}
                             : std::vector<BatchPackage>{{"", *paths.begin()}};
    }
    std::vector<BatchPackage> packages;
    std::set<std::string> models;
    for (const ReportCamera& row : rows) {
        for (const DeviceInfoPtr& record : found) {
            if (!row.package.empty() && SameMac(row.mac, record->mac) &&
                models.insert(FieldString(record->productModel)).second) {
                packages.push_back({FieldString(record->productModel), row.package});
            }
        }
    }
    return packages;
}

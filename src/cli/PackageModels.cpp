#include "PackageModels.h"

#include <strings.h>

#include <set>

#include "model/DeviceText.h"

std::string MatchPackageModels(std::vector<BatchPackage>& packages,
                               const std::vector<DeviceInfoPtr>& chosen) {
    std::set<std::string> models;
    for (const DeviceInfoPtr& record : chosen) {
        models.insert(FieldString(record->productModel));
    }
    for (BatchPackage& package : packages) {
        if (package.model.empty()) {
            continue;
        }
        bool matched = false;
        for (const std::string& model : models) {
            if (strcasecmp(model.c_str(), package.model.c_str()) == 0) {
                package.model = model;
                matched = true;
                break;
            }
        }
        if (!matched) {
            std::string found;
            for (const std::string& model : models) {
                found += (found.empty() ? "" : ", ") + (model.empty() ? "(no model)" : model);
            }
            return "--package " + package.model + "=" + package.path +
                   ": no chosen camera is of model " + package.model + " (models of the chosen " +
                   "cameras: " + (found.empty() ? "none" : found) + ")";
        }
    }
    return "";
}

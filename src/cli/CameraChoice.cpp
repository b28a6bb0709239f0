#include "CameraChoice.h"

#include <strings.h>

#include <algorithm>
#include <ostream>

#include "model/MacAddress.h"

namespace {

bool Listed(const std::vector<DeviceInfoPtr>& chosen, const std::string& mac) {
    return std::any_of(chosen.begin(), chosen.end(),
                       [&](const DeviceInfoPtr& r) { return SameMac(r->mac, mac); });
}

}  // namespace

std::vector<DeviceInfoPtr> ChooseCameras(const std::vector<DeviceInfoPtr>& found,
                                         const CameraChoice& choice, std::ostream& err,
                                         bool* missing) {
    if (choice.all) {
        return found;
    }
    std::vector<DeviceInfoPtr> chosen;
    if (!choice.models.empty()) {
        for (const std::string& model : choice.models) {
            const bool any = std::any_of(found.begin(), found.end(), [&](const DeviceInfoPtr& r) {
                return strcasecmp(model.c_str(), r->productModel) == 0;
            });
            if (!any) {
                err << "firmhand-cli: no camera of model " << model << " was found\n";
                if (missing != nullptr) {
                    *missing = true;
                }
            }
        }
        std::copy_if(
            found.begin(), found.end(), std::back_inserter(chosen), [&](const DeviceInfoPtr& r) {
                return std::any_of(choice.models.begin(), choice.models.end(),
                                   [&](const std::string& model) {
                                       return strcasecmp(model.c_str(), r->productModel) == 0;
                                   });
            });
        return chosen;
    }
    for (const std::string& mac : choice.macs) {
        const auto record = std::find_if(found.begin(), found.end(), [&](const DeviceInfoPtr& r) {
            return SameMac(r->mac, mac);
        });
        if (record == found.end()) {
            err << "firmhand-cli: camera " << mac << " was not found\n";
            if (missing != nullptr) {
                *missing = true;
            }
        } else if (!Listed(chosen, mac)) {
            chosen.push_back(*record);
        }
    }
    return chosen;
}

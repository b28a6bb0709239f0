#include "CameraChoice.h"

#include <algorithm>
#include <ostream>

#include "session/DeviceTable.h"

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
    if (!choice.model.empty()) {
        std::copy_if(found.begin(), found.end(), std::back_inserter(chosen),
                     [&](const DeviceInfoPtr& r) { return choice.model == r->productModel; });
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

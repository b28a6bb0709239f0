#include "session/AwaitedCameraProbe.h"

#include <algorithm>
#include <cstring>

#include "discovery/LanProbeSearch.h"
#include "model/DeviceText.h"
#include "upgrade/UpgradeEngine.h"

std::vector<std::string> AwaitedCameraAddresses(const CUpgradeEngine& engine) {
    std::vector<std::string> addresses;
    for (const DeviceInfoPtr& device : engine.AwaitedDevices()) {
        if (!device) {
            continue;
        }
        for (std::string address : {FieldString(device->ip), FieldString(device->ip2)}) {
            if (!address.empty() && address != "0.0.0.0" &&
                std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
                addresses.push_back(std::move(address));
            }
        }
    }
    return addresses;
}

void ProbeAwaitedCameras(CLanProbeSearch& search, const CUpgradeEngine* engine) {
    if (engine == nullptr) {
        search.SetDirectedTargets(nullptr, 0);
        return;
    }
    search.SetDirectedTargets([engine] { return AwaitedCameraAddresses(*engine); },
                              kAwaitedProbeIntervalMs);
}

#include "discovery/NetInterfaces.h"

#include "app/Settings.h"

std::vector<NetInterface> SelectSearchInterfaces(const std::vector<NetInterface>& all,
                                                 const std::string& adapterName) {
    std::vector<NetInterface> chosen;
    for (const NetInterface& itf : all) {
        if (!itf.up || itf.address == 0) {
            continue;
        }
        if (adapterName.empty() || itf.name == adapterName) {
            chosen.push_back(itf);
        }
    }
    return chosen;
}

bool HasLiveInterface(const std::vector<NetInterface>& all) {
    for (const NetInterface& itf : all) {
        if (itf.up && itf.running && !itf.loopback && itf.address != 0) {
            return true;
        }
    }
    return false;
}

bool IsNetworkAlive() {
    if (settings::GetString(settings::kSearchTargets).find_first_not_of(" \t,") !=
        std::string::npos) {
        return true;
    }
    return HasLiveInterface(EnumIPv4Interfaces());
}

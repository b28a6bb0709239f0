// What a front-end decides for one run of the core: where to search, which
// settings to override, how the network is changed. Passed to the session,
// never set in process-wide state.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "reach/Reachability.h"
#include "upgrade/UpgradeDeviceClient.h"
#include "upgrade/UpgradeTimings.h"

struct SESSION_OPTIONS {
    // The interface to search on ("eth0"), or "" for every interface.
    std::string adapter;
    // Extra unicast search targets "host[:port]", after those of the
    // "SearchTargets" setting.
    std::vector<std::string> searchTargets;
    // Settings keys with values for this run only (--set KEY=VALUE).
    std::map<std::string, std::string> settingOverrides;
    UpgradeTimings timings;
    // Search round interval in ms; 0 keeps the usual 5 s rounds.
    int searchRoundIntervalMs = 0;
    // Makes cameras reachable (link-local route, added addresses); null
    // takes cameras at their listed addresses and changes nothing.
    std::shared_ptr<IReachability> reachability;
    // Empty: the cameras' real protocol client.
    UpgradeClientFactory clientFactory;
    // Where the per-camera locks live; "": the machine's, shared by every
    // Firmhand process.
    std::string cameraLockFolder;
    // Where run journals are written; "": $XDG_STATE_HOME/firmhand/runs.
    std::string runsFolder;
    // The site inventory to record the cameras seen and the upgrade steps
    // in; "" records nothing (the default, so that tests never write into a
    // real home).
    std::string inventoryPath;
    // The site they are recorded under; "": the subnet of `adapter`, else
    // each camera's subnet.
    std::string inventorySite;
    // Tests: journal lines for which this holds fail as on a full disk.
    std::function<bool(const std::string& line)> journalWriteFails;
};

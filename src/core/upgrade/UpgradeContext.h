// What the workers of one batch share: the package (read only), the
// credentials typed when the batch started, the settings and timings of the
// run, the job table and the way to the front-end.
#pragma once

#include <memory>
#include <string>

#include "app/MessageSink.h"
#include "app/SettingsView.h"
#include "upgrade/UpgradeDeviceClient.h"
#include "upgrade/UpgradeJobs.h"
#include "upgrade/UpgradePackage.h"
#include "upgrade/UpgradeTimings.h"

struct CBatchContext {
    UpgradePackagePtr package;
    std::string user;
    std::string password;
    CSettingsView settings;
    UpgradeTimings timings;
    MessageSinkPtr sink;
    std::shared_ptr<CUpgradeJobTable> jobs;
    UpgradeClientFactory clientFactory;
    std::string cameraLockFolder;  // "": the machine's
};

using BatchContextPtr = std::shared_ptr<const CBatchContext>;

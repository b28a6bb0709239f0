// What the workers of one batch share: the package (read only), the
// credentials typed when the batch started, the settings and timings of the
// run, the job table and the way to the front-end.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/MessageSink.h"
#include "app/SettingsView.h"
#include "upgrade/UpgradeDeviceClient.h"
#include "upgrade/UpgradeJobs.h"
#include "upgrade/UpgradePackage.h"
#include "upgrade/UpgradeTimings.h"

class CRunJournal;

struct CBatchContext {
    // The package of the camera at hand (each worker has its own copy of
    // the context with its camera's package; the data is shared).
    UpgradePackagePtr package;
    std::string user;
    std::string password;
    CSettingsView settings;
    UpgradeTimings timings;
    MessageSinkPtr sink;
    std::shared_ptr<CUpgradeJobTable> jobs;
    UpgradeClientFactory clientFactory;
    std::string cameraLockFolder;  // "": the machine's
    // The run's journal; null when none is kept.
    std::shared_ptr<CRunJournal> journal;
    // Told when a camera took the typed user and password: the engine
    // remembers them once per batch, so no worker waits for the settings
    // file. Null: nothing is remembered.
    std::function<void()> typedLoginAccepted;
};

using BatchContextPtr = std::shared_ptr<const CBatchContext>;

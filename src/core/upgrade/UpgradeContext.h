// What the workers of one batch share: the package (read only), the
// credentials typed when the batch started, the job table and the way to
// the front-end.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "app/MessageSink.h"
#include "upgrade/UpgradeDeviceClient.h"
#include "upgrade/UpgradeJobs.h"
#include "upgrade/UpgradePackage.h"

struct CBatchContext {
    UpgradePackagePtr package;
    std::string user;
    std::string password;
    MessageSinkPtr sink;
    std::shared_ptr<CUpgradeJobTable> jobs;
    UpgradeClientFactory clientFactory;
    // Workers still running (they end by themselves; tests wait on this).
    std::shared_ptr<std::atomic<int>> runningWorkers;
};

using BatchContextPtr = std::shared_ptr<const CBatchContext>;

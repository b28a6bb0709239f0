// What the main window needs of the upgrade engine. The window checks the
// user's choice (package chosen, 1 to 32 cameras, shared slave addresses)
// and shows the engine's results; the engine owns the job table, reads the
// package and runs one worker per camera. Workers report through the
// window's message sink (WM_UPGRADE_PROGRESS, WM_UPGRADE_RESULT).
#pragma once

#include <string>
#include <vector>

#include "app/WindowMessages.h"
#include "discovery/DeviceSInfo.h"

struct UPGRADE_BATCH_REQUEST {
    std::vector<DEVICE_S_INFO> devices;  // the checked rows, top to bottom
    std::string packagePath;             // file-system encoding
    std::string userName;
    std::string password;
};

enum class BatchStartResult {
    Started,            // the jobs run; every job ends with a final result
    PackageOpenFailed,  // the package file could not be read; nothing runs
};

class IUpgradeController {
public:
    virtual ~IUpgradeController() = default;

    // Called on the window thread once the window's checks have passed:
    // makes the cameras reachable, builds one job per device, reads the
    // package and starts the workers. A worker that cannot start ends its
    // job with result 1 (posted like any other result).
    virtual BatchStartResult StartBatch(const UPGRADE_BATCH_REQUEST& request) = 0;
    // A job exists for the MAC (letter case as in the record).
    virtual bool HasJob(const std::string& mac) = 0;
    // No job is left whose final result is still to come (true when the
    // table is empty).
    virtual bool AllJobsFinished() = 0;
    // Asks every job to stop and empties the table; does not wait.
    virtual void CancelAllJobs() = 0;
    // A search report (found or changed) for a camera; a job of that camera
    // takes the new record and, for "found" while it waits, wakes up.
    virtual void ApplySearchReport(DeviceNotifyKind kind, const DEVICE_S_INFO& record) = 0;
};

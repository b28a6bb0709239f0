// What the main window needs of the upgrade engine. The window checks the
// user's choice (package chosen, 1 to 32 cameras, shared slave addresses)
// and shows the engine's results; the engine owns the job table, reads the
// package and runs one worker per camera. Workers report through the
// window's message sink (WM_UPGRADE_PROGRESS, WM_UPGRADE_RESULT).
#pragma once

#include <string>
#include <vector>

#include "app/WindowMessages.h"
#include "model/DeviceSInfo.h"

struct UPGRADE_BATCH_REQUEST {
    std::vector<DEVICE_S_INFO> devices;  // the checked rows, top to bottom
    std::string packagePath;             // file-system encoding
    std::string userName;
    std::string password;
};

class IUpgradeController {
public:
    virtual ~IUpgradeController() = default;

    // Called on the window thread once the window's checks have passed:
    // makes the cameras reachable, builds one job per device, writes the
    // "upgrade package" log line, reads the package and starts the workers.
    // Returns 0 when the jobs run (each then ends with a final result);
    // otherwise nothing runs, and a positive value is the string id of the
    // message that says why (1018 when the package cannot be read).
    virtual int StartBatch(const UPGRADE_BATCH_REQUEST& request) = 0;
    // A job exists for the MAC (letter case as in the record).
    virtual bool HasJob(const std::string& mac) = 0;
    // Called after the row shows a result. True when no job's final result
    // is still to come: the batch is over and the job table has been
    // emptied (every job cancelled).
    virtual bool OnUpgradeResult(int code, const std::string& mac) = 0;
    // Asks every job to stop and empties the table; does not wait.
    virtual void CancelAllJobs() = 0;
    // A search report (found or changed) for a camera; a job of that camera
    // takes the new record and, for "found" while it waits, wakes up.
    virtual void OnSearchReport(DeviceNotifyKind kind, const DEVICE_S_INFO& record) = 0;
};

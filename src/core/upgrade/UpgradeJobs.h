// Upgrade jobs: the record that follows one camera through one batch, and
// the job table of the running batch keyed by the camera's MAC text.
//
// Lock order: the table lock, then a job's device lock. A predicate run by
// ForEachJob may take a job's device lock but must not call into the table;
// a worker never holds a device lock while calling into the table.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "model/DeviceSInfo.h"
#include "platform/Pub.h"
#include "upgrade/CredentialsFile.h"
#include "upgrade/UpgradePackage.h"

struct UpgradeInfo {
    explicit UpgradeInfo(DeviceInfoPtr record) : device(std::move(record)) {}

    // A copy of the current record pointer, taken under the device lock.
    DeviceInfoPtr Device() const;
    // Replaces the record (search reports, on the front-end's thread).
    void ReplaceDevice(DeviceInfoPtr record);

    // Sets `cancelled` and wakes whatever the job's worker waits on: its
    // pauses, the wait for its camera, the wait for the other cameras.
    void Cancel();
    // Pauses the worker for `ms`; false (at once) when the job is cancelled.
    bool PauseUnlessCancelled(uint32_t ms);
    // Stopped by Cancel: a wait that cannot look at `cancelled` (a reply,
    // a send) registers a std::stop_callback that ends it.
    std::stop_token StopToken() const { return m_stop.get_token(); }

    // Set before the job's worker starts, then read only.
    UpgradePackagePtr package;  // the package for the camera's model
    // Its model's upgrade path and the index of the step it starts with;
    // each step is verified before the next one starts. Empty: `package`
    // is the one step.
    std::vector<UpgradePackagePtr> path;
    size_t firstStep = 0;
    std::vector<CameraCredential> credentials;  // tried in order on a refused login
    // A resumed run's camera whose last block may have reached it: its
    // record as the run's journal had it before the package went out. The
    // camera is waited for and verified against that version before it is
    // ever sent the package again. Null for every other job.
    DeviceInfoPtr mayBeFlashingFrom;

    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> waitingForDevice{false};
    // Auto-reset; set when the camera is found again while waitingForDevice.
    // Created by the upgrade procedure and dropped at its end.
    std::shared_ptr<CPUB_Event> deviceEvent;
    mutable CPUB_Lock eventLock;  // guards the deviceEvent pointer itself

    std::shared_ptr<CPUB_Event> DeviceEvent() const;
    void SetDeviceEvent(std::shared_ptr<CPUB_Event> event);

private:
    CPUB_Event m_stopEvent{true, false};  // set once, by Cancel
    std::stop_source m_stop;
    mutable CPUB_Lock deviceLock;
    DeviceInfoPtr device;
};

using UpgradeInfoPtr = std::shared_ptr<UpgradeInfo>;

class CUpgradeJobTable {
public:
    // Inserts the job under its record's MAC (replacing a job with that
    // MAC). False when the job has no record.
    bool addJob(const UpgradeInfoPtr& job);
    UpgradeInfoPtr findJob(const std::string& mac) const;
    size_t jobCount() const;
    // Calls `predicate` for each job in key order until it returns false.
    // Returns false only when no predicate was given.
    bool forEachJob(const std::function<bool(const UpgradeInfoPtr&)>& predicate) const;
    // Cancels every job (waking its worker), then empties the table.
    void cancelAllJobs();

    // A search report about a camera (kind 0 found, 1 changed): the job of
    // that MAC gets a fresh copy of the record; "found" also wakes a job
    // that waits for its camera.
    void OnSearchReport(int notifyKind, const DEVICE_S_INFO& record);

    // True when no job has `finished` clear (an empty table counts).
    bool AllJobsFinished() const;

private:
    mutable CPUB_Lock jobsLock;
    std::map<std::string, UpgradeInfoPtr> upgradeJobs;  // by MacKey
};

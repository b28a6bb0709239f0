// The batch upgrade run: decides whether a batch may start, then makes the
// cameras reachable, builds one job per camera and runs one worker per job,
// all on threads it owns. StartBatch returns at once; the batch reports
// through the sink (WM_BATCH_PREPARED per camera, the workers' progress and
// results, WM_BATCH_END once every final result was posted).
//
// Threads: one coordinator per batch, which starts the workers and joins
// them; CancelAll wakes every wait; the destructor cancels and joins.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/MessageSink.h"
#include "app/SettingsView.h"
#include "reach/Reachability.h"
#include "upgrade/UpgradeContext.h"

// Why a batch did not start, each with the message the front-end shows.
enum class BatchStartResult {
    Started,
    AlreadyRunning,      // 1005 "Upgrading, Please wait...."
    NoPackage,           // 1026 "Please select the upgrade file!"
    NoDevice,            // 1027 "Please select at least one device!"
    TooManyDevices,      // 1047 "Batch update supports maximum 32 pieces ..."
    DuplicatesDeclined,  // the technician did not confirm 1071
    OpenFailed,          // 1018 "Failed to open the file!"
    PackageInvalid,      // 1019 "Upgrade package error!": wrong for every camera
    ThreadFailed,        // 1021: the batch's thread could not be started
};

// The string id of the message box for a refusal; 0 for Started and
// DuplicatesDeclined.
int BatchStartMessageId(BatchStartResult result);

constexpr size_t kMaxBatchDevices = 32;

struct BatchRequest {
    // Records of the checked rows, in list order.
    std::vector<DeviceInfoPtr> devices;
    std::string packagePath;
    std::string user;
    std::string password;
    // Asked on the caller's thread when slave addresses repeat, with the
    // MACs of the cameras that share one; true continues. Without it the
    // batch continues.
    std::function<bool(const std::vector<std::string>& duplicateMacs)> confirmDuplicates;
};

struct ENGINE_OPTIONS {
    CSettingsView settings;
    UpgradeTimings timings;
    // Makes each camera reachable before its job is built; null: cameras
    // are taken at their listed addresses.
    std::shared_ptr<IReachability> reachability;
    UpgradeClientFactory clientFactory;  // empty: the cameras' real client
    // Where the per-camera locks live; "": the machine's, shared by every
    // Firmhand process (tests give a folder of their own).
    std::string cameraLockFolder;
};

class CUpgradeEngine {
public:
    CUpgradeEngine(MessageSinkPtr sink, ENGINE_OPTIONS options);
    // Cancels a running batch and joins every thread it started.
    ~CUpgradeEngine();
    CUpgradeEngine(const CUpgradeEngine&) = delete;
    CUpgradeEngine& operator=(const CUpgradeEngine&) = delete;

    // Every refusal is decided here, before anything is changed or
    // contacted; then the batch runs on its own threads.
    BatchStartResult StartBatch(const BatchRequest& request);
    // What exactly the last refusal refers to (the package's file and the
    // reason), or "" (the message id says it all). The caller's thread.
    const std::string& RefusalDetail() const { return m_refusalDetail; }
    // From a successful StartBatch until just before WM_BATCH_END is posted.
    bool IsUpgrading() const { return m_upgrading.load(); }

    // A search report (found or changed) for a camera, on any thread: its
    // job takes the new record and, for "found" while it waits, wakes up.
    void OnSearchReport(int notifyKind, const DEVICE_S_INFO& record);
    // A job of the running batch exists for the MAC (letter case as listed).
    bool HasJob(const std::string& mac) const;
    // The package of the last started batch (null before the first).
    UpgradePackagePtr Package() const;

    // Cancels the running batch, on any thread: cameras not yet prepared are
    // left alone, every waiting worker wakes at once, every transfer stops
    // at its next block. The batch still ends with WM_BATCH_END.
    void CancelAll();
    // Waits up to `timeoutMs` until no batch runs and its threads are
    // joined. True when none runs.
    bool WaitForBatchEnd(int timeoutMs);

private:
    struct CBatchRun;
    void RunBatch(const std::shared_ptr<CBatchRun>& run);
    // Hands the reachability's notice, if any, to the sink.
    void PostReachNotice();
    void StartWorkers(const std::shared_ptr<CBatchRun>& run, std::vector<std::thread>& workers);
    std::shared_ptr<CBatchRun> CurrentRun() const;

    MessageSinkPtr m_sink;
    ENGINE_OPTIONS m_options;
    std::atomic<bool> m_upgrading{false};
    std::string m_refusalDetail;  // the StartBatch caller's thread

    mutable std::mutex m_mutex;  // guards the members below
    std::shared_ptr<CBatchRun> m_run;
    UpgradePackagePtr m_package;
    std::thread m_coordinator;  // started and joined by the owner's thread
    CPUB_Event m_ended{true, true};
};

// The batch upgrade run: decides whether a batch may start and plans each
// camera (its package by model, skipped when current, its credentials);
// then queues the cameras and keeps at most "MaxParallelUpgrades" of them
// in flight, each made reachable and run by a worker of its own, on threads
// it owns. Every step is written to the run's journal first, so that a run
// killed at any instant can be resumed. StartBatch returns at once; the
// batch reports through the sink (a result per skipped camera, "Queued" per
// queued one, WM_BATCH_PREPARED per started camera, the workers' progress
// and results, WM_BATCH_END once every final result was posted).
//
// Threads: one coordinator per batch, which starts the workers and joins
// them; CancelAll wakes every wait; the destructor cancels and joins.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/MessageSink.h"
#include "app/SettingsView.h"
#include "reach/Reachability.h"
#include "upgrade/RolloutPlan.h"
#include "upgrade/UpgradeContext.h"

// Why a batch did not start, each with the message the front-end shows.
enum class BatchStartResult {
    Started,
    AlreadyRunning,      // 1005 "Upgrading, Please wait...."
    NoPackage,           // 1026 "Please select the upgrade file!"
    NoDevice,            // 1027 "Please select at least one device!"
    DuplicatesDeclined,  // the technician did not confirm 1071
    OpenFailed,          // 1018 "Failed to open the file!"
    PackageInvalid,      // 1019 "Upgrade package error!": wrong for every camera,
                         // two for one model, or a model no chosen camera has
    ThreadFailed,        // 1021: the batch's thread could not be started
    CredentialsInvalid,  // 1081: the credentials file is refused
    RunUnreadable,       // 1082: the run to resume cannot be read
    RunInUse,            // 1084: another process drives the run to resume
    LockFolderRefused,   // 1086: the camera locks' folder is not safe to use
};

// The string id of the message box for a refusal; 0 for Started and
// DuplicatesDeclined.
int BatchStartMessageId(BatchStartResult result);

// Bounds of the "MaxParallelUpgrades" setting.
constexpr int kMinParallelUpgrades = 1;
constexpr int kMaxParallelUpgrades = 64;

struct BatchRequest {
    // Records of the checked rows, in list order; any number.
    std::vector<DeviceInfoPtr> devices;
    // One package for every camera; ignored when `packages` is not empty.
    std::string packagePath;
    // Packages by model ("" for every camera without its own).
    std::vector<BatchPackage> packages;
    std::string user;
    std::string password;
    // The password was typed by the technician (not read from a file, the
    // environment or a setting): it is remembered once a camera takes it,
    // in the keyring, or without one in the owner-only user settings file
    // when `rememberInSettingsFile` (the technician agreed).
    bool rememberLogin = false;
    bool rememberInSettingsFile = false;
    // "MATCH USER PASSWORD" lines tried before the typed credentials; "" none.
    std::string credentialsFile;
    // Upgrades cameras that already run the package's version.
    bool force = false;
    // No further camera starts once the failed ones pass it.
    FailureLimit maxFailures;
    // The journal of an unfinished run to continue; "" starts a new run.
    std::string resumeRun;
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
    // Where run journals are written; "": the user's state folder.
    std::string runsFolder;
    // Tests: journal lines for which this holds fail as on a full disk.
    std::function<bool(const std::string& line)> journalWriteFails;
    // The newest search record of a camera, or null; any thread. The
    // caller updates it before it passes the report to OnSearchReport.
    std::function<DeviceInfoPtr(const std::string& mac)> currentRecord;
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
    // The same checks and plan as StartBatch, without starting anything or
    // writing a journal: Started with a plan per camera, or the refusal.
    BatchStartResult DryRun(const BatchRequest& request, std::vector<CameraPlan>& plans);
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
    // The records of the cameras whose jobs wait for them to show up again
    // (any thread; the search thread probes them directly).
    std::vector<DeviceInfoPtr> AwaitedDevices() const;
    // The package of the last started batch for cameras without one of
    // their own model (the first one when every package names a model);
    // null before the first batch.
    UpgradePackagePtr Package() const;
    // The journal of the running or last batch ("" before the first).
    std::string RunJournalPath() const;

    // Cancels the running batch, on any thread: cameras not yet prepared are
    // left alone, every waiting worker wakes at once, every transfer stops
    // at its next block. The batch still ends with WM_BATCH_END.
    void CancelAll();
    // Waits up to `timeoutMs` until no batch runs and its threads are
    // joined. True when none runs.
    bool WaitForBatchEnd(int timeoutMs);

private:
    struct CBatchRun;
    BatchStartResult Prepare(const BatchRequest& request, CBatchRun& run,
                             std::vector<BatchPackage>& packages);
    BatchStartResult PlanBatch(const BatchRequest& request,
                               const std::vector<BatchPackage>& packages,
                               const std::vector<DeviceInfoPtr>& devices, CBatchRun& run);
    void OpenJournal(const std::vector<BatchPackage>& packages, CBatchRun& run);
    void RunBatch(const std::shared_ptr<CBatchRun>& run);
    void StartCamera(const std::shared_ptr<CBatchRun>& run, const UpgradeInfoPtr& job,
                     std::map<std::string, std::thread>& workers);
    void EndCamera(CBatchRun& run, const std::string& mac, int code);
    // Hands the reachability's notice, if any, to the sink.
    void PostReachNotice();
    std::shared_ptr<CBatchRun> CurrentRun() const;

    MessageSinkPtr m_sink;
    ENGINE_OPTIONS m_options;
    std::atomic<bool> m_upgrading{false};
    std::string m_refusalDetail;  // the StartBatch caller's thread

    mutable std::mutex m_mutex;  // guards the members below
    std::shared_ptr<CBatchRun> m_run;
    UpgradePackagePtr m_package;
    std::string m_journalPath;
    std::thread m_coordinator;  // started and joined by the owner's thread
    CPUB_Event m_ended{true, true};
};

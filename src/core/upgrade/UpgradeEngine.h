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
// The engine is the batch's public face and keeps its state (one lock: the
// batch's state, the current run, the last outcomes); CBatchPlanner decides
// a start and plans it, CBatchCoordinator runs the started batch.
//
// Threads: one coordinator per batch, which the engine starts and joins and
// which starts and joins the workers; CancelAll wakes every wait; the
// destructor cancels and joins.
#pragma once

#include <atomic>
#include <condition_variable>
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
#include "upgrade/BatchPlanner.h"
#include "upgrade/BatchTypes.h"
#include "upgrade/RolloutPlan.h"
#include "upgrade/UpgradeContext.h"

struct JOURNAL_CAMERA;
struct CBatchRun;
class CRunJournal;

struct ENGINE_OPTIONS {
    CSettingsView settings;
    UpgradeTimings timings;
    // Makes each camera reachable before its job is built; null: cameras
    // are taken at their listed addresses.
    std::shared_ptr<IReachability> reachability;
    // Connects to the cameras (the session gives the real client's, on its
    // link timer, unless its options give another).
    UpgradeClientFactory clientFactory;
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
    // Running or Cancelling: from a successful StartBatch until just before
    // WM_BATCH_END is posted.
    bool IsUpgrading() const;
    // Any thread.
    BatchState State() const;
    // The final result of each camera of the last batch that ended, in the
    // order of its request; empty before. Kept after Shutdown.
    std::vector<BatchOutcome> LastOutcomes() const;

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

    // Cancels the starting or running batch, on any thread: cameras not yet
    // prepared are left alone, every waiting worker wakes at once, every
    // transfer stops at its next block. The batch still ends with
    // WM_BATCH_END (a batch cancelled while it starts, at once). WrongState
    // when no batch starts or runs, or one is being cancelled already.
    BatchCallResult CancelAll();
    // Pauses the running batch (no further camera starts, running ones
    // finish) or lets it go on, on any thread; posts WM_BATCH_PAUSED when
    // that changes anything. WrongState unless the batch is Running.
    BatchCallResult PauseBatch(bool pause);
    // The running batch is paused.
    bool IsPaused() const;
    // Waits up to `timeoutMs` until no batch starts or runs and its threads
    // are joined. True when none runs.
    bool WaitForBatchEnd(int timeoutMs);
    // Cancels and joins as the destructor does; afterwards StartBatch is
    // refused (ThreadFailed), also one that is deciding meanwhile, and
    // everything else answers as before. Harmless twice.
    void Shutdown();

private:
    // StartBatch once the state is Starting: the planner's refusals, then
    // the journal and the coordinator.
    BatchStartResult StartRun(const BatchRequest& request);
    // The run's journal with the plan's first lines (a resumed run's own,
    // taken from the plan); null when none could be begun.
    std::shared_ptr<CRunJournal> OpenJournal(BatchPlan& plan) const;
    // The planned batch becomes the current one and its coordinator starts.
    BatchStartResult Launch(const std::shared_ptr<CBatchRun>& run);
    std::shared_ptr<CBatchRun> CurrentRun() const;

    // Ends the batch's way (the coordinator's thread, once its workers are
    // joined): Ended, its outcomes kept, waiters woken.
    void EndRun(std::vector<BatchOutcome> outcomes);
    // Joins an ended batch's coordinator; the owner's thread.
    void JoinCoordinator();

    MessageSinkPtr m_sink;
    ENGINE_OPTIONS m_options;
    CBatchPlanner m_planner;
    std::string m_refusalDetail;  // the StartBatch caller's thread

    mutable std::mutex m_mutex;  // guards the members below
    std::condition_variable m_stateChanged;
    BatchState m_state = BatchState::Idle;
    bool m_shutDown = false;
    std::shared_ptr<CBatchRun> m_run;
    UpgradePackagePtr m_package;
    std::string m_journalPath;
    std::vector<BatchOutcome> m_lastOutcomes;
    std::thread m_coordinator;  // started and joined by the owner's threads
};

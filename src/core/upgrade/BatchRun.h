// One started batch: its plan and what its threads share. The engine keeps
// it while the batch runs (to cancel, pause and pass search reports on);
// the coordinator and every worker hold it by shared pointer, so it
// outlives them all.
//
// Threads: the StartBatch caller fills it before the coordinator starts;
// afterwards `plan` and `context` are read without a lock, everything the
// coordinator, the workers, the search thread and the owner change
// together is under `slotMutex`.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "upgrade/AwaitedCameras.h"
#include "upgrade/BatchPlanner.h"
#include "upgrade/CanarySchedule.h"
#include "upgrade/UpgradeContext.h"

struct CBatchRun {
    CBatchRun(BatchPlan batchPlan, std::shared_ptr<CBatchContext> batchContext)
        : plan(std::move(batchPlan)), context(std::move(batchContext)), awaited(plan.awaited) {}

    const BatchPlan plan;
    std::shared_ptr<CBatchContext> context;
    std::string journalPath;
    // A job's creation and a search report for its camera come one after
    // the other, so no report falls between the record a job starts from
    // and the job table.
    std::mutex reportsMutex;
    int prepared = 0;  // the coordinator's
    std::atomic<bool> cancelled{false};
    // Requested by CancelAll: ends the coordinator's reachability step (its
    // probes, the helper's reply, the wait for the added address).
    std::stop_source stop;

    // Guards the members below; the coordinator waits on `slotFreed` for a
    // worker to end (or the batch to be cancelled).
    std::mutex slotMutex;
    std::condition_variable slotFreed;
    int inFlight = 0;
    int failed = 0;
    int toUpgrade = 0;
    // No further camera starts while set (PauseBatch); running ones finish.
    bool paused = false;
    // Which queued camera may start, each model's canaries first; set up
    // by the coordinator before its first worker starts.
    std::optional<CCanarySchedule> canaries;
    std::vector<std::string> endedMacs;  // workers to join
    // A camera took the typed credentials: the coordinator writes them to
    // the user settings file (once a batch; `typedRemembered` keeps it once).
    bool rememberTyped = false;
    bool typedRemembered = false;
    // The final result of each camera so far.
    std::map<std::string, UpgradeResult> outcomes;
    // Cameras the batch waits for the search to find (the plan's, from
    // the coordinator's start on with their waiting time).
    CAwaitedCameras awaited;

    void NoteOutcome(const std::string& mac, UpgradeResult code) {
        std::lock_guard<std::mutex> lock(slotMutex);
        outcomes[mac] = code;
    }

    // From a worker: every camera that takes the typed credentials says so,
    // only the first one wakes the coordinator.
    void TypedLoginAccepted() {
        std::lock_guard<std::mutex> lock(slotMutex);
        if (!typedRemembered) {
            typedRemembered = true;
            rememberTyped = true;
            slotFreed.notify_all();
        }
    }
};
